#include "startupwarmup.h"

#include <cstring>
#include <string>
#include <system_error>

#ifdef KORVANE_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif
#if defined(KORVANE_PRELOAD_LIBRARIES) || defined(KORVANE_PRELOAD_PLUGINS)
#include <dlfcn.h>
#endif
#ifdef KORVANE_PRELOAD_PLUGINS
#include <climits>
#include <unistd.h>
#endif

namespace {

#if defined(KORVANE_PRELOAD_LIBRARIES) || defined(KORVANE_PRELOAD_PLUGINS)
// Opens each of the files in `names`, separated by ':', each prefixed with
// `folder`. The handles stay open for the whole run: the plug-ins keep the
// libraries loaded anyway.
void openEach(const std::string &folder, const std::string &names)
{
    std::string::size_type begin = 0;
    while (begin < names.size()) {
        std::string::size_type end = names.find(':', begin);
        if (end == std::string::npos)
            end = names.size();
        if (end > begin)
            dlopen((folder + names.substr(begin, end - begin)).c_str(), RTLD_LAZY | RTLD_LOCAL);
        begin = end + 1;
    }
}
#endif

#ifdef KORVANE_PRELOAD_PLUGINS
// The program's own plug-in folder, as the plug-in manager is given it
// (beside the program's folder); empty when the program's path is unknown.
std::string pluginFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    const std::string program(path, std::string::size_type(length));
    const std::string::size_type slash = program.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return program.substr(0, slash) + "/../" KORVANE_PRELOAD_PLUGIN_DIR "/";
}
#endif

void preloadLibraries()
{
#ifdef KORVANE_PRELOAD_LIBRARIES
    openEach(std::string(), KORVANE_PRELOAD_LIBRARIES);
#endif
#ifdef KORVANE_PRELOAD_PLUGINS
    // The plug-ins themselves and our libraries they link: their relocation
    // is most of what loading them costs. The plug-in manager later opens
    // the same files and finds them in place; a plug-in it does not load
    // (switched off by the user, or refused) merely stays mapped. Nothing of
    // a plug-in runs here but its static initialisers, which register its
    // resources and nothing else.
    const std::string folder = pluginFolder();
    if (!folder.empty())
        openEach(folder, KORVANE_PRELOAD_PLUGINS);
#endif
}

} // namespace

StartupWarmup::StartupWarmup()
{
#if defined(KORVANE_HAVE_FONTCONFIG) || defined(KORVANE_PRELOAD_LIBRARIES) || defined(KORVANE_PRELOAD_PLUGINS)
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
    applicationReady(); // a start that ended early must not leave the thread waiting
    if (m_thread.joinable())
        m_thread.join();
}

void StartupWarmup::applicationReady()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_applicationReady = true;
    }
    m_changed.notify_all();
}

void StartupWarmup::waitForFonts()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_fontsDone; });
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
    m_changed.notify_all();
    {
        // Libraries are opened one at a time, each under the dynamic
        // loader's lock: opened while the application object loads its
        // platform plug-in, they kept the main thread waiting for the lock.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_applicationReady; });
    }
    preloadLibraries();
}
