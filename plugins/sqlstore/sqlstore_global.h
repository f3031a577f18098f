#pragma once

#include <QtCore/qglobal.h>

#if defined(SQLSTORE_LIBRARY)
#  define SQLSTORE_EXPORT Q_DECL_EXPORT
#else
#  define SQLSTORE_EXPORT Q_DECL_IMPORT
#endif
