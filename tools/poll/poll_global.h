#pragma once

#include <QtCore/qglobal.h>

#if defined(POLL_LIBRARY)
#  define POLL_EXPORT Q_DECL_EXPORT
#else
#  define POLL_EXPORT Q_DECL_IMPORT
#endif
