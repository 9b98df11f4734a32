#pragma once

#include "protocol/QRawData.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <hidapi/hidapi.h>

#include <mutex>

namespace QLogger {
class QLoggerManager;
}

// Reads the bridge's input reports on a thread of its own and queues them whole (64 bytes,
// byte 0 = number of UART bytes that follow). A failed read means the bridge is gone: the loop
// ends and finished() tells the driver to close.
//
// listen() runs on the listener's thread; dequeueReport(), read(), bytesAvailable() and stop()
// are called from the driver's thread. The queue, the byte count and the alive flag are guarded
// by one mutex, never held across the blocking read.
class UsbHidUartListener_Desktop : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReportSize = 64;
    // A 64-byte report carries its count byte and at most 63 UART bytes.
    static constexpr int kMaxPayload = kReportSize - 1;
    static constexpr int kReadTimeoutMs = 1000;

    // The device is borrowed: the driver opened it and closes it after this loop has ended.
    explicit UsbHidUartListener_Desktop(hid_device *device, QObject *parent = nullptr);
    ~UsbHidUartListener_Desktop() override;

    void setIsAlive(bool alive);
    bool isAlive() const;
    int bytesAvailable() const;
    QRawData dequeueReport();
    QRawData read();

    // What the loop does with every report it receives (shorter reports are zero-padded to 64
    // bytes, longer ones cut). Public so that reports no bridge would send, such as a count
    // byte above 63, can be fed in.
    void enqueueReport(const QByteArray &report);

    // Number of reports waiting, under the lock.
    int queuedReports() const;

    // The UART bytes a report with this count byte carries.
    static int payloadLength(quint8 countByte) { return countByte > kMaxPayload ? kMaxPayload : countByte; }

signals:
    void readyRead();
    void error();
    void finished();

public slots:
    void listen();
    void stop();

private:
    // Takes the oldest report under the lock; false when the queue was empty.
    bool takeReport(QByteArray &report, QRawData &payload);

    QLogger::QLoggerManager *m_logger = nullptr;
    hid_device *m_device = nullptr;
    bool m_isAlive = false;
    // A stop that comes before the loop has started must still end it at once.
    bool m_stopRequested = false;
    mutable std::mutex m_lock;
    int m_bytesAvailable = 0;
    QList<QByteArray> m_reportQueue;
};
