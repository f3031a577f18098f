#pragma once

#include <QtCore/qglobal.h>

#if defined(CLEARANCE_LIBRARY)
#  define CLEARANCE_EXPORT Q_DECL_EXPORT
#else
#  define CLEARANCE_EXPORT Q_DECL_IMPORT
#endif
