#pragma once

#include <QtCore/qglobal.h>

#if defined(QLED_LIBRARY)
#  define QLED_EXPORT Q_DECL_EXPORT
#else
#  define QLED_EXPORT Q_DECL_IMPORT
#endif
