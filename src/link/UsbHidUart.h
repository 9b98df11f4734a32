#pragma once

#include "protocol/QRawData.h"

#include <QObject>

#include <hidapi/hidapi.h>

#include <mutex>

class QThread;
class UsbHidUartListener_Desktop;

namespace QLogger {
class QLoggerManager;
}

// Driver for the CP2110 USB HID-to-UART bridge: finds it by vendor/product id, opens it,
// enables its UART, writes bytes as 64-byte interrupt output reports and hands over what its
// listener thread has received. It moves bytes and knows nothing of the protocol frame; it never
// touches the UART configuration stored in the bridge.
//
// Lives on the connection monitor's thread. write() may also be called from the request
// processor's thread: the device handle is guarded so a concurrent close() cannot pull it away
// in the middle of a transfer.
class UsbHidUart : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReportSize = 64;
    static constexpr int kMaxPayload = kReportSize - 1;
    static constexpr quint8 kReportResetDevice = 0x40;
    static constexpr quint8 kReportUartEnable = 0x41;

    explicit UsbHidUart(QObject *parent = nullptr);
    ~UsbHidUart() override;

    bool checkIsConnected(quint16 vid, quint16 pid);
    bool isOpen() const;
    bool initialize(quint16 vid, quint16 pid);
    // Payload bytes sent, or -1 with no device open. Fewer than asked means a short write
    // (error() emitted) or the time-out ran out between reports.
    // maskInLog: the bytes carry a secret (a device PIN); the report dump shows only its count.
    int write(const QRawData &bytes, int timeout, bool maskInLog = false);
    // Replaces bytes with everything received so far; returns its length (0 with no listener).
    int read(QRawData &bytes);
    int bytesAvailable() const;
    bool reset();
    bool setUartEnable(bool enable);
    bool getUartEnable();

    // The running listener, or null while closed.
    UsbHidUartListener_Desktop *listener() const { return m_listener; }

signals:
    void readyRead();
    void bytesWritten(qint64 bytes);
    void error();
    void disconnected();
    void messageArrived();

public slots:
    void onReadyRead();
    void onListenerError();
    void close();
    void onListenerFinished();

private:
    // Feature-report exchanges; the caller holds m_deviceLock and emits error() once it has
    // let go of it when `failed` comes back set.
    bool setUartEnableLocked(bool enable, bool &failed);
    bool getUartEnableLocked(bool &failed);

    hid_device *m_device = nullptr;
    QThread *m_listenerThread = nullptr;
    UsbHidUartListener_Desktop *m_listener = nullptr;
    QLogger::QLoggerManager *m_logger = nullptr;
    // Guards m_device and every hidapi call on it except the listener's reads, which end
    // before the handle is closed.
    mutable std::mutex m_deviceLock;
};
