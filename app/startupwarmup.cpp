#include "startupwarmup.h"

#include <cstring>
#include <string>
#include <system_error>

#ifdef KORVANE_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif
#ifdef KORVANE_PRELOAD_LIBRARIES
#include <dlfcn.h>
#endif

namespace {

void preloadLibraries()
{
#ifdef KORVANE_PRELOAD_LIBRARIES
    // Paths separated by ':'. The handles stay open for the whole run: the
    // plug-ins keep the libraries loaded anyway.
    const std::string paths = KORVANE_PRELOAD_LIBRARIES;
    std::string::size_type begin = 0;
    while (begin < paths.size()) {
        std::string::size_type end = paths.find(':', begin);
        if (end == std::string::npos)
            end = paths.size();
        if (end > begin)
            dlopen(paths.substr(begin, end - begin).c_str(), RTLD_LAZY | RTLD_LOCAL);
        begin = end + 1;
    }
#endif
}

} // namespace

StartupWarmup::StartupWarmup()
{
#if defined(KORVANE_HAVE_FONTCONFIG) || defined(KORVANE_PRELOAD_LIBRARIES)
    try {
        m_fontsDone = false;
        m_thread = std::thread(&StartupWarmup::run, this);
    } catch (const std::system_error &) {
        // No thread: the main thread does all of it when needed.
        m_fontsDone = true;
    }
#endif
}

StartupWarmup::~StartupWarmup()
{
    if (m_thread.joinable())
        m_thread.join();
}

void StartupWarmup::waitForFonts()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_fontsReady.wait(lock, [this] { return m_fontsDone; });
}

void StartupWarmup::run()
{
#ifdef KORVANE_HAVE_FONTCONFIG
    FcConfigGetCurrent();
#endif
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fontsDone = true;
    }
    m_fontsReady.notify_all();
    preloadLibraries();
}
