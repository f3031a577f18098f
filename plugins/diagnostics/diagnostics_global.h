#pragma once

#include <QtGlobal>

#if defined(DIAGNOSTICS_LIBRARY)
#define DIAGNOSTICS_EXPORT Q_DECL_EXPORT
#else
#define DIAGNOSTICS_EXPORT Q_DECL_IMPORT
#endif
