#pragma once

#include <thread>

// Loads the system's font configuration on a thread of its own while the
// main thread builds the application, settings and splash picture. Reading
// the configuration files and font caches is the largest single piece of
// work of the first font the program uses (about a tenth of the start to
// the first live value); the library keeps one configuration per process
// and takes whichever load finishes first, so the main thread at worst
// loads it again itself. Without fontconfig this does nothing.
class FontWarmup
{
public:
    FontWarmup();
    ~FontWarmup();
    FontWarmup(const FontWarmup &) = delete;
    FontWarmup &operator=(const FontWarmup &) = delete;

private:
    std::thread m_thread;
};
