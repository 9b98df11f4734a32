#include "tester/WdxProtocolTester.h"

#include "link/UsbHidUart.h"
#include "logger/QLoggerManager.h"
#include "protocol/WdxMessageGeneric.h"
#include "protocol/WdxMonitor.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

#include <QRegularExpression>
#include <QTimer>

using namespace WdxRequestBuilder;

namespace {

const char *const kModule = "WdxProtocolTester";
constexpr int kFirstPostDelayMs = 10;
constexpr int kTestBlockDataSize = 4;

QString hexByte(quint8 byte)
{
    return QStringLiteral("%1").arg(uint(byte), 2, 16, QLatin1Char('0'));
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

WdxProtocolTester::WdxProtocolTester(QObject *parent)
    : QObject(parent), m_testBlockData(kTestBlockDataSize)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");
    m_rawTestRequest = readDeviceInfoFrame(enDeviceInfo_DeviceStatus).toHex();
    m_rawCustomRequest = m_rawTestRequest;
    connect(this, &WdxProtocolTester::postTestRequest, this, &WdxProtocolTester::onPostTestRequest,
            Qt::DirectConnection);
}

WdxProtocolTester::~WdxProtocolTester() = default;

void WdxProtocolTester::setRequestProcessor(WdxRequestProcessor *processor)
{
    if (m_requestProcessor == processor)
        return;
    if (m_requestProcessor)
        disconnect(m_requestProcessor, nullptr, this, nullptr);
    m_requestProcessor = processor;
    if (!processor)
        return;
    // Emitted on the monitor's thread: they arrive here queued, in order.
    connect(processor, &WdxRequestProcessor::wdxDisconnected, this, &WdxProtocolTester::pauseTest);
    connect(processor, &WdxRequestProcessor::wdxConnected, this, &WdxProtocolTester::resumeTest);
}

QString WdxProtocolTester::stateText(int state)
{
    switch (state) {
    case enState_Idle:
        return QStringLiteral("Idle");
    case enState_Working:
        return QStringLiteral("Working");
    case enState_Paused:
        return QStringLiteral("Paused");
    default:
        return QString();
    }
}

void WdxProtocolTester::setState(int state)
{
    m_state = state;
    emit stateChanged();
}

void WdxProtocolTester::setDebugMessage(const QString &message)
{
    if (m_debugMessage == message)
        return;
    m_debugMessage = message;
    emit debugMessageChanged();
}

void WdxProtocolTester::setRawTestRequest(const QString &text)
{
    if (m_rawTestRequest == text)
        return;
    m_rawTestRequest = text;
    emit rawTestRequestChanged();
}

void WdxProtocolTester::setRawCustomRequest(const QString &text)
{
    if (m_rawCustomRequest == text)
        return;
    m_rawCustomRequest = text;
    emit rawCustomRequestChanged();
}

int WdxProtocolTester::interval() const
{
    return m_requestProcessor ? m_requestProcessor->interval() : 0;
}

void WdxProtocolTester::setInterval(int milliseconds)
{
    if (!m_requestProcessor || m_requestProcessor->interval() == milliseconds)
        return;
    m_requestProcessor->setInterval(milliseconds);
    emit intervalChanged();
}

int WdxProtocolTester::timeout() const
{
    return m_requestProcessor ? m_requestProcessor->timeout() : 0;
}

void WdxProtocolTester::setTimeout(int milliseconds)
{
    if (!m_requestProcessor || m_requestProcessor->timeout() == milliseconds)
        return;
    m_requestProcessor->setTimeout(milliseconds);
    emit timeoutChanged();
}

void WdxProtocolTester::setRunForever(bool value)
{
    if (m_runForever == value)
        return;
    m_runForever = value;
    emit runForeverChanged();
}

void WdxProtocolTester::setMaxRetry(int value)
{
    if (m_maxRetry == value)
        return;
    m_maxRetry = value;
    emit maxRetryChanged();
}

QString WdxProtocolTester::number(double value)
{
    return QString::number(value, 'g', 6);
}

QString WdxProtocolTester::successRateText(quint64 succeeded, quint64 written)
{
    if (written == 0)
        return QStringLiteral("0%");
    return number(double(succeeded) * 100 / double(written)) + QLatin1Char('%');
}

QString WdxProtocolTester::averageTimeText(qint64 totalMs, quint64 written)
{
    if (written == 0)
        return QStringLiteral("0");
    return number(double(totalMs) / double(written)) + QStringLiteral(" ms");
}

QString WdxProtocolTester::statusLine() const
{
    return QStringLiteral("%1 of %2, success rate: %3, avg time: %4, errors: %5, timeouts: %6")
        .arg(m_succeededCount + m_timeoutCount)
        .arg(m_queuedCount)
        .arg(successRate(), averageTime())
        .arg(m_errorCount)
        .arg(m_timeoutCount);
}

QString WdxProtocolTester::completionLine() const
{
    return QStringLiteral("Test completed, success rate: %1, avg time: %2, total queued: %3, total timeout: %4, "
                          "total errors: %5")
        .arg(successRate(), averageTime())
        .arg(m_queuedCount)
        .arg(m_timeoutCount)
        .arg(m_errorCount);
}

bool WdxProtocolTester::frameFromText(const QString &text, QRawData &frame, QString &why)
{
    // Typed by a person: QByteArray::fromHex would skip what is not a digit and send whatever
    // is left.
    QByteArray bytes;
    const QStringList pairs = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString &group : pairs) {
        for (const QChar c : group) {
            if (!isHexDigit(c)) {
                why = QStringLiteral("'%1' is not a hexadecimal digit").arg(c);
                return false;
            }
        }
        if (group.size() % 2) {
            why = QStringLiteral("\"%1\" is not an even number of hexadecimal digits").arg(group);
            return false;
        }
        bytes.append(QByteArray::fromHex(group.toLatin1()));
    }
    const int size = bytes.size();
    if (size == 0) {
        why = QStringLiteral("no bytes");
        return false;
    }
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    if (p[0] != WdxMessageGeneric::kStartOfFrame && p[0] != WdxMessageGeneric::kStartOfFrameAlt) {
        why = QStringLiteral("%1 is not a start byte (55 or aa)").arg(hexByte(p[0]));
        return false;
    }
    if (size < WdxMessageGeneric::kMinFrameSize) {
        why = QStringLiteral("%1 bytes are too few for a frame (at least %2)").arg(size).arg(WdxMessageGeneric::kMinFrameSize);
        return false;
    }
    const int nb = (p[1] << 8) | p[2];
    if (nb < 2) {
        why = QStringLiteral("the length %1 does not cover CMD and OP").arg(nb);
        return false;
    }
    const int expected = nb + WdxMessageGeneric::kHeaderSize;
    if (expected != size) {
        why = QStringLiteral("the length %1 makes a frame of %2 bytes, not %3").arg(nb).arg(expected).arg(size);
        return false;
    }
    const QRawData candidate(bytes);
    const quint16 wanted = WdxMessageGeneric::frameChecksum(candidate.GetRange(0, size - WdxMessageGeneric::kChecksumSize));
    const quint16 given = quint16((p[size - 2] << 8) | p[size - 1]);
    if (wanted != given) {
        why = QStringLiteral("checksum %1, the bytes need %2")
                  .arg(given, 4, 16, QLatin1Char('0'))
                  .arg(wanted, 4, 16, QLatin1Char('0'));
        return false;
    }
    frame = candidate;
    return true;
}

void WdxProtocolTester::startTest()
{
    if (m_state == enState_Working) {
        m_logger->debug(kModule, __func__, "process is running");
        return;
    }
    QRawData frame;
    QString why;
    if (!frameFromText(m_rawTestRequest, frame, why)) {
        setDebugMessage(QStringLiteral("Test request refused: %1").arg(why));
        m_logger->warning(kModule, __func__, m_debugMessage);
        return;
    }
    setState(enState_Working);
    m_queuedCount = 0;
    m_writtenCount = 0;
    m_succeededCount = 0;
    m_timeoutCount = 0;
    m_errorCount = 0;
    m_totalTimeMs = 0;
    // A request of the previous run that is still out no longer belongs to the loop.
    m_loopRequest = nullptr;
    emit successRateChanged();
    setRunForever(true);
    m_logger->error(kModule, __func__, "emitting post request signal");
    QTimer::singleShot(kFirstPostDelayMs, this, [this] {
        // Stopped or paused in the meantime: nothing to start.
        if (m_state == enState_Working && !m_loopRequest)
            onPostTestRequest();
    });
    m_logger->error(kModule, __func__, "Releasing");
}

bool WdxProtocolTester::onPostTestRequest()
{
    m_logger->error(kModule, __func__, "Posting request");
    QRawData frame;
    QString why;
    WdxMessageGeneric message;
    const bool wellFormed = frameFromText(m_rawTestRequest, frame, why);
    if (!wellFormed) {
        setDebugMessage(QStringLiteral("Test request refused: %1").arg(why));
        m_logger->warning(kModule, __func__, m_debugMessage);
    } else {
        WdxMessageGeneric::parse(frame, message);
    }
    if (!wellFormed || !m_requestProcessor) {
        m_state = enState_Idle;
        return false;
    }
    auto *request = new WdxRequest(message, this);
    request->setMaxRetry(m_maxRetry);
    // Queued even though the request lives here: a refused post finishes it at once, and
    // its completion must not post the next request from inside this one.
    connect(request, &WdxRequest::written, this, &WdxProtocolTester::onRequestWritten, Qt::QueuedConnection);
    connect(request, &WdxRequest::completed, this, &WdxProtocolTester::onRequestCompleted, Qt::QueuedConnection);
    if (!m_requestProcessor->postRequest(request)) {
        request->deleteLater();
        m_state = enState_Idle;
        return false;
    }
    // The loop never has two requests out, so a merge cannot happen here.
    m_loopRequest = request;
    ++m_queuedCount;
    return true;
}

void WdxProtocolTester::onRequestWritten()
{
    m_logger->trace(kModule, __func__, "request posted");
    if (!m_loopRequest || sender() != m_loopRequest)
        return;
    ++m_writtenCount;
    emit successRateChanged();
}

qint64 WdxProtocolTester::elapsedMs(const WdxRequest *request)
{
    const QDateTime sent = request->sentTime();
    const QDateTime done = request->completedTime();
    return sent.isValid() && done.isValid() ? sent.msecsTo(done) : 0;
}

void WdxProtocolTester::onRequestCompleted()
{
    m_logger->trace(kModule, __func__, "request completed");
    auto *request = qobject_cast<WdxRequest *>(sender());
    if (!request) {
        m_logger->error(kModule, __func__, "return null object");
        return;
    }
    if (m_state == enState_Idle || request != m_loopRequest) {
        request->deleteLater();
        return;
    }
    m_loopRequest = nullptr;
    switch (request->status()) {
    case WdxRequest::Completed: {
        ++m_succeededCount;
        const qint64 ms = elapsedMs(request);
        m_totalTimeMs += int(ms);
        m_logger->debug(kModule, __func__,
                        QStringLiteral("request #%1 processed in %2").arg(m_queuedCount).arg(ms));
        emit replyReceived();
        break;
    }
    case WdxRequest::Timeout:
        ++m_timeoutCount;
        m_logger->warning(kModule, __func__, "Timeout");
        emit timeoutReceived();
        break;
    case WdxRequest::ErrorWriting:
        ++m_errorCount;
        m_logger->warning(kModule, __func__, "Error writing");
        break;
    case WdxRequest::NotSent:
        ++m_errorCount;
        m_logger->warning(kModule, __func__, "Error posting, device disconnected");
        break;
    case WdxRequest::CommunicationError:
        // What this processor reports for a failed write: counted with the errors, or the
        // counts would not add up to the requests queued.
        ++m_errorCount;
        m_logger->warning(kModule, __func__, "Communication error");
        break;
    default:
        break;
    }
    emit successRateChanged();
    if (m_state != enState_Paused) {
        if (!m_runForever) {
            m_logger->debug(kModule, __func__, "Test completed");
            setDebugMessage(completionLine());
            setState(enState_Idle);
        } else {
            setDebugMessage(statusLine());
        }
    }
    if (m_runForever && m_state == enState_Working)
        emit postTestRequest();
    request->deleteLater();
}

void WdxProtocolTester::stopTest()
{
    if (m_state != enState_Working && m_state != enState_Paused)
        return;
    setRunForever(false);
    if (m_requestProcessor)
        m_requestProcessor->clearAllQueues();
    // Cleared from the queue it never completes; written, it completes uncounted.
    m_loopRequest = nullptr;
    setState(enState_Idle);
}

void WdxProtocolTester::pauseTest()
{
    m_logger->trace(kModule, __func__, "Pausing on disconnection");
    if (m_state != enState_Working)
        return;
    m_logger->trace(kModule, __func__, "Paused on disconnection");
    setDebugMessage(QStringLiteral("Device disconnected, reconnect to restart testing"));
    setState(enState_Paused);
}

void WdxProtocolTester::resumeTest()
{
    if (m_state != enState_Paused)
        return;
    if (!m_runForever) {
        setDebugMessage(completionLine());
        setState(enState_Idle);
        return;
    }
    setDebugMessage(QStringLiteral("Test restarted"));
    m_logger->trace(kModule, __func__, "Resumed");
    setState(enState_Working);
    // A request still out from before the pause carries the loop on when it completes.
    if (!m_loopRequest)
        emit postTestRequest();
    m_logger->trace(kModule, __func__, "Posting request");
}

void WdxProtocolTester::resetUart()
{
    WdxMonitor *monitor = m_requestProcessor ? m_requestProcessor->monitor() : nullptr;
    if (!monitor) {
        m_logger->warning(kModule, __func__, "No bridge to reset");
        return;
    }
    // The driver lives on the monitor's thread; its failure signals go to the monitor there.
    QMetaObject::invokeMethod(
        monitor,
        [monitor] {
            UsbHidUart *bridge = monitor->bridge();
            if (bridge && bridge->isOpen())
                bridge->reset();
        },
        Qt::QueuedConnection);
}

WdxRequestProcessor *WdxProtocolTester::requestProcessor() const
{
    return m_requestProcessor.data();
}

WdxRequest *WdxProtocolTester::execute(WdxRequest *request)
{
    if (!m_requestProcessor || !m_requestProcessor->executeRequest(request)) {
        request->deleteLater();
        return nullptr;
    }
    return request;
}

QString WdxProtocolTester::outcomeText(const WdxRequest *request)
{
    return WdxRequest::statusText(request->status());
}

// The reboot and the boot lock expect no answer; a time-out or a communication error says
// nothing about them, so nothing is shown then.
void WdxProtocolTester::sendWithoutReply(const WdxMessageGeneric &message, const QString &doneText)
{
    auto *request = new WdxRequest(message, this);
    request->setNoReply(true);
    if (!execute(request))
        return;
    switch (request->status()) {
    case WdxRequest::Completed:
        setDebugMessage(doneText);
        break;
    case WdxRequest::Timeout:
    case WdxRequest::CommunicationError:
        break;
    default:
        setDebugMessage(outcomeText(request));
        break;
    }
    request->deleteLater();
}

void WdxProtocolTester::reset()
{
    sendWithoutReply(writeNullMessage(), QStringLiteral("Reset done"));
}

void WdxProtocolTester::lockOnBoot()
{
    sendWithoutReply(readNullMessage(), QStringLiteral("Lock on boot sent"));
}

// A Device Info text: `format` takes the answer's text from its second byte.
void WdxProtocolTester::showDeviceInfo(quint8 subCode, const QString &format)
{
    auto *request = new WdxRequest(readDeviceInfoMessage(subCode), this);
    if (!execute(request))
        return;
    if (request->status() == WdxRequest::Completed)
        setDebugMessage(format.arg(request->replyMessage().data().toText(1)));
    else
        setDebugMessage(outcomeText(request));
    request->deleteLater();
}

void WdxProtocolTester::getDeviceType()
{
    showDeviceInfo(enDeviceInfo_DeviceType, QStringLiteral("%1"));
}

void WdxProtocolTester::getSN()
{
    showDeviceInfo(enDeviceInfo_SerialNumber, QStringLiteral("Device SN is %1"));
}

void WdxProtocolTester::getStatus()
{
    showDeviceInfo(enDeviceInfo_DeviceStatus, QStringLiteral("Device status is %1"));
}

void WdxProtocolTester::getFwStatus()
{
    auto *request = new WdxRequest(readMainStatusMessage(), this);
    if (!execute(request))
        return;
    if (request->status() == WdxRequest::Completed) {
        const QRawData data = request->replyMessage().data();
        // A refusal carries the sub-code alone.
        const QString state = data.byteLen() > 1 ? QString::number(data.at(1)) : QString();
        setDebugMessage(QStringLiteral("Fw status is %1, executed in %2 ms").arg(state).arg(elapsedMs(request)));
    } else {
        setDebugMessage(outcomeText(request));
    }
    request->deleteLater();
}

void WdxProtocolTester::setFwStatus(quint8 status)
{
    auto *request =
        new WdxRequest(writeMainStatusMessage(status, quint16(m_testBlockCount), m_testBlockData), this);
    if (!execute(request))
        return;
    if (request->status() == WdxRequest::Completed)
        setDebugMessage(QStringLiteral("Fw status set to %1").arg(status));
    else
        setDebugMessage(QStringLiteral("Error"));
    request->deleteLater();
}

void WdxProtocolTester::writeBlock()
{
    const quint8 id = m_nextBlockId;
    auto *request = new WdxRequest(writeMainBlockMessage(id, QRawData(m_testBlockSize)), this);
    if (!execute(request))
        return;
    if (request->status() == WdxRequest::Completed) {
        setDebugMessage(QStringLiteral("Fw block #%1 written").arg(id));
        m_nextBlockId = quint8((id + 1) % m_testBlockCount);
        emit nextBlockIdChanged();
    } else {
        setDebugMessage(QStringLiteral("Error"));
    }
    request->deleteLater();
}

void WdxProtocolTester::readBlock()
{
    const quint8 id = m_nextBlockId;
    auto *request = new WdxRequest(readMainBlockMessage(id), this);
    if (!execute(request))
        return;
    if (request->status() == WdxRequest::Completed)
        setDebugMessage(QStringLiteral("Fw block #%1 read in %2 ms").arg(id).arg(elapsedMs(request)));
    else
        setDebugMessage(outcomeText(request));
    request->deleteLater();
}

void WdxProtocolTester::sendCustomRequest()
{
    QRawData frame;
    QString why;
    if (!frameFromText(m_rawCustomRequest, frame, why)) {
        setDebugMessage(QStringLiteral("Custom request refused: %1").arg(why));
        m_logger->warning(kModule, __func__, m_debugMessage);
        return;
    }
    WdxMessageGeneric message;
    WdxMessageGeneric::parse(frame, message);
    auto *request = new WdxRequest(message, this);
    request->setMaxRetry(m_maxRetry);
    if (!execute(request))
        return;
    if (request->status() == WdxRequest::Completed)
        setDebugMessage(QStringLiteral("Reply %1 in %2 ms").arg(request->replyFrame().toHex()).arg(elapsedMs(request)));
    else
        setDebugMessage(outcomeText(request));
    request->deleteLater();
}
