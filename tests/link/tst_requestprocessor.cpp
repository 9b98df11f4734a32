// The request processor against the virtual Wdx: queueing, merging, priorities, the bound,
// replies, retries, time-outs, synchronous execution, write spacing, the connection flag and
// the masking of the PIN in the log files. The processor runs on a worker thread owned by the
// test, as the device controller will own it.

#include "VelaTestMain.h"
#include "VirtualWdx.h"

#include "logger/QLoggerManager.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

#include <QDir>
#include <QHash>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace WdxRequestBuilder;
namespace V = VirtualWdx;

namespace {

constexpr int kWait = 15000;
constexpr quint8 kGainsOp = 0x03;
constexpr quint8 kAllOutputs = 0x40;

// The processor on a worker thread of its own, connected to the plugged virtual bridge.
class Engine
{
public:
    explicit Engine(int timeoutMs = 250, int intervalMs = WdxRequestProcessor::kDefaultInterval)
        : processor(new WdxRequestProcessor(false))
    {
        processor->setTimeout(timeoutMs);
        processor->setInterval(intervalMs);
        processor->moveToThread(&worker);
        QObject::connect(&worker, &QThread::started, processor, &WdxRequestProcessor::start);
        QObject::connect(processor, &WdxRequestProcessor::finished, &worker, &QThread::quit, Qt::DirectConnection);
        QObject::connect(processor, &WdxRequestProcessor::started, processor, [this] { running = true; },
                         Qt::DirectConnection);
        QObject::connect(processor, &WdxRequestProcessor::stopped, processor, [this] { running = false; },
                         Qt::DirectConnection);
    }

    ~Engine()
    {
        stop();
        delete processor;
    }

    // Starts the machine and the connection checks; true once the bridge is open.
    bool start(bool waitConnected = true)
    {
        worker.start();
        if (!QTest::qWaitFor([this] { return running.load(); }, kWait))
            return false;
        processor->resume();
        return !waitConnected || QTest::qWaitFor([this] { return processor->isConnected(); }, kWait);
    }

    void stop()
    {
        if (worker.isRunning())
            QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
        worker.wait();
    }

    QThread worker;
    WdxRequestProcessor *processor;
    std::atomic<bool> running{false};
};

// Counts completed() per request on the test thread.
class Tracker : public QObject
{
public:
    WdxRequest *make(const WdxMessageGeneric &message)
    {
        auto *request = new WdxRequest(message, this);
        connect(request, &WdxRequest::completed, this, [this, request] { ++completions[request]; });
        return request;
    }
    int count(WdxRequest *request) const { return completions.value(request); }
    QHash<WdxRequest *, int> completions;
};

// The text appended to the log files since the object was made.
class LogWatch
{
public:
    LogWatch() { m_start = sizes(); }
    QString text() const
    {
        QString out;
        const QDir dir(logsDir());
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            file.seek(m_start.value(name));
            out += QString::fromUtf8(file.readAll());
        }
        return out;
    }
    QStringList lines(const QString &needle) const
    {
        QStringList out;
        for (const QString &line : text().split(QLatin1Char('\n'))) {
            if (line.contains(needle))
                out << line;
        }
        return out;
    }
    static QString logsDir() { return QLogger::QLoggerManager::basePath() + QStringLiteral("/logs"); }

private:
    static QHash<QString, qint64> sizes()
    {
        QHash<QString, qint64> out;
        const QDir dir(logsDir());
        for (const QFileInfo &info : dir.entryInfoList(QDir::Files))
            out.insert(info.fileName(), info.size());
        return out;
    }
    QHash<QString, qint64> m_start;
};

WdxMessageGeneric rawMessage(quint8 cmd, quint8 op, const QByteArray &data)
{
    WdxMessageGeneric m;
    m.setStartOfFrame(WdxMessageGeneric::kStartOfFrame);
    m.setCommandType(cmd);
    m.setOperationCode(op);
    m.setData(QRawData(data));
    return m;
}

int gainWrites(int gain = -1)
{
    int n = 0;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, 0x01, kGainsOp, kAllOutputs)) {
        if (gain < 0 || (e.data.size() == 4 && e.data[1] == gain))
            ++n;
    }
    return n;
}

void silenceDevice(bool silent)
{
    V::Faults f;
    f.dropReply = silent ? 1.0 : 0.0;
    V::setFaults(f);
}

bool waitStatus(WdxRequest *request, WdxRequest::RequestStatus status)
{
    return QTest::qWaitFor([=] { return request->status() == status; }, kWait);
}

} // namespace

class TestRequestProcessor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestStatusSignalsAndWaiting();
    void equalWritesMergeToTheLastValue();
    void equalReadsMergeSilentlyAndPrioritiesStayApart();
    void higherPrioritiesAreWrittenFirst();
    void bufferHoldsFiveThousandWaitingRequests();
    void noReplyCompletesOnWrite();
    void silentDeviceRetriesThenTimesOut();
    void staleRetryDoesNotOverwriteNewerWrite();
    void errorBitAnswerCompletes();
    void answerWithOtherOpIsUnexpected();
    void executeRequest();
    void stopReleasesExecuteRequest();
    void postsAfterStopAreRefused();
    void writesAreSpacedByTheInterval();
    void connectionFlagAndNotSent();
    void shortWriteIsACommunicationError();
    void monitorErrorFailsTheRequestInFlight();
    void pauseAndResumeReachTheMonitor();
    void pinNeverReachesTheLogs();

private:
    QTemporaryDir m_logBase;
};

void TestRequestProcessor::initTestCase()
{
    QVERIFY(m_logBase.isValid());
    // Before any module registers: every writer then accepts Trace.
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
    QLogger::QLoggerManager::setBasePath(m_logBase.path());
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
}

void TestRequestProcessor::init()
{
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
    V::reset();
    V::plug();
}

void TestRequestProcessor::requestStatusSignalsAndWaiting()
{
    const WdxMessageGeneric message = readOutputGainsMessage();
    WdxRequest request(message);
    QCOMPARE(request.requestFrame(), WdxMessageGeneric::buildFrame(message));
    QCOMPARE(request.status(), WdxRequest::Idle);
    QCOMPARE(request.statusText(), QStringLiteral("Idle"));
    QCOMPARE(WdxRequest::statusText(WdxRequest::NotSent), QStringLiteral("Not Sent"));
    QCOMPARE(WdxRequest::statusText(WdxRequest::ErrorWriting), QStringLiteral("Error writing"));
    QCOMPARE(WdxRequest::statusText(WdxRequest::CommunicationError), QStringLiteral("Communication error"));
    QVERIFY(WdxRequest::statusText(WdxRequest::Completed).isEmpty());

    request.setRequestMessage(writeOutputGainsMessage({1, 2, 3}));
    QCOMPARE(request.requestFrame(), writeOutputGainsFrame({1, 2, 3}));

    int posted = 0, written = 0, completed = 0;
    connect(&request, &WdxRequest::posted, this, [&] { ++posted; });
    connect(&request, &WdxRequest::written, this, [&] { ++written; });
    connect(&request, &WdxRequest::completed, this, [&] { ++completed; });
    request.setStatus(WdxRequest::Merged);
    request.setStatus(WdxRequest::Posted);
    request.setStatus(WdxRequest::Written);
    QCOMPARE(posted, 1);
    QCOMPARE(written, 1);
    QCOMPARE(completed, 0);
    QVERIFY(!request.isCompleted());
    QVERIFY(request.completedTime().isNull());

    // A waiter on another thread is released by the final status, and only then.
    std::atomic<bool> released{false};
    std::thread waiter([&] {
        request.waitForCompletion();
        released = true;
    });
    QTest::qWait(50);
    QVERIFY(!released);
    request.setReplyMessage(rawMessage(0xC1, kGainsOp, QByteArray::fromHex("40")));
    request.setStatus(WdxRequest::Timeout);
    waiter.join();
    QVERIFY(released);
    QCOMPARE(completed, 1);
    QVERIFY(request.isCompleted());
    QVERIFY(request.completedTime().isValid());
    QCOMPARE(request.completedTime().timeSpec(), Qt::UTC);
    QVERIFY(request.replyMessage().hasError());
    QCOMPARE(request.replyFrame(), WdxMessageGeneric::buildFrame(request.replyMessage()));
    // A finished request does not block.
    request.waitForCompletion();
}

void TestRequestProcessor::equalWritesMergeToTheLastValue()
{
    Engine engine(400);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    WdxRequest *blocker = tracker.make(readOutputDelaysMessage());
    QVERIFY(engine.processor->postRequest(blocker, 0));
    QVERIFY(waitStatus(blocker, WdxRequest::Written));

    LogWatch log;
    WdxRequest *first = tracker.make(writeOutputGainsMessage({10, 10, 10}));
    WdxRequest *second = tracker.make(writeOutputGainsMessage({20, 20, 20}));
    WdxRequest *third = tracker.make(writeOutputGainsMessage({30, 31, 32}));
    QVERIFY(engine.processor->postRequest(first, 2));
    QVERIFY(engine.processor->postRequest(second, 2));
    QVERIFY(engine.processor->postRequest(third, 2));
    QCOMPARE(second->status(), WdxRequest::Merged);
    QCOMPARE(third->status(), WdxRequest::Merged);
    QCOMPARE(engine.processor->waitingCount(), 1);
    // The waiting request now carries the newest data, frame included.
    QCOMPARE(first->requestFrame(), writeOutputGainsFrame({30, 31, 32}));
    const QStringList merging = log.lines(QStringLiteral("Merging request, changing data from "));
    QCOMPARE(merging.size(), 2);
    QVERIFY(merging[0].contains(QStringLiteral("[WdxRequestProcessor][enqueueRequest]")));
    QVERIFY(merging[0].endsWith(QStringLiteral("Merging request, changing data from 400a0a0a to 40141414")));
    QVERIFY(merging[1].endsWith(QStringLiteral("Merging request, changing data from 40141414 to 401e1f20")));
    delete second;
    delete third;

    silenceDevice(false);
    QVERIFY(waitStatus(first, WdxRequest::Completed));
    QCOMPARE(blocker->status(), WdxRequest::Timeout);
    QCOMPARE(gainWrites(), 1);
    QCOMPARE(gainWrites(30), 1);
    const auto outputs = V::state().outputGains;
    QCOMPARE(int(outputs[0]), 30);
    QCOMPARE(int(outputs[2]), 32);
    QTRY_COMPARE(tracker.count(first), 1);
    QCOMPARE(tracker.count(blocker), 1);
    QCOMPARE(tracker.completions.size(), 2);
}

void TestRequestProcessor::equalReadsMergeSilentlyAndPrioritiesStayApart()
{
    Engine engine(300);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    WdxRequest *blocker = tracker.make(readOutputDelaysMessage());
    QVERIFY(engine.processor->postRequest(blocker, 0));
    QVERIFY(waitStatus(blocker, WdxRequest::Written));

    LogWatch log;
    WdxRequest *read1 = tracker.make(readOutputGainsMessage());
    WdxRequest *read2 = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(read1, 0));
    QVERIFY(engine.processor->postRequest(read2, 0));
    QCOMPARE(read2->status(), WdxRequest::Merged);
    delete read2;
    // Same item, different priorities: both wait.
    WdxRequest *writeHigh = tracker.make(writeOutputGainsMessage({40, 40, 40}));
    WdxRequest *writeLow = tracker.make(writeOutputGainsMessage({50, 50, 50}));
    QVERIFY(engine.processor->postRequest(writeHigh, 2));
    QVERIFY(engine.processor->postRequest(writeLow, 1));
    QCOMPARE(writeLow->status(), WdxRequest::Idle);
    QCOMPARE(engine.processor->waitingCount(), 3);
    QVERIFY(log.lines(QStringLiteral("Merging request")).isEmpty());

    silenceDevice(false);
    QVERIFY(waitStatus(read1, WdxRequest::Completed));
    QCOMPARE(writeHigh->status(), WdxRequest::Completed);
    QCOMPARE(writeLow->status(), WdxRequest::Completed);
    QCOMPARE(V::frames(V::Direction::ToDevice, 0x00, kGainsOp, kAllOutputs).size(), size_t(1));
    QCOMPARE(gainWrites(40), 1);
    QCOMPARE(gainWrites(50), 1);
    // Priority 2 before 1 before 0: the device keeps the value of the priority 1 write, and the
    // read saw it.
    QCOMPARE(int(V::state().outputGains[1]), 50);
    QCOMPARE(read1->replyMessage().data(), QRawData(QByteArray::fromHex("40323232")));
}

void TestRequestProcessor::higherPrioritiesAreWrittenFirst()
{
    Engine engine(300);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    WdxRequest *blocker = tracker.make(readMainStatusMessage());
    QVERIFY(engine.processor->postRequest(blocker, 0));
    QVERIFY(waitStatus(blocker, WdxRequest::Written));

    WdxRequest *read0 = tracker.make(readOutputDelaysMessage());
    WdxRequest *write2 = tracker.make(writeOutputGainsMessage({12, 12, 12}));
    WdxRequest *exec3 = tracker.make(readDeviceInfoMessage(enDeviceInfo_DeviceName));
    WdxRequest *read0b = tracker.make(readInputDelaysMessage());
    read0b->setPriority(0);
    write2->setPriority(2);
    QVERIFY(engine.processor->postRequest(read0, 0));
    QVERIFY(engine.processor->postRequest(write2));
    QVERIFY(engine.processor->postRequest(exec3, 3));
    QVERIFY(engine.processor->postRequest(read0b));
    V::clearLogs();
    silenceDevice(false);
    QVERIFY(waitStatus(read0b, WdxRequest::Completed));

    QList<quint8> order;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice))
        order << e.op;
    // Device Info (3), Gain write (2), then the reads in posting order.
    QCOMPARE(order, (QList<quint8>{0x01, kGainsOp, 0x04, 0x04}));
    const auto toDevice = V::frames(V::Direction::ToDevice);
    QCOMPARE(int(toDevice[2].data[0]), 0x40); // output delays before input delays
    QCOMPARE(int(toDevice[3].data[0]), 0x20);
}

void TestRequestProcessor::bufferHoldsFiveThousandWaitingRequests()
{
    // Never started: everything posted stays waiting.
    WdxRequestProcessor processor(false);
    QObject owner;
    LogWatch log;
    auto make = [&](int i) {
        // Distinct by OP and first DATA byte, so that nothing merges.
        return new WdxRequest(rawMessage(0x00, quint8(i / 200), QByteArray(1, char(i % 200))), &owner);
    };
    for (int i = 0; i < 10; ++i)
        QVERIFY(processor.postRequest(make(i), 3));
    for (int i = 0; i < WdxRequestProcessor::kMaxWaitingRequests; ++i)
        QVERIFY2(processor.postRequest(make(10 + i), quint8(i % 3)), qPrintable(QString::number(i)));
    QCOMPARE(processor.waitingCount(), 5010);
    QVERIFY(log.lines(QStringLiteral("Request buffer is full")).isEmpty());

    WdxRequest *refused = make(6000);
    QVERIFY(!processor.postRequest(refused, 0));
    QVERIFY(!processor.postRequest(refused, 3));
    QCOMPARE(refused->status(), WdxRequest::Idle);
    QCOMPARE(processor.waitingCount(), 5010);
    const QStringList full = log.lines(QStringLiteral("Request buffer is full"));
    QCOMPARE(full.size(), 2);
    QVERIFY(full[0].contains(QStringLiteral("[Error][")));
    QVERIFY(full[0].contains(QStringLiteral("[WdxRequestProcessor][postRequest]")));

    processor.clearAllQueues();
    QCOMPARE(processor.waitingCount(), 0);
    QVERIFY(processor.postRequest(refused, 0));
}

void TestRequestProcessor::noReplyCompletesOnWrite()
{
    // A reply timeout far beyond the wait proves that nothing waits for an answer.
    Engine engine(60000);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    WdxRequest *request = tracker.make(readOutputGainsMessage());
    request->setNoReply(true);
    QVERIFY(engine.processor->postRequest(request, 0));
    QVERIFY(waitStatus(request, WdxRequest::Completed));
    QVERIFY(!request->replyMessage().isValid());
    QVERIFY(request->sentTime().isValid());
    QVERIFY(request->completedTime() >= request->sentTime());
    // The machine moved on at once.
    WdxRequest *next = tracker.make(readOutputDelaysMessage());
    next->setNoReply(true);
    QVERIFY(engine.processor->postRequest(next, 0));
    QVERIFY(waitStatus(next, WdxRequest::Completed));
    QTRY_COMPARE(tracker.count(request), 1);
}

void TestRequestProcessor::silentDeviceRetriesThenTimesOut()
{
    Engine engine(100);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    LogWatch log;
    WdxRequest *request = tracker.make(readOutputGainsMessage());
    request->setMaxRetry(2);
    int written = 0;
    connect(request, &WdxRequest::written, this, [&] { ++written; });
    QVERIFY(engine.processor->postRequest(request, 0));
    QVERIFY(waitStatus(request, WdxRequest::Timeout));
    QTRY_COMPARE(tracker.count(request), 1);
    QCOMPARE(request->retryCount(), 2);
    QCOMPARE(V::frames(V::Direction::ToDevice, 0x00, kGainsOp).size(), size_t(3));
    QTRY_COMPARE(written, 3);
    QCOMPARE(log.lines(QStringLiteral("<-- TIMEOUT")).size(), 3);
    QCOMPARE(log.lines(QStringLiteral("Retrying failed request")).size(), 2);
    QVERIFY(log.lines(QStringLiteral("<-- TIMEOUT"))[0].contains(QStringLiteral("[Error][")));
    // Never retried, never completed again.
    QTest::qWait(300);
    QCOMPARE(tracker.count(request), 1);
    QCOMPARE(V::frames(V::Direction::ToDevice, 0x00, kGainsOp).size(), size_t(3));
}

void TestRequestProcessor::staleRetryDoesNotOverwriteNewerWrite()
{
    Engine engine(200);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    LogWatch log;
    WdxRequest *old = tracker.make(writeOutputGainsMessage({10, 10, 10}));
    old->setMaxRetry(3);
    old->setPriority(2);
    QVERIFY(engine.processor->postRequest(old));
    QVERIFY(waitStatus(old, WdxRequest::Written));
    WdxRequest *newer = tracker.make(writeOutputGainsMessage({20, 20, 20}));
    QVERIFY(engine.processor->postRequest(newer, 2));
    QCOMPARE(newer->status(), WdxRequest::Idle);
    silenceDevice(false);

    QVERIFY(waitStatus(newer, WdxRequest::Completed));
    QCOMPARE(old->status(), WdxRequest::Timeout);
    QCOMPARE(newer->requestFrame(), writeOutputGainsFrame({20, 20, 20}));
    QCOMPARE(gainWrites(10), 1);
    QCOMPARE(gainWrites(20), 1);
    QCOMPARE(int(V::state().outputGains[0]), 20);
    QCOMPARE(log.lines(QStringLiteral("Error on retry")).size(), 1);
    QTRY_COMPARE(tracker.count(old), 1);
    QTRY_COMPARE(tracker.count(newer), 1);
}

void TestRequestProcessor::errorBitAnswerCompletes()
{
    Engine engine;
    QVERIFY(engine.start());
    Tracker tracker;
    V::Faults f;
    f.errorBit = 1.0;
    V::setFaults(f);
    WdxRequest *request = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(request, 0));
    QVERIFY(waitStatus(request, WdxRequest::Completed));
    const WdxMessageGeneric reply = request->replyMessage();
    QVERIFY(reply.isValid());
    QVERIFY(reply.hasError());
    QCOMPARE(reply.operationCode(), kGainsOp);
    QCOMPARE(request->replyFrame(), WdxMessageGeneric::buildFrame(reply));
    QTRY_COMPARE(tracker.count(request), 1);
}

void TestRequestProcessor::answerWithOtherOpIsUnexpected()
{
    Engine engine(400);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    LogWatch log;
    WdxRequest *request = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(request, 0));
    QVERIFY(waitStatus(request, WdxRequest::Written));
    // Same access kind, another OP (Delay Settings).
    V::injectFromDevice(V::frame(0x80, 0x04, {0x40, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03}));
    QVERIFY(waitStatus(request, WdxRequest::Timeout));
    QVERIFY(!request->replyMessage().isValid());
    const QStringList received = log.lines(QStringLiteral("Message received, "));
    QCOMPARE(received.size(), 1);
    QVERIFY(received[0].contains(QStringLiteral("[Info][")));
    QVERIFY(received[0].contains(QStringLiteral("[onMessageArrived] Message received, CMD[80](")));
    QVERIFY(received[0].contains(QStringLiteral("OP_CODE[04](")));
    QVERIFY(received[0].endsWith(QStringLiteral(", DATA:[000100020003](000100020003)")));
    const QStringList unexpected = log.lines(QStringLiteral("Unexpected message"));
    QCOMPARE(unexpected.size(), 1);
    QVERIFY(unexpected[0].contains(QStringLiteral("[Warning][")));
}

void TestRequestProcessor::executeRequest()
{
    Engine engine(300);
    QVERIFY(engine.start());
    Tracker tracker;

    WdxRequest *sync = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->executeRequest(sync));
    QCOMPARE(sync->status(), WdxRequest::Completed);
    QCOMPARE(sync->replyMessage().data(), QRawData(QByteArray::fromHex("40242424")));

    silenceDevice(true);
    WdxRequest *blocker = tracker.make(readOutputDelaysMessage());
    QVERIFY(engine.processor->postRequest(blocker, 0));
    QVERIFY(waitStatus(blocker, WdxRequest::Written));
    WdxRequest *waiting = tracker.make(readDeviceInfoMessage(enDeviceInfo_DeviceName));
    QVERIFY(engine.processor->postRequest(waiting, 3));
    WdxRequest *equal = tracker.make(readDeviceInfoMessage(enDeviceInfo_DeviceName));
    QVERIFY(!engine.processor->executeRequest(equal));
    QCOMPARE(equal->status(), WdxRequest::NotSent);
    silenceDevice(false);
    QVERIFY(waitStatus(waiting, WdxRequest::Completed));
    QCOMPARE(V::frames(V::Direction::ToDevice, 0x00, 0x01, enDeviceInfo_DeviceName).size(), size_t(1));
}

void TestRequestProcessor::stopReleasesExecuteRequest()
{
    Engine engine(60000);
    QVERIFY(engine.start());
    silenceDevice(true);
    WdxRequest request(readOutputGainsMessage());
    WdxRequest queued(readOutputDelaysMessage());
    QTimer::singleShot(200, this, [&] {
        QVERIFY(engine.processor->postRequest(&queued, 0));
        engine.stop();
    });
    QVERIFY(!engine.processor->executeRequest(&request));
    QCOMPARE(request.status(), WdxRequest::Written);
    QVERIFY(!engine.running);
    QVERIFY(!engine.worker.isRunning());
    // Stopping cleared the queue: the waiting request never completes.
    QCOMPARE(engine.processor->waitingCount(), 0);
    QCOMPARE(queued.status(), WdxRequest::Idle);
    QVERIFY(engine.processor->monitor() == nullptr);
}

// The firmware worker sending its next block while the application quits: once stopped, the
// processor takes nothing more, and a synchronous caller on another thread gets its answer at
// once instead of waiting for a machine that is gone.
void TestRequestProcessor::postsAfterStopAreRefused()
{
    Engine engine;
    QVERIFY(engine.start());
    engine.stop();
    QVERIFY(!engine.worker.isRunning());
    // Nothing can be sent any more: the sub-controllers must not keep posting.
    QVERIFY(!engine.processor->isConnected());

    Tracker tracker;
    WdxRequest *posted = tracker.make(readOutputGainsMessage());
    QVERIFY(!engine.processor->postRequest(posted, 0));
    QCOMPARE(posted->status(), WdxRequest::NotSent);
    WdxRequest *own = tracker.make(readOutputDelaysMessage());
    own->setPriority(2);
    QVERIFY(!engine.processor->postRequest(own));
    QCOMPARE(own->status(), WdxRequest::NotSent);
    QCOMPARE(engine.processor->waitingCount(), 0);

    WdxRequest *executed = tracker.make(readDeviceInfoMessage(enDeviceInfo_DeviceName));
    std::atomic<int> result{-1};
    std::thread caller([&] { result.store(engine.processor->executeRequest(executed) ? 1 : 0); });
    const bool returned = QTest::qWaitFor([&] { return result.load() >= 0; }, kWait);
    // Release a caller that was let in, so that the test ends either way.
    if (!returned)
        executed->setStatus(WdxRequest::Timeout);
    caller.join();
    QVERIFY(returned);
    QCOMPARE(result.load(), 0);
    QCOMPARE(executed->status(), WdxRequest::NotSent);
    QCOMPARE(engine.processor->waitingCount(), 0);
}

void TestRequestProcessor::writesAreSpacedByTheInterval()
{
    V::setTiming(V::Timing::instant());
    Engine engine(250, 10);
    QVERIFY(engine.start());
    Tracker tracker;
    QList<WdxRequest *> requests;
    // Distinct reads (Device Info names of inputs and outputs), so that none merges.
    for (int i = 0; i < 20; ++i)
        requests << tracker.make(readDeviceInfoMessage(quint8((i < 10 ? 0x20 : 0x36) + i)));
    V::clearLogs();
    for (WdxRequest *r : qAsConst(requests))
        engine.processor->postRequest(r, 0);
    QVERIFY(QTest::qWaitFor([&] { return requests.last()->isCompleted(); }, kWait));
    const auto sent = V::frames(V::Direction::ToDevice);
    QCOMPARE(sent.size(), size_t(20));
    using ms = std::chrono::duration<double, std::milli>;
    // Spacing is measured on the processor's thread from dequeue to dequeue; the wire sees it
    // plus the jitter of the path to the device, so allow some slack per gap and little over
    // the whole run.
    for (size_t i = 1; i < sent.size(); ++i) {
        const double gap = ms(sent[i].begin - sent[i - 1].begin).count();
        QVERIFY2(gap >= 10.0 - 4.0, qPrintable(QStringLiteral("gap %1 ms before write %2").arg(gap).arg(i)));
    }
    const double span = ms(sent.back().begin - sent.front().begin).count();
    QVERIFY2(span >= 10.0 * double(sent.size() - 1) - 4.0, qPrintable(QString::number(span)));
}

void TestRequestProcessor::connectionFlagAndNotSent()
{
    Engine engine(200);
    int connected = 0, disconnected = 0;
    connect(engine.processor, &WdxRequestProcessor::wdxConnected, this, [&] { ++connected; });
    connect(engine.processor, &WdxRequestProcessor::wdxDisconnected, this, [&] { ++disconnected; });
    V::unplug();
    LogWatch log;
    QVERIFY(engine.start(false));
    QTest::qWait(300);
    QVERIFY(!engine.processor->isConnected());
    Tracker tracker;
    WdxRequest *lost = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(lost, 0));
    QVERIFY(waitStatus(lost, WdxRequest::NotSent));
    QVERIFY(!log.lines(QStringLiteral("[onWriteRequestEntered] Not connected")).isEmpty());

    V::plug();
    QTRY_VERIFY_WITH_TIMEOUT(engine.processor->isConnected(), kWait);
    QTRY_COMPARE(connected, 1);
    QVERIFY(!log.lines(QStringLiteral("[WdxRequestProcessor][onWdxConnected] Wdx connected")).isEmpty());
    WdxRequest *served = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(served, 0));
    QVERIFY(waitStatus(served, WdxRequest::Completed));

    V::unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!engine.processor->isConnected(), kWait);
    QTRY_COMPARE(disconnected, 1);
    QVERIFY(!log.lines(QStringLiteral("[WdxRequestProcessor][onWdxDisconnected] Wdx disconnected")).isEmpty());
    QTRY_COMPARE(tracker.count(lost), 1);
    QTRY_COMPARE(tracker.count(served), 1);
}

void TestRequestProcessor::shortWriteIsACommunicationError()
{
    Engine engine(300);
    QVERIFY(engine.start());
    Tracker tracker;
    LogWatch log;
    V::Faults f;
    f.shortWrites = 1;
    V::setFaults(f);
    WdxRequest *broken = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(broken, 0));
    QVERIFY(waitStatus(broken, WdxRequest::CommunicationError));
    QVERIFY(!log.lines(QStringLiteral("[onWriteRequestEntered] Error writing")).isEmpty());
    // The bridge's error reaches the machine too; it recovers and serves the next request.
    QTRY_VERIFY_WITH_TIMEOUT(!log.lines(QStringLiteral("[onErrorEntered] Communication error")).isEmpty(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(engine.processor->isConnected(), kWait);
    WdxRequest *next = tracker.make(readOutputDelaysMessage());
    next->setMaxRetry(1);
    QVERIFY(engine.processor->postRequest(next, 0));
    QVERIFY(QTest::qWaitFor([&] { return next->isCompleted(); }, kWait));
    QCOMPARE(next->status(), WdxRequest::Completed);
    QTRY_COMPARE(tracker.count(broken), 1);
}

void TestRequestProcessor::monitorErrorFailsTheRequestInFlight()
{
    Engine engine(300);
    QVERIFY(engine.start());
    Tracker tracker;
    silenceDevice(true);
    LogWatch log;
    WdxRequest *inFlight = tracker.make(readOutputGainsMessage());
    inFlight->setMaxRetry(2);
    QVERIFY(engine.processor->postRequest(inFlight, 0));
    QVERIFY(waitStatus(inFlight, WdxRequest::Written));
    // The bridge reports an error, as the driver does through the monitor.
    QMetaObject::invokeMethod(engine.processor->monitor(), "onError");
    QVERIFY(waitStatus(inFlight, WdxRequest::CommunicationError));
    QVERIFY(!log.lines(QStringLiteral("[Error][")).filter(QStringLiteral("[onErrorEntered] Communication error")).isEmpty());
    // The reply timer was left running; its late time-out changes nothing.
    QTest::qWait(400);
    QCOMPARE(inFlight->status(), WdxRequest::CommunicationError);
    QCOMPARE(V::frames(V::Direction::ToDevice, 0x00, kGainsOp).size(), size_t(1));
    QTRY_COMPARE(tracker.count(inFlight), 1);

    silenceDevice(false);
    WdxRequest *next = tracker.make(readOutputGainsMessage());
    QVERIFY(engine.processor->postRequest(next, 0));
    QVERIFY(waitStatus(next, WdxRequest::Completed));
    QCOMPARE(tracker.count(inFlight), 1);
}

void TestRequestProcessor::pauseAndResumeReachTheMonitor()
{
    Engine engine;
    int disconnected = 0;
    connect(engine.processor, &WdxRequestProcessor::wdxDisconnected, this, [&] { ++disconnected; });
    QVERIFY(engine.start());
    engine.processor->pause();
    QTRY_VERIFY_WITH_TIMEOUT(!engine.processor->isConnected(), kWait);
    QTRY_COMPARE(disconnected, 1);
    // Paused: no connection checks, the bridge stays closed although it is plugged.
    QTest::qWait(600);
    QVERIFY(!engine.processor->isConnected());
    QCOMPARE(V::status().openHandles, 0);
    engine.processor->resume();
    QTRY_VERIFY_WITH_TIMEOUT(engine.processor->isConnected(), kWait);
}

void TestRequestProcessor::pinNeverReachesTheLogs()
{
    const QString pin = QStringLiteral("4821");
    const QStringList forms = {pin, QStringLiteral("34383231"), QStringLiteral("34 38 32 31")};
    V::update([](V::DeviceState &s) {
        s.pin = "4821";
        s.locked = true;
    });
    Engine engine(300);
    QVERIFY(engine.start());
    Tracker tracker;

    // At the application's default level every log file stays clean.
    {
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);
        LogWatch log;
        WdxRequest *unlock = tracker.make(unlockMessage(pin));
        unlock->setMaxRetry(3);
        QVERIFY(engine.processor->executeRequest(unlock));
        QCOMPARE(unlock->status(), WdxRequest::Completed);
        QCOMPARE(unlock->replyMessage().data(), QRawData(QByteArray::fromHex("0001")));
        QVERIFY(!V::state().locked);
        const QString text = log.text();
        for (const QString &form : forms)
            QVERIFY2(!text.contains(form, Qt::CaseInsensitive), qPrintable(form));
        const QStringList sending = log.lines(QStringLiteral("Sending request, CMD[01]"));
        QCOMPARE(sending.size(), 1);
        QVERIFY(sending[0].contains(QStringLiteral("[Info][")));
        QVERIFY2(sending[0].contains(QStringLiteral("OP_CODE[09](")), qPrintable(sending[0]));
        QVERIFY2(sending[0].endsWith(QStringLiteral(", DATA_0[00](), DATA:[04********](04****)")), qPrintable(sending[0]));
    }

    // At Trace the processor's own lines, the frame dump and a merge included, stay masked.
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
    LogWatch log;
    silenceDevice(true);
    WdxRequest *blocker = tracker.make(readOutputDelaysMessage());
    QVERIFY(engine.processor->postRequest(blocker, 0));
    QVERIFY(waitStatus(blocker, WdxRequest::Written));
    WdxRequest *lock1 = tracker.make(lockMessage(QStringLiteral("9999")));
    WdxRequest *lock2 = tracker.make(lockMessage(pin));
    QVERIFY(engine.processor->postRequest(lock1, 2));
    QVERIFY(engine.processor->postRequest(lock2, 2));
    QCOMPARE(lock2->status(), WdxRequest::Merged);
    silenceDevice(false);
    QVERIFY(waitStatus(lock1, WdxRequest::Completed));
    QVERIFY(V::state().locked);
    QCOMPARE(V::state().pin, std::string("4821"));

    const QStringList own = log.lines(QStringLiteral("[WdxRequestProcessor]"));
    QVERIFY(!own.isEmpty());
    for (const QString &line : own) {
        for (const QString &form : forms)
            QVERIFY2(!line.contains(form, Qt::CaseInsensitive), qPrintable(line));
        QVERIFY2(!line.contains(QStringLiteral("39393939")), qPrintable(line));
    }
    QVERIFY(!log.lines(QStringLiteral("Merging request, changing data from 0104******** to 0104********")).isEmpty());
    const QStringList dumps = log.lines(QStringLiteral("[onWriteRequestEntered] --> 55000801090104"));
    QCOMPARE(dumps.size(), 1);
    QVERIFY2(dumps[0].endsWith(QStringLiteral("--> 55000801090104************")), qPrintable(dumps[0]));
    // Everything else is dumped in full.
    QVERIFY(!log.lines(QStringLiteral("--> ") + readOutputDelaysFrame().toHex()).isEmpty());

    // Nor does any other module's line carry it: the bridge driver's report dump is masked too.
    const QString text = log.text();
    for (const QString &form : forms)
        QVERIFY2(!text.contains(form, Qt::CaseInsensitive), qPrintable(form));
    QVERIFY(!log.lines(QStringLiteral("[UsbHidUart][write] --> [0d****")).isEmpty());
}

VELA_TEST_MAIN_CORE(TestRequestProcessor)
#include "tst_requestprocessor.moc"
