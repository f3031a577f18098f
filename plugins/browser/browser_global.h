#pragma once

#include <QtCore/qglobal.h>

#if defined(BROWSER_LIBRARY)
#  define BROWSER_EXPORT Q_DECL_EXPORT
#else
#  define BROWSER_EXPORT Q_DECL_IMPORT
#endif
