#pragma once

#include <QtCore/qglobal.h>

#if defined(WORKSPACE_LIBRARY)
#  define WORKSPACE_EXPORT Q_DECL_EXPORT
#else
#  define WORKSPACE_EXPORT Q_DECL_IMPORT
#endif
