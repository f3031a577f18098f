#pragma once

#include <QtCore/qglobal.h>

#if defined(POPNOTE_LIBRARY)
#  define POPNOTE_EXPORT Q_DECL_EXPORT
#else
#  define POPNOTE_EXPORT Q_DECL_IMPORT
#endif
