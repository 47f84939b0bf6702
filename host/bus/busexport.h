#ifndef BUSEXPORT_H
#define BUSEXPORT_H

#include <QtCore/qglobal.h>

#if defined(PAYMENTHOSTBUS_LIBRARY)
#  define PAYMENTHOSTBUS_EXPORT Q_DECL_EXPORT
#else
#  define PAYMENTHOSTBUS_EXPORT Q_DECL_IMPORT
#endif

#endif // BUSEXPORT_H
