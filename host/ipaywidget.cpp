#include "ipaywidget.h"

IPayWidget::~IPayWidget() = default;
