#pragma once

#include <QtCore/qglobal.h>

#if defined(XMLTEXT_LIBRARY)
#  define XMLTEXT_EXPORT Q_DECL_EXPORT
#else
#  define XMLTEXT_EXPORT Q_DECL_IMPORT
#endif
