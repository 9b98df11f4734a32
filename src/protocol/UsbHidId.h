#pragma once

#include <QObject>

// One candidate bridge: a USB vendor id and product id, fixed at construction.
class UsbHidId : public QObject
{
    Q_OBJECT
public:
    UsbHidId(quint16 vendorId, quint16 productId, QObject *parent = nullptr);

    quint16 vendorId() const { return m_vendorId; }
    quint16 productId() const { return m_productId; }

private:
    const quint16 m_vendorId;
    const quint16 m_productId;
};
