#include "startupwarmup.h"

#include <QFile>

#include <system_error>
#include <utility>

#ifdef KORVANE_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif
#ifdef KORVANE_HAVE_DLOPEN
#include <dlfcn.h>
#endif

StartupWarmup::StartupWarmup()
{
#if defined(KORVANE_HAVE_FONTCONFIG) || defined(KORVANE_HAVE_DLOPEN)
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
    {
        // A start that ended early must not leave the thread waiting.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void StartupWarmup::waitForFonts()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_fontsDone; });
}

void StartupWarmup::openLibraries(const QStringList &files)
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_filesGiven)
            return;
        m_filesGiven = true;
        m_files.reserve(std::size_t(files.size()));
        for (const QString &file : files)
            m_files.push_back(QFile::encodeName(file).toStdString());
    }
    m_changed.notify_all();
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

    std::vector<std::string> files;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_filesGiven || m_ending; });
        files = std::move(m_files);
    }
#ifdef KORVANE_HAVE_DLOPEN
    // Only static initialisers of a plug-in run here, which register its
    // resources and nothing else; the manager later finds it in place.
    for (const std::string &file : files)
        dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
#endif
}
