#pragma once

// What several benchmarks share: the process's CPU clock, event-loop waits that do not eat the
// CPU they measure, and the request engine on its own thread with a feeder of reads.

#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <ctime>
#include <functional>

namespace Bench {

using namespace WdxRequestBuilder;

inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Runs the event loop until the condition holds or the time is up, sleeping between events
// so that the measuring thread does not eat the CPU it measures.
inline bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QTimer tick;
    tick.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

inline void spinFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    spinUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

class Engine
{
public:
    Engine() : processor(new WdxRequestProcessor(false))
    {
        processor->setTimeout(250);
        processor->moveToThread(&worker);
        QObject::connect(&worker, &QThread::started, processor, &WdxRequestProcessor::start);
        QObject::connect(processor, &WdxRequestProcessor::finished, &worker, &QThread::quit, Qt::DirectConnection);
        QObject::connect(processor, &WdxRequestProcessor::started, processor, [this] { running = true; },
                         Qt::DirectConnection);
    }
    ~Engine()
    {
        if (worker.isRunning())
            QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
        worker.wait();
        delete processor;
    }
    bool start()
    {
        worker.start();
        if (!spinUntil([this] { return running.load(); }, 10000))
            return false;
        processor->resume();
        return spinUntil([this] { return processor->isConnected(); }, 10000);
    }
    QThread worker;
    WdxRequestProcessor *processor;
    std::atomic<bool> running{false};
};

// Keeps a few distinct reads waiting at all times and counts their completions.
class ReadFeeder : public QObject
{
public:
    explicit ReadFeeder(WdxRequestProcessor *processor) : m_processor(processor)
    {
        m_messages = {readOutputGainsMessage(), readOutputDelaysMessage(), readInputDelaysMessage(),
                      readFrontPanelGainsMessage(), readCompressorMessage(0), readCompressorMessage(1),
                      readCompressorMessage(2), readEqMessage(0), readEqMessage(1),
                      readDeviceInfoMessage(enDeviceInfo_OutputMeters)};
    }
    void start(int outstanding)
    {
        for (int i = 0; i < outstanding; ++i)
            postNext();
    }
    void stop() { m_stopping = true; }
    bool idle() const { return m_outstanding == 0; }
    int completed = 0;
    int failed = 0;

private:
    void postNext()
    {
        auto *request = new WdxRequest(m_messages[m_next++ % m_messages.size()], this);
        connect(request, &WdxRequest::completed, this, [this, request] {
            --m_outstanding;
            if (request->status() == WdxRequest::Completed)
                ++completed;
            else
                ++failed;
            request->deleteLater();
            if (!m_stopping)
                postNext();
        });
        if (m_processor->postRequest(request, 0) && request->status() != WdxRequest::Merged)
            ++m_outstanding;
        else
            request->deleteLater();
    }
    WdxRequestProcessor *m_processor;
    QList<WdxMessageGeneric> m_messages;
    int m_next = 0;
    int m_outstanding = 0;
    bool m_stopping = false;
};

// Waits in a plain event loop: nothing of the bench's own wakes the process meanwhile.
inline void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace Bench
