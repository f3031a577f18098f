#pragma once

#include <QtCore/qglobal.h>

#if defined(DEVICESIM_LIBRARY)
#  define DEVICESIM_EXPORT Q_DECL_EXPORT
#else
#  define DEVICESIM_EXPORT Q_DECL_IMPORT
#endif
