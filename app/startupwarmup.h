#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Work of the start-up done ahead on a thread of its own while the main
// thread builds the application, settings, log and splash screen:
// - the system's font configuration is loaded (reading its files and font
//   caches is the largest single piece of work of the first font the
//   program uses). The main thread waits for it before its first font
//   (waitForFonts()) rather than loading it a second time beside it;
// - once the application object exists (applicationReady()), the Qt
//   libraries that the plug-ins link and the program itself does not are
//   loaded and relocated, so that loading the plug-ins later finds them in
//   place. A library that cannot be loaded here is simply loaded
//   with its plug-in, as before;
// - so are the program's plug-ins themselves, from the plug-in folder
//   beside the program.
// Each part does nothing where it does not apply (no fontconfig, no list).
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
    // The application object exists: the libraries may be opened now.
    void applicationReady();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_fontsDone = true;
    bool m_applicationReady = false;
    std::thread m_thread;
};
