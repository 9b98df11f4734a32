#include "link/UsbHidUartListener_Desktop.h"

#include "logger/QLoggerManager.h"

#include <algorithm>

namespace {
const char *const kModule = "UsbHidUartListener_Desktop";
}

UsbHidUartListener_Desktop::UsbHidUartListener_Desktop(hid_device *device, QObject *parent)
    : QObject(parent), m_device(device)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");
}

UsbHidUartListener_Desktop::~UsbHidUartListener_Desktop()
{
    setIsAlive(false);
    std::lock_guard<std::mutex> lock(m_lock);
    m_reportQueue.clear();
    m_bytesAvailable = 0;
}

void UsbHidUartListener_Desktop::setIsAlive(bool alive)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_isAlive == alive)
            return;
        m_isAlive = alive;
    }
    m_logger->info(kModule, __func__, alive ? "Enabling" : "Stopping");
}

bool UsbHidUartListener_Desktop::isAlive() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_isAlive;
}

int UsbHidUartListener_Desktop::bytesAvailable() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bytesAvailable;
}

int UsbHidUartListener_Desktop::queuedReports() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_reportQueue.size();
}

void UsbHidUartListener_Desktop::enqueueReport(const QByteArray &report)
{
    QByteArray whole = report.left(kReportSize);
    if (whole.size() < kReportSize)
        whole.append(QByteArray(kReportSize - whole.size(), '\0'));
    // The count byte comes from the device; never count more than the report can hold.
    const int count = whole.isEmpty() ? 0 : payloadLength(quint8(whole.at(0)));
    std::lock_guard<std::mutex> lock(m_lock);
    m_reportQueue.append(whole);
    m_bytesAvailable += count;
}

bool UsbHidUartListener_Desktop::takeReport(QByteArray &report, QRawData &payload)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_reportQueue.isEmpty())
            return false;
        report = m_reportQueue.takeFirst();
        const int count = payloadLength(quint8(report.at(0)));
        m_bytesAvailable -= count;
        payload = QRawData(report, 1, count);
    }
    m_logger->info(kModule, "dequeueReport", QStringLiteral("<-- [%1]").arg(QString::fromLatin1(report.toHex())));
    return true;
}

QRawData UsbHidUartListener_Desktop::dequeueReport()
{
    QByteArray report;
    QRawData payload;
    takeReport(report, payload);
    return payload;
}

QRawData UsbHidUartListener_Desktop::read()
{
    QRawData out;
    while (bytesAvailable() > 0) {
        QByteArray report;
        QRawData payload;
        if (!takeReport(report, payload))
            break;
        out.append(payload);
    }
    m_logger->debug(kModule, __func__, QStringLiteral("<-- %1").arg(out.toHex()));
    return out;
}

void UsbHidUartListener_Desktop::listen()
{
    m_logger->info(kModule, __func__, "Started");
    bool enabled = false;
    {
        // One locked section: a stop() between looking at the request and going alive would
        // otherwise be overwritten, and the loop would read until the bridge fails.
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_stopRequested && !m_isAlive) {
            m_isAlive = true;
            enabled = true;
        }
    }
    if (enabled)
        m_logger->info(kModule, "setIsAlive", "Enabling");

    unsigned char buffer[kReportSize];
    while (isAlive()) {
        m_logger->trace(kModule, __func__, "Listening");
        std::fill(buffer, buffer + kReportSize, 0);
        const int result = hid_read_timeout(m_device, buffer, kReportSize, kReadTimeoutMs);
        if (result < 0) {
            m_logger->error(kModule, __func__, QStringLiteral("Device disconnected, returned %1").arg(result));
            setIsAlive(false);
        } else if (result >= 2) {
            enqueueReport(QByteArray(reinterpret_cast<const char *>(buffer), kReportSize));
            m_logger->trace(kModule, __func__, "Data arrived");
            emit readyRead();
        }
    }
    m_logger->info(kModule, __func__, "Exiting from listening loop");
    emit finished();
    m_logger->info(kModule, __func__, "Exited");
}

void UsbHidUartListener_Desktop::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopRequested = true;
    }
    setIsAlive(false);
}
