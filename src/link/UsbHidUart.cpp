#include "link/UsbHidUart.h"

#include "link/UsbHidUartListener_Desktop.h"
#include "logger/QLoggerManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {
const char *const kModule = "UsbHidUart";

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

QString hexOf(const unsigned char *bytes, int len)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), len).toHex());
}
} // namespace

UsbHidUart::UsbHidUart(QObject *parent) : QObject(parent)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->debug(kModule, __func__, "Logger created");
}

UsbHidUart::~UsbHidUart()
{
    close();
    hid_exit();
}

bool UsbHidUart::checkIsConnected(quint16 vid, quint16 pid)
{
    m_logger->info(kModule, __func__, QStringLiteral("Looking for vid[%1],pid[%2]").arg(hex4(vid), hex4(pid)));
    hid_device_info *devices = hid_enumerate(vid, pid);
    bool found = false;
    for (hid_device_info *d = devices; d; d = d->next) {
        if (d->vendor_id == vid && d->product_id == pid) {
            found = true;
            break;
        }
    }
    hid_free_enumeration(devices);
    m_logger->info(kModule, __func__, QStringLiteral("Returning %1").arg(found ? 1 : 0));
    return found;
}

bool UsbHidUart::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_deviceLock);
    return m_device != nullptr;
}

bool UsbHidUart::initialize(quint16 vid, quint16 pid)
{
    m_logger->debug(kModule, __func__, "Initializing");
    std::unique_lock<std::mutex> lock(m_deviceLock);
    if (m_device) {
        m_logger->warning(kModule, __func__, "Device already initialized");
        return true;
    }

    m_logger->debug(kModule, __func__, "Opening device");
    hid_device *device = hid_open(vid, pid, nullptr);
    if (!device) {
        m_logger->error(kModule, __func__, "error opening device");
        return false;
    }
    hid_set_nonblocking(device, 0);
    m_device = device;

    m_logger->debug(kModule, __func__, "Enabling UART");
    bool failed = false;
    if (!setUartEnableLocked(true, failed)) {
        m_logger->error(kModule, __func__, "Error enabling uart");
        hid_close(m_device);
        m_device = nullptr;
        lock.unlock();
        if (failed)
            emit error();
        return false;
    }
    lock.unlock();

    if (!m_listener && !m_listenerThread) {
        m_logger->debug(kModule, __func__, "Initializing listener with device");
        m_listener = new UsbHidUartListener_Desktop(device);
        m_listenerThread = new QThread(this);
        m_listenerThread->setObjectName(QStringLiteral("UsbHidUartListener"));
        m_listener->moveToThread(m_listenerThread);
        connect(m_listenerThread, &QThread::started, m_listener, &UsbHidUartListener_Desktop::listen);
        connect(m_listener, &UsbHidUartListener_Desktop::readyRead, this, &UsbHidUart::onReadyRead);
        connect(m_listener, &UsbHidUartListener_Desktop::error, this, &UsbHidUart::onListenerError);
        connect(m_listener, &UsbHidUartListener_Desktop::finished, this, &UsbHidUart::onListenerFinished);
        connect(m_listener, &UsbHidUartListener_Desktop::finished, m_listenerThread, &QThread::quit);
        m_logger->debug(kModule, __func__, "Starting listener");
        m_listenerThread->start(QThread::InheritPriority);
    } else {
        m_logger->error(kModule, __func__, "Listener thread is running");
    }
    return true;
}

void UsbHidUart::close()
{
    m_logger->info(kModule, __func__, "Destroy listener");
    if (m_listenerThread) {
        if (m_listenerThread->isRunning()) {
            if (m_listener) {
                m_logger->info(kModule, __func__, "Stopping listener");
                m_listener->stop();
            }
            m_logger->info(kModule, __func__, "Quit thread");
            m_listenerThread->quit();
            m_logger->info(kModule, __func__, "Waiting listener thread stop");
            m_listenerThread->wait();
            m_logger->info(kModule, __func__, "Listener thread stopped");
        }
        // A thread that ended by itself may still be unwinding.
        m_listenerThread->wait();
        m_listenerThread->deleteLater();
    }
    // Signals this listener queued before it ended must not reach a later connection: a stale
    // finished() would close the next device.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    // The thread has ended, so nothing runs in the listener any more.
    delete m_listener;
    m_listenerThread = nullptr;
    m_listener = nullptr;

    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (m_device) {
        m_logger->debug(kModule, __func__, "Close device");
        hid_close(m_device);
        m_logger->debug(kModule, __func__, "Device closed");
        m_device = nullptr;
    } else {
        m_logger->trace(kModule, __func__, "Device already closed");
    }
}

int UsbHidUart::write(const QRawData &bytes, int timeout, bool maskInLog)
{
    bool shortWrite = false;
    int offset = 0;
    {
        std::lock_guard<std::mutex> lock(m_deviceLock);
        if (!m_device)
            return -1;

        int remaining = bytes.byteLen();
        QElapsedTimer stopwatch;
        stopwatch.start();
        unsigned char report[kReportSize];
        while (remaining > 0) {
            const int chunk = qMin(remaining, kMaxPayload);
            std::fill(report, report + kReportSize, 0);
            report[0] = quint8(chunk);
            std::copy(bytes.constData() + offset, bytes.constData() + offset + chunk, report + 1);
            m_logger->trace(kModule, __func__,
                            QStringLiteral("--> [%1]")
                                .arg(maskInLog ? hexOf(report, 1) + QStringLiteral("**").repeated(chunk)
                                               : hexOf(report, chunk + 1)));
            const int written = hid_write(m_device, report, kReportSize);
            if (written < chunk + 1) {
                m_logger->error(kModule, __func__,
                                QStringLiteral("Error writing, %1 bytes written on %2 bytes to write")
                                    .arg(written)
                                    .arg(chunk + 1));
                shortWrite = true;
                break;
            }
            offset += chunk;
            remaining -= chunk;
            if (stopwatch.elapsed() >= timeout)
                break;
        }
    }
    if (shortWrite) {
        emit error();
        return offset;
    }
    m_logger->trace(kModule, __func__, "Write done");
    return offset;
}

int UsbHidUart::read(QRawData &bytes)
{
    if (!m_listener)
        return 0;
    bytes = m_listener->read();
    m_logger->trace(kModule, __func__, QStringLiteral("<-- %1").arg(bytes.toHex()));
    return bytes.byteLen();
}

int UsbHidUart::bytesAvailable() const
{
    return m_listener ? m_listener->bytesAvailable() : 0;
}

bool UsbHidUart::reset()
{
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(m_deviceLock);
        if (m_device) {
            const unsigned char report[2] = {kReportResetDevice, 0x00};
            m_logger->trace(kModule, __func__, QStringLiteral("--> %1").arg(hexOf(report, 2)));
            ok = hid_send_feature_report(m_device, report, sizeof report) >= 2;
        }
    }
    if (!ok)
        emit error();
    return ok;
}

bool UsbHidUart::setUartEnable(bool enable)
{
    bool failed = false;
    bool ok;
    {
        std::lock_guard<std::mutex> lock(m_deviceLock);
        ok = setUartEnableLocked(enable, failed);
    }
    if (failed)
        emit error();
    return ok;
}

bool UsbHidUart::setUartEnableLocked(bool enable, bool &failed)
{
    if (!m_device) {
        failed = true;
        return false;
    }
    const unsigned char report[2] = {kReportUartEnable, quint8(enable ? 1 : 0)};
    m_logger->trace(kModule, "setUartEnable", QStringLiteral("--> %1").arg(hexOf(report, 2)));
    if (hid_send_feature_report(m_device, report, sizeof report) < 0) {
        m_logger->error(kModule, "setUartEnable", "Error setting uart enable");
        failed = true;
        return false;
    }
    if (getUartEnableLocked(failed) == enable && !failed) {
        m_logger->trace(kModule, "setUartEnable", "Done");
        return true;
    }
    return false;
}

bool UsbHidUart::getUartEnable()
{
    bool failed = false;
    bool enabled;
    {
        std::lock_guard<std::mutex> lock(m_deviceLock);
        enabled = getUartEnableLocked(failed);
    }
    if (failed)
        emit error();
    return enabled;
}

bool UsbHidUart::getUartEnableLocked(bool &failed)
{
    if (!m_device) {
        failed = true;
        return false;
    }
    unsigned char state[2] = {kReportUartEnable, 0};
    if (hid_get_feature_report(m_device, state, sizeof state) < 0) {
        failed = true;
        return false;
    }
    m_logger->trace(kModule, "getUartEnable", QStringLiteral("<-- %1").arg(hexOf(state, 2)));
    return state[1] == 1;
}

void UsbHidUart::onReadyRead()
{
    emit readyRead();
}

void UsbHidUart::onListenerError()
{
}

void UsbHidUart::onListenerFinished()
{
    close();
    emit disconnected();
}
