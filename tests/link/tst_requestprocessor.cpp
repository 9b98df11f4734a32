// The request processor against the virtual Wdx, on a worker thread as the device controller runs it.

#include "LinkRig.h"

#include "protocol/WdxRequestBuilder.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>

using namespace WdxRequestBuilder;

namespace {

constexpr int kWait = 15000;
constexpr quint8 kGainsOp = 0x03;

WdxMessageGeneric rawMessage(quint8 cmd, quint8 op, const QByteArray &data)
{
    WdxMessageGeneric m;
    m.setStartOfFrame(0x55);
    m.setCommandType(cmd);
    m.setOperationCode(op);
    m.setData(QRawData(data));
    return m;
}

// The frames that reached the device: "op" each, or the DATA of those with `op`.
QStringList sent(int op = -1)
{
    QStringList out;
    for (const WireEntry &e : frames(Direction::ToDevice, -1, op))
        out << (op < 0 ? QString::number(e.op) : hexOf(e.data));
    return out;
}

void silenceDevice(bool silent)
{
    setFaults([&] { Faults f; f.dropReply = silent ? 1.0 : 0.0; return f; }());
}

bool waitStatus(WdxRequest *request, WdxRequest::RequestStatus status)
{
    return QTest::qWaitFor([=] { return request->status() == status; }, kWait);
}

int lines(const QString &level, const QString &function, const QString &message)
{
    return logs().count(level, QStringLiteral("WdxRequestProcessor"), function, message);
}

// A request in flight to the silenced device, so that whatever is posted next waits.
WdxRequest *blockWith(Engine &engine, const WdxMessageGeneric &message, int maxRetry = 0)
{
    silenceDevice(true);
    WdxRequest *blocker = engine.make(message, maxRetry);
    const bool ok = engine.processor->postRequest(blocker, 0) && waitStatus(blocker, WdxRequest::Written);
    return ok ? blocker : nullptr;
}

} // namespace

class TestRequestProcessor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { logs().install(); }
    void init()
    {
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
        reset();
        plug();
        logs().clear();
    }

    void requestStatusSignalsAndWaiting()
    {
        WdxRequest request(readOutputGainsMessage());
        const QStringList texts{"Idle", "Queued", "Merged", "Posted", "Written", "", "Timeout", "Error writing",
                                "Communication error", "Not Sent"};
        for (int s = 0; s < texts.size(); ++s)
            QCOMPARE(WdxRequest::statusText(WdxRequest::RequestStatus(s)), texts[s]);
        QSignalSpy posted(&request, &WdxRequest::posted), written(&request, &WdxRequest::written),
            completed(&request, &WdxRequest::completed);
        for (auto s : {WdxRequest::Merged, WdxRequest::Posted, WdxRequest::Written})
            request.setStatus(s);
        QCOMPARE(QList<int>({posted.count(), written.count(), completed.count(), request.isCompleted(),
                             request.completedTime().isNull()}), QList<int>({1, 1, 0, 0, 1}));
        request.setReplyMessage(rawMessage(0xC1, kGainsOp, QByteArray::fromHex("40")));
        request.setStatus(WdxRequest::Timeout);
        request.waitForCompletion();   // a finished request does not block
        QVERIFY(completed.count() == 1 && request.completedTime().timeSpec() == Qt::UTC);
        QCOMPARE(request.replyFrame().toHex(), QStringLiteral("550003c10340fea4"));
    }

    // Equal requests merge at the same priority only, a write taking the newest data; served 3, 2, 1,
    // 0, and the writes spaced by the interval (on the wire, less the path's jitter).
    void mergingAndPriorities()
    {
        Engine engine(300);
        QVERIFY(engine.start());
        QVERIFY(blockWith(engine, readMainStatusMessage()));
        QList<WdxRequest *> posts;
        QList<int> statuses;
        for (const auto &p : QList<QPair<WdxMessageGeneric, int>>{
                 {readOutputDelaysMessage(), 0}, {writeOutputGainsMessage({10, 10, 10}), 2},
                 {writeOutputGainsMessage({20, 20, 20}), 2}, {writeOutputGainsMessage({30, 31, 32}), 2},
                 {readOutputDelaysMessage(), 0}, {writeOutputGainsMessage({50, 50, 50}), 1},
                 {readDeviceInfoMessage(enDeviceInfo_DeviceName), 3}, {readInputDelaysMessage(), 0}}) {
            posts << engine.make(p.first);
            QVERIFY(engine.processor->postRequest(posts.last(), quint8(p.second)));
            statuses << posts.last()->status();
        }
        QCOMPARE(statuses, (QList<int>{0, 0, 2, 2, 2, 0, 0, 0}));
        QCOMPARE(engine.processor->waitingCount(), 5);
        QCOMPARE(posts[1]->requestFrame(), writeOutputGainsFrame({30, 31, 32}));
        QCOMPARE(logs().containing("Merging request"), (QStringList{"Merging request, changing data from 400a0a0a to 40141414",
                                                                    "Merging request, changing data from 40141414 to 401e1f20"}));
        QCOMPARE(lines("Trace", "enqueueRequest", "Merging request, changing data from 40141414 to 401e1f20"), 1);
        clearLogs();
        silenceDevice(false);
        QVERIFY(waitStatus(posts.last(), WdxRequest::Completed));
        QCOMPARE(sent(), (QStringList{"1", "3", "3", "4", "4"}));
        QCOMPARE(sent(kGainsOp), (QStringList{"401e1f20", "40323232"}));
        QCOMPARE(sent(0x04), (QStringList{"40", "20"}));
        QTRY_COMPARE(engine.completions.size(), 6);   // merged posts never complete
        const auto wire = frames(Direction::ToDevice);
        for (size_t i = 1; i < wire.size(); ++i)
            QVERIFY(wire[i].begin - wire[i - 1].begin >= std::chrono::milliseconds(6));
        QVERIFY(wire.back().begin - wire.front().begin >= std::chrono::milliseconds(36));
    }

    // Posts, the retry of a timed-out request among them, are refused once 5000 of priorities 0-2 wait.
    void bufferHoldsFiveThousandWaitingRequests_data()
    {
        QTest::addColumn<int>("waiting");
        QTest::newRow("4999 waiting") << 4999;
        QTest::newRow("5000 waiting") << 5000;
    }
    void bufferHoldsFiveThousandWaitingRequests()
    {
        QFETCH(int, waiting);
        const bool full = waiting == 5000;
        QObject owner;   // outlives the processor
        Engine engine(60000);
        QVERIFY(engine.start());
        WdxRequest *request = blockWith(engine, readOutputGainsMessage(), 1);
        QVERIFY(request);
        auto post = [&](int i, int priority) {   // distinct by OP and first DATA byte: nothing merges
            auto *r = new WdxRequest(rawMessage(0x00, quint8(0x10 + i / 200), QByteArray(1, char(i % 200))), &owner);
            return engine.processor->postRequest(r, quint8(priority)) ? r->status() : -1;
        };
        for (int i = 0; i < 3; ++i)
            QCOMPARE(post(6000 + i, 3), 0);   // not counted
        for (int i = 0; i < waiting; ++i)
            QCOMPARE(post(i, i % 3), 0);
        QCOMPARE(post(7000, 3), full ? -1 : 0);
        QCOMPARE(lines("Error", "postRequest", "Request buffer is full"), int(full));
        auto *timer = engine.processor->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        QMetaObject::invokeMethod(timer, [timer] { timer->start(0); });   // the reply time-out, now
        QTRY_COMPARE(lines("Debug", "onTimeoutEntered", "Retrying failed request"), 1);
        QTRY_COMPARE(engine.processor->waitingCount(), full ? 5002 : 5003);   // one priority 3 in flight
        QCOMPARE(lines("Error", "onTimeoutEntered", "Error on retry"), int(full));
        QCOMPARE(lines("Error", "postRequest", "Request buffer is full"), 2 * int(full));
        QCOMPARE(request->status(), full ? WdxRequest::Timeout : WdxRequest::Written);
        QTRY_COMPARE(engine.count(request), int(full));
        engine.processor->clearAllQueues();
        QCOMPARE(engine.processor->waitingCount(), 0);
    }

    // Written again up to maxRetry times, from the list of its own priority whatever it was posted
    // at; but not over an equal newer write waiting there, with the older data.
    void retriesTakeTheRequestsOwnPriority_data()
    {
        QTest::addColumn<int>("own");
        QTest::addColumn<int>("postedAt");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QStringList>("ops");
        QTest::newRow("own 0, posted at 2") << 0 << 2 << false << QStringList{"3", "4", "3", "3"};
        QTest::newRow("own 2, posted at 0") << 2 << 0 << false << QStringList{"3", "3", "3", "4"};
        QTest::newRow("newer write waits") << 0 << 0 << true << QStringList{"3", "3"};
    }
    void retriesTakeTheRequestsOwnPriority()
    {
        QFETCH(int, own);
        QFETCH(int, postedAt);
        QFETCH(bool, stale);
        QFETCH(QStringList, ops);
        Engine engine(150);
        QVERIFY(engine.start());
        silenceDevice(true);
        WdxRequest *request = engine.make(stale ? writeOutputGainsMessage({10, 10, 10}) : readOutputGainsMessage(), 2);
        request->setPriority(quint8(own));
        QVERIFY(engine.processor->postRequest(request, quint8(postedAt)));
        QVERIFY(waitStatus(request, WdxRequest::Written));
        WdxRequest *other = engine.make(stale ? writeOutputGainsMessage({20, 20, 20}) : readOutputDelaysMessage());
        QVERIFY(engine.processor->postRequest(other, stale ? 0 : 1));
        QVERIFY(waitStatus(request, WdxRequest::Timeout) && waitStatus(other, WdxRequest::Timeout));
        QTest::qWait(200);   // never written again
        QCOMPARE(sent(), ops);
        QCOMPARE(request->retryCount(), stale ? 1 : 2);
        QCOMPARE(lines("Error", "onTimeoutEntered", "<-- TIMEOUT"), ops.size());
        QCOMPARE(lines("Debug", "onTimeoutEntered", "Retrying failed request"), request->retryCount());
        QCOMPARE(lines("Error", "onTimeoutEntered", "Error on retry"), int(stale));
        QCOMPARE(sent(kGainsOp), stale ? (QStringList{"400a0a0a", "40141414"}) : (QStringList{"40", "40", "40"}));
        QCOMPARE(engine.count(request), 1);
    }

    // An answer matches by the access kind (CMD bits 0-3) and the OP; the reply flags do not count.
    void replyMatching_data()
    {
        QTest::addColumn<int>("cmd");
        QTest::addColumn<int>("op");
        QTest::addColumn<bool>("matches");
        QTest::newRow("nack, error bit") << 0xC0 << 0x03 << true;
        QTest::newRow("no reply flags") << 0x00 << 0x03 << true;
        QTest::newRow("write ack to a read") << 0x81 << 0x03 << false;
        QTest::newRow("other OP") << 0x80 << 0x04 << false;
    }
    void replyMatching()
    {
        QFETCH(int, cmd);
        QFETCH(int, op);
        QFETCH(bool, matches);
        Engine engine(300);
        QVERIFY(engine.start());
        WdxRequest *request = blockWith(engine, readOutputGainsMessage());
        QVERIFY(request);
        injectFromDevice(frame(std::uint8_t(cmd), std::uint8_t(op), {0x40, 0x00, 0x01, 0x0a}));
        QVERIFY(waitStatus(request, matches ? WdxRequest::Completed : WdxRequest::Timeout));
        QTRY_COMPARE(engine.count(request), 1);
        QCOMPARE(lines("Warning", "onMessageArrived", "Unexpected message"), int(!matches));
        const WdxMessageGeneric reply = request->replyMessage();
        QCOMPARE(reply.isValid(), matches);
        QCOMPARE(int(reply.commandType()), matches ? cmd : 0);
        QCOMPARE(reply.hasError(), cmd == 0xC0);
        QCOMPARE(request->replyFrame().toHex().mid(10, 8), matches ? QStringLiteral("4000010a") : QString());
    }

    // The DATA part of the "Sending request" and "Message received" lines; long DATA is cut.
    void logLinesShowTheData_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("received");
        const QString name = ", DATA_0[40](Output Gains)";
        const QString all = name + ", DATA:[3132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f]"
                                   "(123456789:;<=>?@ABCDEFGHIJKLMNO)";
        const QString sentCut = name + ", DATA:[3132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f...]"
                                       "(123456789:;<=>?@ABCDEFGHIJKLMNO...)";
        const QString receivedCut = name + ", DATA:[3132333435363738393a3b3c3d3e3f...](123456789:;<=>?...)";
        const QString edges = name + ", DATA:[1f207f80](1f \x7f" "80)";   // printable: 0x20 to 0x7f
        QTest::newRow("none") << 0 << QString() << QString();
        QTest::newRow("1") << 1 << name << name;
        QTest::newRow("2") << 2 << name + ", DATA:[31](1)" << name + ", DATA:[31](1)";
        QTest::newRow("32") << 32 << all << all;
        QTest::newRow("33") << 33 << sentCut << receivedCut;
        QTest::newRow("40") << 40 << sentCut << receivedCut;
        QTest::newRow("printable edges") << -1 << edges << edges;
    }
    void logLinesShowTheData()
    {
        QFETCH(int, length);
        QFETCH(QString, sent);
        QFETCH(QString, received);
        QByteArray data = length < 0 ? QByteArray::fromHex("401f207f80") : QByteArray();
        for (int i = 0; i < length; ++i)
            data += char(i == 0 ? 0x40 : 0x30 + i);
        Engine engine;
        QVERIFY(engine.start());
        silenceDevice(true);
        WdxRequest *request = engine.make(rawMessage(0x01, kGainsOp, data));
        request->setNoReply(true);
        QVERIFY(engine.processor->postRequest(request, 2) && waitStatus(request, WdxRequest::Completed));
        injectFromDevice(frame(0x81, kGainsOp, Bytes(data.begin(), data.end())));
        QTRY_COMPARE(lines("Warning", "onMessageArrived", "Unexpected message"), 1);
        QCOMPARE(lines("Info", "onWriteRequestEntered", "Sending request, CMD[01](Write), OP_CODE[03](Gain Settings)" + sent), 1);
        QCOMPARE(lines("Info", "onMessageArrived", "Message received, CMD[81](Ack Write), OP_CODE[03](Gain Settings)" + received), 1);
    }

    // Stopping releases a synchronous caller and clears the lists; later posts are refused.
    void executeNoReplyAndStop()
    {
        Engine engine(60000);
        QVERIFY(engine.start());
        WdxRequest *sync = engine.make(readOutputGainsMessage());
        QVERIFY(engine.processor->executeRequest(sync));
        QCOMPARE(sync->replyMessage().data().toHex(), QStringLiteral("40242424"));
        silenceDevice(true);
        WdxRequest *noReply = engine.make(readOutputDelaysMessage());
        noReply->setNoReply(true);
        QVERIFY(engine.processor->postRequest(noReply, 0) && waitStatus(noReply, WdxRequest::Completed));
        QVERIFY(noReply->completedTime() >= noReply->sentTime() && !noReply->replyMessage().isValid());
        WdxRequest *request = engine.make(readOutputGainsMessage());
        WdxRequest *waiting = engine.make(readDeviceInfoMessage(enDeviceInfo_DeviceName));
        WdxRequest *equal = engine.make(readDeviceInfoMessage(enDeviceInfo_DeviceName));
        QTimer::singleShot(200, this, [&] {   // while `request` is in flight
            QVERIFY(engine.processor->postRequest(waiting, 3));
            QVERIFY(!engine.processor->executeRequest(equal));   // merged: not a request of its own
            engine.stop();
        });
        QVERIFY(!engine.processor->executeRequest(request));
        QVERIFY(request->status() == WdxRequest::Written && equal->status() == WdxRequest::NotSent);
        QVERIFY(!engine.running && !engine.processor->isConnected());
        QVERIFY(engine.processor->waitingCount() == 0 && waiting->status() == WdxRequest::Idle);
        QVERIFY(!engine.processor->executeRequest(waiting));
        QCOMPARE(waiting->status(), WdxRequest::NotSent);
    }

    void connectionFlagAndNotSent()
    {
        // Emitted on the monitor's thread: counted on this one, as the controller receives them.
        int connected = 0, disconnected = 0;
        QObject receiver;
        Engine engine(200);
        QObject::connect(engine.processor, &WdxRequestProcessor::wdxConnected, &receiver, [&connected] { ++connected; }, Qt::QueuedConnection);
        QObject::connect(engine.processor, &WdxRequestProcessor::wdxDisconnected, &receiver, [&disconnected] { ++disconnected; }, Qt::QueuedConnection);
        unplug();
        QVERIFY(engine.start(false));
        WdxRequest *lost = engine.make(readOutputGainsMessage());
        QVERIFY(engine.processor->postRequest(lost, 0) && waitStatus(lost, WdxRequest::NotSent));
        QCOMPARE(lines("Warning", "onWriteRequestEntered", "Not connected"), 1);
        plug();
        QTRY_COMPARE_WITH_TIMEOUT(connected, 1, kWait);
        QVERIFY(engine.processor->isConnected() && lines("Info", "onWdxConnected", "Wdx connected") == 1);
        engine.processor->pause();   // closed, and not looked for although plugged
        QTRY_COMPARE_WITH_TIMEOUT(disconnected, 1, kWait);
        QVERIFY(!engine.processor->isConnected() && lines("Info", "onWdxDisconnected", "Wdx disconnected") == 1);
        QCOMPARE(logs().count("Debug", "WdxMonitor", "closeConnection", "Device disconnected, close it"), 1);
        QTest::qWait(400);
        QCOMPARE(status().openHandles, 0);
        engine.processor->resume();
        QTRY_COMPARE_WITH_TIMEOUT(connected, 2, kWait);
    }

    // Each ends the request; only a bridge error passes the machine through Error; the next is served.
    void communicationErrors_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("short write") << 0;
        QTest::newRow("out of time") << 1;
        QTest::newRow("bridge error in flight") << 2;
    }
    void communicationErrors()
    {
        QFETCH(int, way);
        Engine engine(300);
        QVERIFY(engine.start());
        setFaults([&] { Faults f; f.shortWrites = way == 0; f.dropReply = way == 2; return f; }());
        engine.processor->monitor()->setWriteTimeout(way == 1 ? 0 : 250);
        WdxRequest *broken = engine.make(rawMessage(0x00, kGainsOp, QByteArray(60, 0x40)), 2);   // two reports
        QVERIFY(engine.processor->postRequest(broken, 0));
        if (way == 2 && waitStatus(broken, WdxRequest::Written))
            QMetaObject::invokeMethod(engine.processor->monitor(), "onError");   // as the driver's error()
        QVERIFY(waitStatus(broken, WdxRequest::CommunicationError));
        QCOMPARE(lines("Error", "onWriteRequestEntered", "Error writing"), int(way < 2));
        engine.processor->monitor()->setWriteTimeout(250);
        setFaults(Faults());
        QTest::qWait(400);   // the device drops a partial frame; a late reply time-out changes nothing
        WdxRequest *next = engine.make(readOutputDelaysMessage(), 1);
        QVERIFY(engine.processor->postRequest(next, 0) && waitStatus(next, WdxRequest::Completed));
        QVERIFY(broken->status() == WdxRequest::CommunicationError && engine.count(broken) == 1);
        QCOMPARE(lines("Error", "onErrorEntered", "Communication error"), int(way != 1));
        QCOMPARE(sent(), way == 2 ? (QStringList{"3", "4"}) : (QStringList{"4"}));
    }

    void pinNeverReachesTheLogs()
    {
        Engine engine(300);
        QVERIFY(engine.start());
        QVERIFY(blockWith(engine, readOutputDelaysMessage()));
        WdxRequest *lock = engine.make(lockMessage("9999"));
        QVERIFY(engine.processor->postRequest(lock, 2));
        QVERIFY(engine.processor->postRequest(engine.make(lockMessage("4821")), 2));
        silenceDevice(false);
        QVERIFY(waitStatus(lock, WdxRequest::Completed) && state().locked && state().pin == "4821");
        for (const char *form : {"4821", "34383231", "34 38 32 31", "39393939"})
            QCOMPARE(logs().containing(form), QStringList());
        QCOMPARE(lines("Info", "onWriteRequestEntered",
                       "Sending request, CMD[01](Write), OP_CODE[09](Security Settings), DATA_0[01](), DATA:[04********](04****)"), 1);
        QCOMPARE(lines("Trace", "enqueueRequest", "Merging request, changing data from 0104******** to 0104********"), 1);
        QCOMPARE(lines("Trace", "onWriteRequestEntered", "--> 55000801090104************"), 1);
        QCOMPARE(lines("Trace", "onWriteRequestEntered", "--> 550003000440ff64"), 1);   // others in full
        QCOMPARE(logs().count("Trace", "UsbHidUart", "write", "--> [0d" + QString(26, '*') + "]"), 1);
    }

    // Two threads, a faulty device, an unplug: every accepted request finishes once; serving afterwards.
    void faultSoak()
    {
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Info);
        Engine engine(60, 5);
        QVERIFY(engine.start());
        setFaults([] { Faults f; f.seed = 5, f.dropReply = f.splitReply = f.noise = 0.1, f.corruptChecksum = 0.05; return f; }());
        const auto message = [](QRandomGenerator &r) {
            const quint8 v = quint8(r.bounded(73));
            const WdxMessageGeneric choice[] = {readOutputGainsMessage(), writeOutputGainsMessage({v, quint8(72 - v), 36}),
                                                readCompressorMessage(quint8(v % 3)), readDeviceInfoMessage(quint8(0x20 + v % 6)),
                                                writeOutputPatchMessage(quint8(v % 3), quint8(v / 3 % 3))};
            return choice[r.bounded(5)];
        };
        std::atomic<int> executed{0};
        QScopedPointer<QThread> executor(QThread::create([&] {
            QRandomGenerator r(13);
            for (int i = 0; i < 40; ++i, QThread::msleep(r.bounded(10, 60))) {
                WdxRequest request(message(r));
                executed += engine.processor->executeRequest(&request) || request.status() == WdxRequest::NotSent;
            }
        }));
        executor->start();
        QRandomGenerator random(7);
        QList<WdxRequest *> accepted;
        for (int i = 0; i < 300; ++i, QTest::qWait(random.bounded(4) ? 0 : 30)) {
            WdxRequest *request = engine.make(message(random), int(random.bounded(3)));
            if (engine.processor->postRequest(request, quint8(random.bounded(3))) && request->status() != WdxRequest::Merged)
                accepted << request;
            if (i == 150)
                replugAfter(300);
        }
        QVERIFY(executor->wait(60000) && executed == 40);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(accepted.begin(), accepted.end(), [](WdxRequest *r) { return r->isCompleted(); }), 60000);
        QTest::qWait(200);   // late duplicates would show now
        QSet<int> outcomes;
        for (WdxRequest *r : qAsConst(accepted)) {
            QCOMPARE(engine.count(r), 1);
            outcomes << r->status();
        }
        QCOMPARE(engine.completions.size(), accepted.size());   // merged posts never complete
        QVERIFY(accepted.size() < 300 && outcomes.contains(WdxRequest::Completed) && outcomes.contains(WdxRequest::Timeout));
        setFaults(Faults());
        QCOMPARE(engine.processor->waitingCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(engine.processor->isConnected(), kWait);
        WdxRequest fresh(readOutputGainsMessage());
        QVERIFY(engine.processor->executeRequest(&fresh) && fresh.status() == WdxRequest::Completed);
    }
};

VELA_TEST_MAIN_CORE(TestRequestProcessor)
#include "tst_requestprocessor.moc"
