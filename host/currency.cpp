#include "currency.h"

Currency::Currency(int number3)
    : m_number3(number3)
{
}
