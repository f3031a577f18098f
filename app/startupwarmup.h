#pragma once

#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Work of the start-up done ahead on a thread of its own:
// - the system's font configuration is loaded while the main thread builds
//   the application, settings, log and translations (reading its files and
//   font caches is the largest single piece of work of the first font the
//   program uses). The main thread waits for it before its first font
//   (waitForFonts()) rather than loading it a second time beside it;
// - the plug-ins the manager is about to load are opened and relocated
//   (openLibraries()), with the libraries they link, so that while the main
//   thread initialises one plug-in the next is already in place. A file
//   that cannot be opened here is simply opened by the manager, as ever.
// Each part does nothing where it does not apply (no fontconfig, no
// dynamic loader, no thread).
class StartupWarmup
{
public:
    StartupWarmup();
    ~StartupWarmup();
    StartupWarmup(const StartupWarmup &) = delete;
    StartupWarmup &operator=(const StartupWarmup &) = delete;

    // Returns once the font configuration is loaded (at once when nothing
    // loads it here).
    void waitForFonts();
    // Opens these files in this order on the warm-up thread; only the
    // first call counts. The handles stay open for the whole run, as the
    // manager keeps its plug-ins loaded anyway.
    void openLibraries(const QStringList &files);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_fontsDone = true;
    bool m_filesGiven = false;
    bool m_ending = false;
    std::vector<std::string> m_files;
    std::thread m_thread;
};
