#include "protocol/WdxRequest.h"

WdxRequest::WdxRequest(QObject *parent) : QObject(parent) {}

WdxRequest::WdxRequest(const WdxMessageGeneric &message, QObject *parent) : QObject(parent)
{
    setRequestMessage(message);
}

WdxRequest::~WdxRequest()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_finishing && m_finishingThread != std::this_thread::get_id())
        m_finishedCondition.wait(lock, [this] { return !m_finishing; });
}

QString WdxRequest::statusText(RequestStatus status)
{
    switch (status) {
    case Idle:
        return QStringLiteral("Idle");
    case Queued:
        return QStringLiteral("Queued");
    case Merged:
        return QStringLiteral("Merged");
    case Posted:
        return QStringLiteral("Posted");
    case Written:
        return QStringLiteral("Written");
    case Completed:
        return QString();
    case Timeout:
        return QStringLiteral("Timeout");
    case ErrorWriting:
        return QStringLiteral("Error writing");
    case CommunicationError:
        return QStringLiteral("Communication error");
    case NotSent:
        return QStringLiteral("Not Sent");
    }
    return QString();
}

void WdxRequest::setRequestMessage(const WdxMessageGeneric &message)
{
    m_requestMessage = message;
    m_requestFrame = WdxMessageGeneric::buildFrame(m_requestMessage);
}

WdxMessageGeneric WdxRequest::replyMessage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_replyMessage;
}

QRawData WdxRequest::replyFrame() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_replyFrame;
}

void WdxRequest::setReplyMessage(const WdxMessageGeneric &message)
{
    const QRawData frame = WdxMessageGeneric::buildFrame(message);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replyMessage = message;
    m_replyFrame = frame;
}

QDateTime WdxRequest::sentTime() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sentTime;
}

void WdxRequest::setSentTime(const QDateTime &time)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sentTime != time)
        m_sentTime = time;
}

QDateTime WdxRequest::completedTime() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_completedTime;
}

void WdxRequest::setCompletedTime(const QDateTime &time)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_completedTime != time)
        m_completedTime = time;
}

WdxRequest::RequestStatus WdxRequest::status() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

void WdxRequest::setStatus(RequestStatus status)
{
    const bool final = isFinal(status);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = status;
        m_waitersReleased = false;
        if (final) {
            m_completedTime = QDateTime::currentDateTimeUtc();
            m_finishing = true;
            m_finishingThread = std::this_thread::get_id();
        }
    }
    // Signals go out without the lock so that a directly connected handler may read the
    // request.
    switch (status) {
    case Posted:
        emit posted();
        break;
    case Written:
        emit written();
        break;
    default:
        break;
    }
    if (!final)
        return;
    emit completed();
    // Nothing touches the request after this block: a released waiter may delete it.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finishing = false;
    m_waitersReleased = true;
    m_finishedCondition.notify_all();
}

void WdxRequest::setNoReply(bool value)
{
    if (m_noReply != value)
        m_noReply = value;
}

void WdxRequest::setMaxRetry(int value)
{
    if (m_maxRetry != value)
        m_maxRetry = value;
}

void WdxRequest::setRepostOnFail(bool value)
{
    if (m_repostOnFail != value)
        m_repostOnFail = value;
}

void WdxRequest::setPriority(quint8 value)
{
    if (m_priority != value)
        m_priority = value;
}

bool WdxRequest::isCompleted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return isFinal(m_status);
}

void WdxRequest::waitForCompletion()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finishedCondition.wait(lock, [this] { return m_waitersReleased && isFinal(m_status); });
}
