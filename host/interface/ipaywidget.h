#ifndef IPAYWIDGET_H
#define IPAYWIDGET_H

#include "hostexport.h"

// The part of a plugin's pay screen that the payment flow holds on to. The destructor lives in
// the host library, so that the host can dynamic_cast a plugin's widget back to its real type.
class PAYMENTHOST_EXPORT IPayWidget
{
public:
    virtual ~IPayWidget();
};

#endif // IPAYWIDGET_H
