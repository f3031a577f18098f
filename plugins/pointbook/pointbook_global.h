#pragma once

#include <QtCore/qglobal.h>

#if defined(POINTBOOK_LIBRARY)
#  define POINTBOOK_EXPORT Q_DECL_EXPORT
#else
#  define POINTBOOK_EXPORT Q_DECL_IMPORT
#endif
