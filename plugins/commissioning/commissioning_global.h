#pragma once

#include <QtCore/qglobal.h>

#if defined(COMMISSIONING_LIBRARY)
#  define COMMISSIONING_EXPORT Q_DECL_EXPORT
#else
#  define COMMISSIONING_EXPORT Q_DECL_IMPORT
#endif
