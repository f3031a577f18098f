#include "refusedthreads.h"

#include <dlfcn.h>
#include <sys/types.h>

#include <atomic>
#include <cerrno>

namespace {
std::atomic<bool> s_refused{false};
} // namespace

void setThreadsRefused(bool refused)
{
    s_refused.store(refused);
}

// Deliberately declared without <pthread.h>: this definition takes the
// place of the library's for every thread the program starts.
extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t *thread, const pthread_attr_t *attributes,
                              void *(*start)(void *), void *argument)
{
    if (s_refused.load())
        return EAGAIN;
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const Create create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    return create(thread, attributes, start, argument);
}
