// Fault soak of the request engine: 2000 requests of mixed priorities from three threads
// against a device that drops, corrupts, splits and prefixes its answers with noise, and whose
// bridge is unplugged and plugged back twice. Every accepted request must finish exactly once,
// none may leak, and the engine must be idle and working afterwards.

#include "VelaTestMain.h"
#include "VirtualWdx.h"

#include "logger/QLoggerManager.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace WdxRequestBuilder;
namespace V = VirtualWdx;

namespace {

constexpr int kMainRequests = 1500;
constexpr int kPosterRequests = 300;
constexpr int kExecutedRequests = 200;
constexpr int kTotal = kMainRequests + kPosterRequests + kExecutedRequests;
constexpr int kWait = 15000;

// Counts the live request objects, so that a leak shows.
class SoakRequest : public WdxRequest
{
public:
    SoakRequest(const WdxMessageGeneric &message, int id) : WdxRequest(message), id(id) { ++live; }
    ~SoakRequest() override { --live; }
    const int id;
    static std::atomic<int> live;
};
std::atomic<int> SoakRequest::live{0};

// A spread of the application's traffic: reads and writes of many items, so that some posts
// merge and most do not.
WdxMessageGeneric randomMessage(QRandomGenerator &random)
{
    const quint8 v = quint8(random.bounded(73));
    switch (random.bounded(16)) {
    case 0: return readOutputGainsMessage();
    case 1: return writeOutputGainsMessage({v, quint8(72 - v), 36});
    case 2: return readOutputDelaysMessage();
    case 3: return writeOutputDelaysMessage({quint16(v * 10), 0, quint16(v)});
    case 4: return readInputDelaysMessage();
    case 5: return readCompressorMessage(quint8(random.bounded(3)));
    case 6: return writeCompressorMessage(quint8(random.bounded(3)), quint8(random.bounded(11)), 2, v, v & 1);
    case 7: return readEqMessage(quint8(random.bounded(2)));
    case 8: return readPreProcessingPatchMessage(quint8(random.bounded(2)));
    case 9: return writeOutputPatchMessage(quint8(random.bounded(3)), quint8(random.bounded(3)));
    case 10: return readOutputPatchMessage(quint8(random.bounded(3)));
    case 11: return readDeviceInfoMessage(enDeviceInfo_InputMeters);
    case 12: return readDeviceInfoMessage(enDeviceInfo_OutputMeters);
    case 13: return readDeviceInfoMessage(quint8(0x20 + random.bounded(6)));
    case 14: return readSpeakerModeMessage();
    default: return readFrontPanelGainsMessage();
    }
}

void configure(SoakRequest *request, QRandomGenerator &random)
{
    request->setMaxRetry(int(random.bounded(3)));
    // A few requests expect no answer although the device gives one: their answers arrive
    // unexpected and must not complete anything else.
    request->setNoReply(random.bounded(50) == 0);
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void faultSoak();

private:
    QTemporaryDir m_logBase;
};

void TestSoak::initTestCase()
{
    QVERIFY(m_logBase.isValid());
    // The application's own logging: files at Debug.
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);
    QLogger::QLoggerManager::setBasePath(m_logBase.path());
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
}

void TestSoak::faultSoak()
{
    V::reset();
    V::plug();

    QThread worker;
    auto *processor = new WdxRequestProcessor(false);
    processor->setTimeout(60);
    processor->setInterval(5);
    processor->moveToThread(&worker);
    std::atomic<bool> running{false};
    connect(&worker, &QThread::started, processor, &WdxRequestProcessor::start);
    connect(processor, &WdxRequestProcessor::finished, &worker, &QThread::quit, Qt::DirectConnection);
    connect(processor, &WdxRequestProcessor::started, processor, [&] { running = true; }, Qt::DirectConnection);
    worker.start();
    QVERIFY(QTest::qWaitFor([&] { return running.load(); }, kWait));
    processor->resume();
    QVERIFY(QTest::qWaitFor([&] { return processor->isConnected(); }, kWait));

    V::Faults faults;
    faults.seed = 5;
    faults.dropReply = 0.10;
    faults.corruptChecksum = 0.05;
    faults.splitReply = 0.10;
    faults.splitGapMs = 20;
    faults.noise = 0.10;
    faults.noiseBytes = 3;
    V::setFaults(faults);

    // Per request id, all on this thread: completed() count, status at completion, accepted.
    std::vector<int> completions(kTotal, 0);
    std::vector<int> finalStatus(kTotal, -1);
    std::vector<char> accepted(kTotal, 0);
    std::vector<char> executed(kTotal, 0);
    std::mutex acceptedLock; // the poster thread records its own posts

    QObject tracker;
    // Requests owned by this thread are read and deleted by their completion handler.
    auto track = [&](SoakRequest *request, bool ownedHere) {
        const int id = request->id;
        connect(request, &WdxRequest::completed, &tracker, [&, request, id, ownedHere] {
            ++completions[id];
            if (!ownedHere)
                return;
            finalStatus[id] = request->status();
            request->deleteLater();
        });
    };
    // Refused and merged posts are deleted at once and expect nothing.
    auto post = [&](SoakRequest *request, quint8 priority) {
        const bool ok = processor->postRequest(request, priority);
        if (ok && request->status() != WdxRequest::Merged) {
            std::lock_guard<std::mutex> lock(acceptedLock);
            accepted[request->id] = 1;
            return;
        }
        request->deleteLater();
    };

    // A second poster, like the firmware worker: writes at priority 2 from its own thread.
    QThread *mainThread = QThread::currentThread();
    std::thread poster([&] {
        QRandomGenerator random(11);
        for (int i = 0; i < kPosterRequests; ++i) {
            auto *request = new SoakRequest(randomMessage(random), kMainRequests + i);
            configure(request, random);
            request->moveToThread(mainThread);
            track(request, true);
            post(request, 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(random.bounded(20, 90)));
        }
    });

    // Synchronous execution at priority 3 from a thread of its own, as the security and
    // firmware paths do.
    std::atomic<int> executedFinal{0};
    std::atomic<int> executedBad{0};
    QThread *executor = QThread::create([&] {
        QRandomGenerator random(13);
        for (int i = 0; i < kExecutedRequests; ++i) {
            const int id = kMainRequests + kPosterRequests + i;
            auto *request = new SoakRequest(randomMessage(random), id);
            configure(request, random);
            track(request, false);
            const bool finished = processor->executeRequest(request);
            const WdxRequest::RequestStatus status = request->status();
            // false only for a request that could not be queued on its own
            if (WdxRequest::isFinal(status) && (finished || status == WdxRequest::NotSent))
                ++executedFinal;
            else
                ++executedBad;
            delete request; // at once: the request must allow it once executeRequest returned
            std::this_thread::sleep_for(std::chrono::milliseconds(random.bounded(30, 120)));
        }
    });
    executor->start();
    for (int i = kMainRequests + kPosterRequests; i < kTotal; ++i)
        executed[i] = 1;

    // The user interface thread: bursts of reads and writes at priorities 0 to 2, and two
    // unplug/replug cycles on the way.
    QElapsedTimer clock;
    clock.start();
    QRandomGenerator random(7);
    int next = 0;
    while (next < kMainRequests) {
        const int before = next;
        const int burst = int(random.bounded(1, 9));
        for (int b = 0; b < burst && next < kMainRequests; ++b, ++next) {
            auto *request = new SoakRequest(randomMessage(random), next);
            configure(request, random);
            track(request, true);
            post(request, quint8(random.bounded(3)));
        }
        if (before < kMainRequests / 3 && next >= kMainRequests / 3)
            V::replugAfter(400);
        if (before < 2 * kMainRequests / 3 && next >= 2 * kMainRequests / 3) {
            // From now on a split answer comes too late to be joined.
            faults.splitGapMs = 70;
            V::setFaults(faults);
            V::replugAfter(300);
        }
        QTest::qWait(int(random.bounded(20, 140)));
    }
    poster.join();
    QVERIFY(executor->wait(120000));
    delete executor;

    int acceptedCount = 0;
    for (int id = 0; id < kTotal; ++id)
        acceptedCount += accepted[id] && !executed[id];
    auto finishedCount = [&] {
        int n = 0;
        for (int id = 0; id < kTotal; ++id)
            n += accepted[id] && !executed[id] && completions[id] > 0;
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(finishedCount(), acceptedCount, 120000);
    // Late duplicates would show up now.
    QTest::qWait(500);

    QMap<int, int> byStatus;
    for (int id = 0; id < kTotal; ++id) {
        if (executed[id]) {
            QVERIFY2(completions[id] == 1, qPrintable(QStringLiteral("executed %1: %2").arg(id).arg(completions[id])));
            continue;
        }
        if (!accepted[id]) {
            QVERIFY2(completions[id] == 0, qPrintable(QStringLiteral("merged %1 completed").arg(id)));
            continue;
        }
        QVERIFY2(completions[id] == 1, qPrintable(QStringLiteral("request %1: %2 completions").arg(id).arg(completions[id])));
        QVERIFY2(WdxRequest::isFinal(WdxRequest::RequestStatus(finalStatus[id])),
                 qPrintable(QStringLiteral("request %1: status %2").arg(id).arg(finalStatus[id])));
        ++byStatus[finalStatus[id]];
    }
    QCOMPARE(executedBad.load(), 0);
    QCOMPARE(executedFinal.load(), kExecutedRequests);
    QTRY_COMPARE_WITH_TIMEOUT(SoakRequest::live.load(), 0, kWait);
    qInfo("soak: %d accepted of %d posted (%d executed), %.1f s; completed %d, timeout %d, communication error %d, "
          "not sent %d",
          acceptedCount, kMainRequests + kPosterRequests, kExecutedRequests, clock.elapsed() / 1000.0,
          byStatus.value(WdxRequest::Completed), byStatus.value(WdxRequest::Timeout),
          byStatus.value(WdxRequest::CommunicationError), byStatus.value(WdxRequest::NotSent));
    // The faults did bite, and most requests still got through.
    QVERIFY(byStatus.value(WdxRequest::Timeout) > 0);
    QVERIFY(byStatus.value(WdxRequest::Completed) > acceptedCount / 2);
    QVERIFY(acceptedCount < kMainRequests + kPosterRequests); // some merged

    // Idle, and serving again once the faults are gone.
    V::setFaults(V::Faults());
    QCOMPARE(processor->waitingCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(processor->isConnected(), kWait);
    SoakRequest fresh(readOutputGainsMessage(), -1);
    QVERIFY(processor->executeRequest(&fresh));
    QCOMPARE(fresh.status(), WdxRequest::Completed);
    QVERIFY(fresh.replyMessage().isValid());

    QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
    QVERIFY(worker.wait(kWait));
    delete processor;
}

VELA_TEST_MAIN_CORE(TestSoak)
#include "tst_soak.moc"
