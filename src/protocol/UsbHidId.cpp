#include "protocol/UsbHidId.h"

UsbHidId::UsbHidId(quint16 vendorId, quint16 productId, QObject *parent)
    : QObject(parent), m_vendorId(vendorId), m_productId(productId)
{
}
