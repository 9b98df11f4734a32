#pragma once

#include "protocol/WdxMessageGeneric.h"
#include "protocol/WdxMonitor.h"
#include "protocol/WdxRequest.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <map>
#include <mutex>

class QEvent;
class QState;
class QStateMachine;
class QTimer;
class WdxRequestProcessor_ReplyArrivedState;

namespace QLogger {
class QLoggerManager;
class QLoggerWriter;
}

// Sends every request to the device, one at a time: one FIFO list per priority (higher served
// first), merging of a new request into an equal one already waiting at the same priority, a
// minimum spacing between the starts of two writes, a reply time-out with retries, and the
// outcome recorded in the request's status.
//
// Lives on a worker thread owned by its user; owns the connection monitor and the thread the
// monitor runs on. postRequest() and executeRequest() may be called from any thread.
class WdxRequestProcessor : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultInterval = 10;
    // Requests of priorities other than 3 that may wait at once.
    static constexpr int kMaxWaitingRequests = 5000;
    static constexpr quint8 kExecutePriority = 3;

    explicit WdxRequestProcessor(bool extendedIds = false, QObject *parent = nullptr);
    ~WdxRequestProcessor() override;

    int timeout() const { return m_timeout.load(); }
    void setTimeout(int milliseconds) { m_timeout.store(milliseconds); }
    int interval() const { return m_interval.load(); }
    void setInterval(int milliseconds) { m_interval.store(milliseconds); }

    // Safe from any thread.
    bool isConnected() const { return m_connected.load(); }
    // The connection monitor (on the monitor thread); null before start() and after stop().
    WdxMonitor *monitor() const { return m_monitor.load(); }
    // Requests waiting in the lists, all priorities.
    int waitingCount() const;

    // Once stop() has been called, every post is refused: false, and the request NotSent.
    bool postRequest(WdxRequest *request, quint8 priority);
    bool postRequest(WdxRequest *request);
    // Blocks the calling thread in a local event loop until the request is finished or the
    // processor stops; true when it finished. Returns false at once (status NotSent) when the
    // request could not be queued as a request of its own.
    bool executeRequest(WdxRequest *request);

signals:
    void wdxConnected();
    void wdxDisconnected();
    void finished();
    void started();
    void stopped();

    void itemQueued();
    void queueEmpty();
    void requestDequeued();
    void requestWritten();
    void requestWrittenNoReply();
    void errorWriting();
    void replyArrived(WdxMessageGeneric message);

public slots:
    void start();
    void stop();
    void pause();
    void resume();
    void clearAllQueues();

    void onWdxConnected();
    void onWdxDisconnected();
    void onMessageArrived(WdxMessageGeneric message);

private slots:
    void onStateMachineStarted();
    void onStateMachineStopped();
    void onRunningEntered();
    void onErrorEntered();
    void onProcessQueuesEntered();
    void onWaitRequestEntered();
    void onDequeueRequestEntered();
    void onWriteRequestEntered();
    void onWaitReplyEntered();
    void onReplyArrivedEntered(QEvent *event);
    void onTimeoutEntered();

private:
    enum class EnqueueResult { Added, Merged, Superseded };

    bool post(WdxRequest *request, quint8 priority, bool retry);
    EnqueueResult enqueueRequest(WdxRequest *request, quint8 priority, bool retry);
    int countWaitingLocked() const;
    void buildStateMachine();
    void finishStop();
    bool logs(int level) const;
    void trace(const char *function, const char *message) const;

    mutable std::mutex m_queueMutex;
    QLogger::QLoggerManager *m_logger = nullptr;
    QLogger::QLoggerWriter *m_logWriter = nullptr;
    const bool m_extendedIds;
    std::atomic<int> m_timeout{0};
    std::atomic<int> m_interval{kDefaultInterval};
    QThread m_monitorThread;
    std::atomic<WdxMonitor *> m_monitor{nullptr};
    std::map<quint8, QList<WdxRequest *>> m_queues;
    // Set by stop(), cleared by start(); under the queue mutex, so that no post slips in after
    // the queues were cleared for good.
    bool m_stopped = false;
    // Written on the monitor thread (and cleared by stop()), read anywhere.
    std::atomic<bool> m_connected{false};
    QPointer<QStateMachine> m_stateMachine;
    QTimer *m_replyTimer = nullptr;
    WdxRequest *m_currentRequest = nullptr;
    QElapsedTimer m_lastWriteClock;

    QState *m_running = nullptr;
    QState *m_error = nullptr;
    QState *m_processQueues = nullptr;
    QState *m_waitRequest = nullptr;
    QState *m_dequeueRequest = nullptr;
    QState *m_writeRequest = nullptr;
    QState *m_waitReply = nullptr;
    WdxRequestProcessor_ReplyArrivedState *m_replyArrived = nullptr;
    QState *m_timeoutState = nullptr;
};
