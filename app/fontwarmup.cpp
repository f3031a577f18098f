#include "fontwarmup.h"

#include <system_error>

#ifdef KORVANE_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

FontWarmup::FontWarmup()
{
#ifdef KORVANE_HAVE_FONTCONFIG
    try {
        m_thread = std::thread([] { FcConfigGetCurrent(); });
    } catch (const std::system_error &) {
        // No thread: the main thread loads the configuration when needed.
    }
#endif
}

FontWarmup::~FontWarmup()
{
    if (m_thread.joinable())
        m_thread.join();
}
