#include "protocol/WdxRequestProcessor.h"

#include "logger/QLoggerManager.h"
#include "protocol/ThreadHandoff.h"
#include "protocol/WdxRequestProcessor_ReplyArrivedState.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QState>
#include <QStateMachine>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

const char *const kModule = "WdxRequestProcessor";

constexpr quint8 kAccessMask = 0x0F;
// Security Settings requests carry the PIN: DATA is the sub-code, the PIN's length, its bytes.
constexpr quint8 kSecuritySettings = 0x09;
constexpr int kFirstPinByte = 2;
constexpr int kNoMask = 1 << 30;

// How many DATA bytes after the first a log line shows of a long DATA field.
constexpr int kSentDataShown = 31;
constexpr int kReceivedDataShown = 15;
constexpr int kLongDataFrom = 33;

const char kHexDigits[] = "0123456789abcdef";

void appendHex(QString &out, quint8 byte)
{
    out.append(QLatin1Char(kHexDigits[byte >> 4]));
    out.append(QLatin1Char(kHexDigits[byte & 0x0F]));
}

QString hexByte(quint8 byte)
{
    QString out;
    appendHex(out, byte);
    return out;
}

// First DATA index that a log line must not show for this message.
int maskedFrom(const WdxMessageGeneric &message)
{
    return message.operationCode() == kSecuritySettings ? kFirstPinByte : kNoMask;
}

// Hexadecimal and printable texts (as QRawData::toHex/toPrintable) of bytes [from, from + len),
// every byte at or after maskFrom shown as asterisks.
void describeBytes(const QRawData &bytes, int from, int len, int maskFrom, QString &hex, QString &printable)
{
    hex.reserve(len * 2);
    printable.reserve(len * 2);
    for (int i = from; i < from + len; ++i) {
        if (i >= maskFrom) {
            hex.append(QLatin1String("**"));
            printable.append(QLatin1Char('*'));
            continue;
        }
        const quint8 b = bytes.at(i);
        appendHex(hex, b);
        if (b >= 0x20 && b <= 0x7F)
            printable.append(QLatin1Char(char(b)));
        else
            appendHex(printable, b);
    }
}

QString maskedHex(const QRawData &bytes, int maskFrom)
{
    if (maskFrom >= bytes.byteLen())
        return bytes.toHex();
    QString hex, printable;
    describeBytes(bytes, 0, bytes.byteLen(), maskFrom, hex, printable);
    return hex;
}

// "<prefix>, CMD[..](..), OP_CODE[..](..)" and the data suffix; `shown` is how many bytes after
// the first a DATA field of 33 bytes or more shows.
QString messageLine(const char *prefix, const WdxMessageGeneric &message, int shown)
{
    const quint8 cmd = message.commandType();
    const quint8 op = message.operationCode();
    QString line = QStringLiteral("%1, CMD[%2](%3), OP_CODE[%4](%5)")
                       .arg(QLatin1String(prefix), hexByte(cmd), WdxMessageGeneric::commandTypeName(cmd), hexByte(op),
                            WdxMessageGeneric::operationCodeName(op));
    const QRawData &data = message.data();
    const int n = data.byteLen();
    if (n == 0)
        return line;
    line += QStringLiteral(", DATA_0[%1](%2)").arg(hexByte(data.at(0)), WdxMessageGeneric::subCodeName(op, data.at(0)));
    if (n < 2)
        return line;
    const bool shortened = n >= kLongDataFrom;
    QString hex, printable;
    describeBytes(data, 1, shortened ? shown : n - 1, maskedFrom(message), hex, printable);
    if (shortened)
        line += QStringLiteral(", DATA:[%1...](%2...)").arg(hex, printable);
    else
        line += QStringLiteral(", DATA:[%1](%2)").arg(hex, printable);
    return line;
}

// The frame as sent, with the PIN bytes and the checksum (which would give the PIN's digit
// sum away) masked.
QString frameDump(const WdxRequest &request)
{
    const WdxMessageGeneric &message = request.requestMessage();
    const QRawData &frame = request.requestFrame();
    const int maskFrom = maskedFrom(message);
    if (maskFrom >= message.data().byteLen())
        return frame.toHex();
    return maskedHex(frame, WdxMessageGeneric::kHeaderSize + maskFrom);
}

} // namespace

WdxRequestProcessor::WdxRequestProcessor(bool extendedIds, QObject *parent)
    : QObject(parent), m_extendedIds(extendedIds)
{
    qRegisterMetaType<WdxMessageGeneric>("WdxMessageGeneric");
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logWriter = QLogger::QLoggerManager::moduleWriter(QString::fromLatin1(kModule));
    m_logger->info(kModule, __func__, "Logger created");
    m_monitorThread.setObjectName(QStringLiteral("WdxMonitorThread"));
    m_replyTimer = new QTimer(this);
    m_replyTimer->setSingleShot(true);
    m_lastWriteClock.start();
}

WdxRequestProcessor::~WdxRequestProcessor()
{
    ThreadHandoff::accept(*this);
    if (WdxMonitor *monitor = m_monitor.exchange(nullptr)) {
        if (m_monitorThread.isRunning())
            monitor->deleteLater();
        else
            delete monitor;
    }
    if (m_monitorThread.isRunning()) {
        m_monitorThread.quit();
        m_monitorThread.wait();
    }
}

void WdxRequestProcessor::trace(const char *function, const char *message) const
{
    // State entries trace on every request: skip building the texts when nobody reads them.
    if (logs(QLogger::Trace))
        m_logger->trace(kModule, function, message);
}

bool WdxRequestProcessor::logs(int level) const
{
    const int mode = QLogger::QLoggerManager::outputMode();
    return mode != QLogger::LogOff && level >= QLogger::QLoggerManager::defaultLevel()
        && (!m_logWriter || level >= m_logWriter->level());
}

int WdxRequestProcessor::waitingCount() const
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    int count = 0;
    for (const auto &entry : m_queues)
        count += entry.second.size();
    return count;
}

int WdxRequestProcessor::countWaitingLocked() const
{
    int count = 0;
    for (const auto &entry : m_queues) {
        if (entry.first != kExecutePriority)
            count += entry.second.size();
    }
    return count;
}

bool WdxRequestProcessor::postRequest(WdxRequest *request, quint8 priority)
{
    return post(request, priority, false);
}

bool WdxRequestProcessor::postRequest(WdxRequest *request)
{
    return request && post(request, request->priority(), false);
}

bool WdxRequestProcessor::post(WdxRequest *request, quint8 priority, bool retry)
{
    if (!request)
        return false;
    EnqueueResult result;
    {
        // Counting and queueing under one lock, so that concurrent posters cannot overshoot
        // the bound together.
        std::unique_lock<std::mutex> lock(m_queueMutex);
        if (m_stopped) {
            lock.unlock();
            // Nothing would ever take it, and a synchronous caller would wait for good. The
            // status change runs the caller's handlers, which may post: not under the lock.
            m_logger->warning(kModule, "postRequest", "Processor stopped, request not sent");
            request->setStatus(WdxRequest::NotSent);
            return false;
        }
        if (countWaitingLocked() >= kMaxWaitingRequests) {
            m_logger->error(kModule, "postRequest", "Request buffer is full");
            return false;
        }
        trace("postRequest", "Posting request");
        result = enqueueRequest(request, priority, retry);
    }
    if (result == EnqueueResult::Added)
        emit itemQueued();
    return result != EnqueueResult::Superseded;
}

// Called with the queue mutex held.
WdxRequestProcessor::EnqueueResult WdxRequestProcessor::enqueueRequest(WdxRequest *request, quint8 priority,
                                                                       bool retry)
{
    QList<WdxRequest *> &list = m_queues[priority];
    const WdxMessageGeneric &message = request->requestMessage();
    for (WdxRequest *waiting : qAsConst(list)) {
        if (!message.isSameRequest(waiting->requestMessage()))
            continue;
        // A retry carries older data than the equal request posted after it: merging would
        // write the stale value over the newer one.
        if (retry)
            return EnqueueResult::Superseded;
        if (waiting->requestMessage().commandType() & kAccessMask) {
            if (logs(QLogger::Trace)) {
                const int maskFrom = maskedFrom(message);
                m_logger->trace(kModule, "enqueueRequest",
                                QStringLiteral("Merging request, changing data from ")
                                    + maskedHex(waiting->requestMessage().data(), maskFrom) + QStringLiteral(" to ")
                                    + maskedHex(message.data(), maskFrom));
            }
            waiting->setRequestMessage(message);
        }
        request->setStatus(WdxRequest::Merged);
        return EnqueueResult::Merged;
    }
    list.append(request);
    return EnqueueResult::Added;
}

bool WdxRequestProcessor::executeRequest(WdxRequest *request)
{
    if (!request)
        return false;
    QEventLoop loop;
    connect(request, &WdxRequest::completed, &loop, &QEventLoop::quit);
    connect(this, &WdxRequestProcessor::stopped, &loop, &QEventLoop::quit);
    if (!postRequest(request, kExecutePriority) || request->status() == WdxRequest::Merged) {
        request->setStatus(WdxRequest::NotSent);
        return false;
    }
    // On the processor's own thread a request without reply can already be finished here, and
    // its completed() has then come and gone.
    if (!request->isCompleted())
        loop.exec();
    return request->isCompleted();
}

void WdxRequestProcessor::clearAllQueues()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    for (auto &entry : m_queues)
        entry.second.clear();
}

void WdxRequestProcessor::start()
{
    if (m_stateMachine)
        return;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_stopped = false;
    }
    auto *monitor = new WdxMonitor(m_extendedIds);
    monitor->moveToThread(&m_monitorThread);
    m_monitor.store(monitor);
    buildStateMachine();

    connect(&m_monitorThread, &QThread::started, monitor, &WdxMonitor::initialize);
    connect(&m_monitorThread, &QThread::started, m_stateMachine.data(), &QStateMachine::start);
    // Quitting a thread is thread-safe; the thread object itself may live on a thread that is
    // busy (the one that created the processor).
    connect(monitor, &WdxMonitor::finished, &m_monitorThread, &QThread::quit, Qt::DirectConnection);
    connect(monitor, &WdxMonitor::finished, monitor, &QObject::deleteLater);
    connect(monitor, &WdxMonitor::wdxConnected, this, &WdxRequestProcessor::onWdxConnected, Qt::DirectConnection);
    connect(monitor, &WdxMonitor::wdxDisconnected, this, &WdxRequestProcessor::onWdxDisconnected,
            Qt::DirectConnection);
    connect(monitor, &WdxMonitor::messageArrived, this, &WdxRequestProcessor::onMessageArrived);
    m_monitorThread.start(QThread::InheritPriority);
}

void WdxRequestProcessor::buildStateMachine()
{
    auto *machine = new QStateMachine(this);
    m_stateMachine = machine;

    m_running = new QState(machine);
    m_error = new QState(machine);
    m_processQueues = new QState(m_running);
    m_waitRequest = new QState(m_running);
    m_dequeueRequest = new QState(m_processQueues);
    m_writeRequest = new QState(m_processQueues);
    m_waitReply = new QState(m_processQueues);
    m_replyArrived = new WdxRequestProcessor_ReplyArrivedState(m_processQueues);
    m_timeoutState = new QState(m_processQueues);

    machine->setInitialState(m_running);
    m_running->setInitialState(m_processQueues);
    m_processQueues->setInitialState(m_dequeueRequest);

    connect(machine, &QStateMachine::started, this, &WdxRequestProcessor::onStateMachineStarted);
    connect(machine, &QStateMachine::stopped, this, &WdxRequestProcessor::onStateMachineStopped);
    connect(m_running, &QState::entered, this, &WdxRequestProcessor::onRunningEntered);
    connect(m_error, &QState::entered, this, &WdxRequestProcessor::onErrorEntered);
    connect(m_processQueues, &QState::entered, this, &WdxRequestProcessor::onProcessQueuesEntered);
    connect(m_waitRequest, &QState::entered, this, &WdxRequestProcessor::onWaitRequestEntered);
    connect(m_dequeueRequest, &QState::entered, this, &WdxRequestProcessor::onDequeueRequestEntered);
    connect(m_writeRequest, &QState::entered, this, &WdxRequestProcessor::onWriteRequestEntered);
    connect(m_waitReply, &QState::entered, this, &WdxRequestProcessor::onWaitReplyEntered);
    connect(m_replyArrived, QOverload<QEvent *>::of(&WdxRequestProcessor_ReplyArrivedState::entered), this,
            &WdxRequestProcessor::onReplyArrivedEntered);
    connect(m_timeoutState, &QState::entered, this, &WdxRequestProcessor::onTimeoutEntered);

    QAbstractState *replyArrived = m_replyArrived;
    m_running->addTransition(m_monitor.load(), &WdxMonitor::error, m_error);
    m_error->addTransition(m_error, &QAbstractState::entered, m_running);
    m_processQueues->addTransition(this, &WdxRequestProcessor::queueEmpty, m_waitRequest);
    m_waitRequest->addTransition(this, &WdxRequestProcessor::itemQueued, m_processQueues);
    m_dequeueRequest->addTransition(this, &WdxRequestProcessor::requestDequeued, m_writeRequest);
    m_writeRequest->addTransition(this, &WdxRequestProcessor::requestWritten, m_waitReply);
    m_writeRequest->addTransition(this, &WdxRequestProcessor::requestWrittenNoReply, m_dequeueRequest);
    m_writeRequest->addTransition(this, &WdxRequestProcessor::errorWriting, m_dequeueRequest);
    m_writeRequest->addTransition(this, &WdxRequestProcessor::replyArrived, m_replyArrived);
    m_waitReply->addTransition(this, &WdxRequestProcessor::replyArrived, m_replyArrived);
    m_waitReply->addTransition(m_replyTimer, &QTimer::timeout, m_timeoutState);
    m_replyArrived->addTransition(replyArrived, &QAbstractState::entered, m_dequeueRequest);
    m_timeoutState->addTransition(m_timeoutState, &QAbstractState::entered, m_dequeueRequest);
}

void WdxRequestProcessor::stop()
{
    // The machine and its timers belong to the processor's thread: a stop asked from elsewhere
    // is carried out there while that thread runs.
    if (QThread::currentThread() != thread() && thread() && thread()->isRunning()) {
        QMetaObject::invokeMethod(this, &WdxRequestProcessor::stop, Qt::BlockingQueuedConnection);
        return;
    }
    {
        // From here on nothing is queued: what waits now is cleared below and never taken.
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_stopped = true;
    }
    // Without its monitor there is no device: the sub-controllers must stop posting, or a read
    // that posts itself again on failure would be refused and posted again without end.
    m_connected.store(false);
    if (QStateMachine *machine = m_stateMachine.data()) {
        if (machine->isRunning()) {
            machine->stop();
            // The machine stops through a queued call; deliver it now so that stopped() goes out
            // before finished() ends this thread's loop.
            if (machine->thread() == QThread::currentThread()) {
                QCoreApplication::sendPostedEvents(machine, QEvent::MetaCall);
                // Its stopped() handler scheduled it for deletion; done here, so that the
                // machine does not outlive stop() on a thread that is about to end.
                delete m_stateMachine.data();
            }
        } else {
            // Not started yet (its start is still queued) or already stopped: it must not start
            // later, and waiting callers must be released all the same.
            machine->deleteLater();
            clearAllQueues();
            emit stopped();
        }
    }
    // Its thread may end with the processor: no timer may outlive it running.
    m_replyTimer->stop();
    if (WdxMonitor *monitor = m_monitor.exchange(nullptr))
        monitor->deleteLater();
    m_stateMachine.clear();
    m_monitorThread.quit();
    m_monitorThread.wait();
    emit finished();
    // The owner deletes the processor once this thread has ended, through a join that
    // ThreadSanitizer cannot see.
    ThreadHandoff::announce(this);
}

void WdxRequestProcessor::pause()
{
    if (WdxMonitor *monitor = m_monitor.load())
        QMetaObject::invokeMethod(monitor, "pause");
}

void WdxRequestProcessor::resume()
{
    if (WdxMonitor *monitor = m_monitor.load())
        QMetaObject::invokeMethod(monitor, "resume");
}

void WdxRequestProcessor::onWdxConnected()
{
    m_logger->info(kModule, __func__, "Wdx connected");
    m_connected.store(true);
    emit wdxConnected();
}

void WdxRequestProcessor::onWdxDisconnected()
{
    m_logger->info(kModule, __func__, "Wdx disconnected");
    m_connected.store(false);
    emit wdxDisconnected();
}

void WdxRequestProcessor::onMessageArrived(WdxMessageGeneric message)
{
    if (logs(QLogger::Info))
        m_logger->info(kModule, __func__, messageLine("Message received", message, kReceivedDataShown));
    WdxRequest *request = m_currentRequest;
    if (request && request->status() == WdxRequest::Written
        && (message.commandType() & kAccessMask) == (request->requestMessage().commandType() & kAccessMask)
        && message.operationCode() == request->requestMessage().operationCode()) {
        emit replyArrived(message);
        return;
    }
    m_logger->warning(kModule, __func__, "Unexpected message");
}

void WdxRequestProcessor::onStateMachineStarted()
{
    trace(__func__, "State machine started");
    emit started();
}

void WdxRequestProcessor::onStateMachineStopped()
{
    trace(__func__, "State machine stopped");
    clearAllQueues();
    emit stopped();
    if (WdxMonitor *monitor = m_monitor.exchange(nullptr))
        monitor->deleteLater();
    if (QObject *machine = sender())
        machine->deleteLater();
}

void WdxRequestProcessor::onRunningEntered()
{
    trace(__func__, "Running");
}

void WdxRequestProcessor::onErrorEntered()
{
    m_logger->error(kModule, __func__, "Communication error");
    if (m_currentRequest && !m_currentRequest->isCompleted())
        m_currentRequest->setStatus(WdxRequest::CommunicationError);
    m_currentRequest = nullptr;
}

void WdxRequestProcessor::onProcessQueuesEntered()
{
    trace(__func__, "Process queues");
}

void WdxRequestProcessor::onWaitRequestEntered()
{
    trace(__func__, "Waiting request to process");
}

void WdxRequestProcessor::onDequeueRequestEntered()
{
    trace(__func__, "Check for next request to process");
    // The spacing is waited out before the request is taken, not after: whatever is posted
    // meanwhile still counts, so a higher priority overtakes and a dragged slider's latest
    // value merges into the write that is about to go.
    const auto waitOutSpacing = [this] {
        const qint64 spacingNs = qint64(m_interval.load()) * 1000 * 1000;
        const qint64 elapsedNs = m_lastWriteClock.nsecsElapsed();
        if (elapsedNs < spacingNs)
            std::this_thread::sleep_for(std::chrono::nanoseconds(spacingNs - elapsedNs));
    };
    if (waitingCount() > 0)
        waitOutSpacing();
    WdxRequest *next = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        for (auto it = m_queues.rbegin(); it != m_queues.rend(); ++it) {
            if (!it->second.isEmpty()) {
                next = it->second.takeFirst();
                break;
            }
        }
    }
    m_currentRequest = next;
    if (!next) {
        emit queueEmpty();
        return;
    }
    // A request posted between the count and the take found no wait above: the spacing
    // still holds for it.
    waitOutSpacing();
    next->setStatus(WdxRequest::Posted);
    emit requestDequeued();
}

void WdxRequestProcessor::onWriteRequestEntered()
{
    trace(__func__, "Write request");
    WdxRequest *request = m_currentRequest;
    if (!request) {
        emit errorWriting();
        return;
    }
    request->setSentTime(QDateTime::currentDateTimeUtc());
    if (logs(QLogger::Info))
        m_logger->info(kModule, __func__, messageLine("Sending request", request->requestMessage(), kSentDataShown));
    if (logs(QLogger::Trace))
        m_logger->trace(kModule, __func__, QStringLiteral("--> %1").arg(frameDump(*request)));

    // The spacing runs from the moment the frame goes to the bridge: a thread held up between
    // the take and the write must not bring the next frame closer to this one on the wire.
    m_lastWriteClock.restart();
    WdxMonitor *monitor = m_monitor.load();
    const WdxMonitor::enErrCode result =
        monitor ? monitor->write(request->requestFrame(), maskedFrom(request->requestMessage()) != kNoMask)
                : WdxMonitor::enErrCode_NotConnected;
    switch (result) {
    case WdxMonitor::enErrCode_Ok:
        trace(__func__, "Request written");
        if (request->noReply()) {
            m_currentRequest = nullptr;
            request->setStatus(WdxRequest::Completed);
            emit requestWrittenNoReply();
        } else {
            request->setStatus(WdxRequest::Written);
            emit requestWritten();
        }
        break;
    case WdxMonitor::enErrCode_CommunicationError:
        m_logger->error(kModule, __func__, "Error writing");
        m_currentRequest = nullptr;
        request->setStatus(WdxRequest::CommunicationError);
        emit errorWriting();
        break;
    case WdxMonitor::enErrCode_NotConnected:
    default:
        m_logger->warning(kModule, __func__, "Not connected");
        m_currentRequest = nullptr;
        request->setStatus(WdxRequest::NotSent);
        emit errorWriting();
        break;
    }
}

void WdxRequestProcessor::onWaitReplyEntered()
{
    trace(__func__, "Wait reply");
    m_replyTimer->start(m_timeout.load());
}

void WdxRequestProcessor::onReplyArrivedEntered(QEvent *event)
{
    trace(__func__, "Reply arrived");
    m_replyTimer->stop();
    WdxRequest *request = m_currentRequest;
    m_currentRequest = nullptr;
    if (!request)
        return;
    if (event && event->type() == QEvent::StateMachineSignal) {
        const auto *signalEvent = static_cast<QStateMachine::SignalEvent *>(event);
        if (!signalEvent->arguments().isEmpty())
            request->setReplyMessage(signalEvent->arguments().constFirst().value<WdxMessageGeneric>());
    }
    request->setStatus(WdxRequest::Completed);
}

void WdxRequestProcessor::onTimeoutEntered()
{
    trace(__func__, "Timeout");
    m_logger->error(kModule, __func__, "<-- TIMEOUT");
    WdxRequest *request = m_currentRequest;
    m_currentRequest = nullptr;
    if (!request)
        return;
    if (request->maxRetry() <= request->retryCount()) {
        request->setStatus(WdxRequest::Timeout);
        return;
    }
    m_logger->debug(kModule, __func__, "Retrying failed request");
    request->incrementRetryCount();
    if (!post(request, request->priority(), true)) {
        m_logger->error(kModule, __func__, "Error on retry");
        request->setStatus(WdxRequest::Timeout);
    }
}
