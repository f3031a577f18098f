#pragma once

#include <QtCore/qglobal.h>

#if defined(LOGKEEPER_LIBRARY)
#  define LOGKEEPER_EXPORT Q_DECL_EXPORT
#else
#  define LOGKEEPER_EXPORT Q_DECL_IMPORT
#endif
