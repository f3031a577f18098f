#pragma once

#include <QtGlobal>

#if defined(TREND_LIBRARY)
#define TREND_EXPORT Q_DECL_EXPORT
#else
#define TREND_EXPORT Q_DECL_IMPORT
#endif
