#ifndef HOSTEXPORT_H
#define HOSTEXPORT_H

#include <QtCore/qglobal.h>

#if defined(PAYMENTHOST_LIBRARY)
#  define PAYMENTHOST_EXPORT Q_DECL_EXPORT
#else
#  define PAYMENTHOST_EXPORT Q_DECL_IMPORT
#endif

#endif // HOSTEXPORT_H
