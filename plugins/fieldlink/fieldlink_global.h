#pragma once

#include <QtCore/qglobal.h>

#if defined(FIELDLINK_LIBRARY)
#  define FIELDLINK_EXPORT Q_DECL_EXPORT
#else
#  define FIELDLINK_EXPORT Q_DECL_IMPORT
#endif
