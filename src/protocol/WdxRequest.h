#pragma once

#include "protocol/QRawData.h"
#include "protocol/WdxMessageGeneric.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// One request on its way through the request processor: the message to send, the matched
// reply, the outcome and the retry budget. Owned by the object that created it, which deletes
// it (deleteLater) once it is finished, or at once when its post was refused or merged.
//
// The status and the reply are shared with the processor's thread and guarded by the
// request's own lock. The request message is set by the creator before posting, and
// afterwards changed only by a merge while the request waits in the processor's queue.
class WdxRequest : public QObject
{
    Q_OBJECT
public:
    enum RequestStatus {
        Idle = 0,
        Queued = 1,
        Merged = 2,
        Posted = 3,
        Written = 4,
        Completed = 5,
        Timeout = 6,
        ErrorWriting = 7,
        CommunicationError = 8,
        NotSent = 9
    };
    Q_ENUM(RequestStatus)

    explicit WdxRequest(QObject *parent = nullptr);
    explicit WdxRequest(const WdxMessageGeneric &message, QObject *parent = nullptr);
    ~WdxRequest() override;

    // The display text of a status; Completed has none.
    static QString statusText(RequestStatus status);
    static bool isFinal(RequestStatus status) { return status >= Completed && status <= NotSent; }

    const WdxMessageGeneric &requestMessage() const { return m_requestMessage; }
    const QRawData &requestFrame() const { return m_requestFrame; }
    void setRequestMessage(const WdxMessageGeneric &message);

    WdxMessageGeneric replyMessage() const;
    QRawData replyFrame() const;
    void setReplyMessage(const WdxMessageGeneric &message);

    QDateTime sentTime() const;
    void setSentTime(const QDateTime &time);
    QDateTime completedTime() const;
    void setCompletedTime(const QDateTime &time);

    RequestStatus status() const;
    QString statusText() const { return statusText(status()); }
    void setStatus(RequestStatus status);

    bool noReply() const { return m_noReply; }
    void setNoReply(bool value);
    int maxRetry() const { return m_maxRetry; }
    void setMaxRetry(int value);
    int retryCount() const { return m_retryCount; }
    void incrementRetryCount() { ++m_retryCount; }
    bool repostOnFail() const { return m_repostOnFail; }
    void setRepostOnFail(bool value);
    quint8 priority() const { return m_priority; }
    void setPriority(quint8 value);

    // Finished, not necessarily successful.
    bool isCompleted() const;
    // Blocks until the request is finished and completed() has gone out. Never call it on the
    // processor's thread.
    void waitForCompletion();

signals:
    void posted();
    void written();
    void completed();

private:
    WdxMessageGeneric m_requestMessage;
    WdxMessageGeneric m_replyMessage;
    QRawData m_requestFrame;
    QRawData m_replyFrame;
    QDateTime m_sentTime;
    QDateTime m_completedTime;
    RequestStatus m_status = Idle;
    bool m_noReply = false;
    int m_maxRetry = 0;
    int m_retryCount = 0;
    bool m_repostOnFail = false;
    quint8 m_priority = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_finishedCondition;
    // A finished request may be deleted by its creator's thread as soon as that thread learns
    // of it (a released waiter, a quit local loop): waiters are released only after
    // completed() has gone out, and a destructor on another thread waits for the end of the
    // finishing step.
    bool m_waitersReleased = false;
    bool m_finishing = false;
    std::thread::id m_finishingThread;
};
