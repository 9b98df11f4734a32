// The protocol tester through the whole stack against the virtual Wdx: the loop's counts and
// texts against the device's wire log, unplugging in the middle of a loop, and every
// diagnostic request byte for byte, in the boot loader too.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "protocol/WdxRequestBuilder.h"
#include "tester/WdxProtocolTester.h"

#include <QRegularExpression>

#include <algorithm>
#include <memory>

using namespace ControlTest;

namespace {

const QByteArray kStatusFrame = "55 00 03 00 01 04 ff a3";

// The frame the virtual device's own encoder makes of these fields, as spaced hexadecimal.
QByteArray frameHex(int cmd, int op, const QByteArray &dataHex)
{
    return hex(V::frame(quint8(cmd), quint8(op), bytes(dataHex)));
}

int droppedAnswers()
{
    const std::vector<V::WireEntry> log = V::wireLog();
    return int(std::count_if(log.begin(), log.end(), [](const V::WireEntry &e) { return e.has(V::Dropped); }));
}

QByteArray blockData(int id)
{
    return "01 0" + QByteArray::number(id) + QByteArray(" 00").repeated(512);
}

} // namespace

class TestTester : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void initialValues();
    void setters_data();
    void setters();
    void loopAgainstDevice();
    void unpostable();
    void unplugPausesReplugResumes();
    void singleShots_data();
    void singleShots();
    void firmwareWalk();
    void malformed_data();
    void malformed();
    void customRequest_data();
    void customRequest();
    void oneRequestOut_data();
    void oneRequestOut();
    void resetUartPausesUntilBack();

private:
    WdxRequestProcessor *processor() const { return m_rig->controller->processor(); }
    int outstanding() const // the loop's requests still in some thread's hands (a cleared queue drops one)
    {
        const QList<WdxRequest *> requests = m_tester->findChildren<WdxRequest *>();
        return int(std::count_if(requests.begin(), requests.end(), [this](WdxRequest *r) {
            return !r->isCompleted() && !(r->status() == WdxRequest::Idle && processor()->waitingCount() == 0);
        }));
    }

    std::unique_ptr<StackRig> m_rig;
    WdxProtocolTester *m_tester = nullptr; // a new one for every case
};

void TestTester::initTestCase()
{
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    m_rig.reset(new StackRig());
    QVERIFY(m_rig->start());
}

void TestTester::init()
{
    V::clearAnswerRules();
    V::setFaults(V::Faults());
    V::setState(V::DeviceState());
    V::plug();
    processor()->setInterval(WdxRequestProcessor::kDefaultInterval);
    processor()->setTimeout(WdxController::kReplyTimeoutMs);
    QVERIFY(QTest::qWaitFor([] { return V::status().mode == V::RunMode::Main; }, kWait));
    QVERIFY(QTest::qWaitFor([this] { return processor()->isConnected(); }, kWait));
    QVERIFY(m_rig->settle());
    m_tester = new WdxProtocolTester;
    m_tester->setRequestProcessor(processor());
    V::clearLogs();
}

void TestTester::cleanup()
{
    m_tester->stopTest();
    QVERIFY(QTest::qWaitFor([&] { return outstanding() == 0; }, kWait));
    QTest::qWait(processor()->interval() + 50); // one taken may still wait out the spacing
    flushDeferredDeletes();
    delete m_tester;
}

void TestTester::initialValues()
{
    QCOMPARE(m_tester->stateString(), QStringLiteral("Idle"));
    QCOMPARE(m_tester->debugMessage(), QString());
    QCOMPARE(m_tester->successRate(), QStringLiteral("0%"));
    QCOMPARE(m_tester->averageTime(), QStringLiteral("0"));
    QCOMPARE(m_tester->rawTestRequest().toLower(), QStringLiteral("550003000104ffa3"));
    QCOMPARE(m_tester->rawCustomRequest(), m_tester->rawTestRequest());
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5").arg(m_tester->nextBlockId()).arg(m_tester->maxRetry())
                 .arg(m_tester->runForever()).arg(m_tester->interval()).arg(m_tester->timeout()), QStringLiteral("0 0 0 10 250"));
    QCOMPARE(WdxProtocolTester::stateText(1) + WdxProtocolTester::stateText(2) + WdxProtocolTester::stateText(3)
                 + WdxProtocolTester::stateText(-1), QStringLiteral("WorkingPaused"));
    // The statistics' texts: shortest of plain and exponent notation, six significant digits.
    QCOMPARE(WdxProtocolTester::successRateText(3, 4) + WdxProtocolTester::averageTimeText(30, 4), QStringLiteral("75%7.5 ms"));
    QCOMPARE(WdxProtocolTester::successRateText(1, 3) + WdxProtocolTester::averageTimeText(2469134, 2),
             QStringLiteral("33.3333%1.23457e+06 ms"));
    QCOMPARE(WdxProtocolTester::averageTimeText(0, 5), QStringLiteral("0 ms"));
}

void TestTester::setters_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("debugMessage") << QByteArray("debugMessage") << QVariant(QStringLiteral("note"));
    QTest::newRow("rawTestRequest") << QByteArray("rawTestRequest") << QVariant(QStringLiteral("550003000100ffa7"));
    QTest::newRow("rawCustomRequest") << QByteArray("rawCustomRequest") << QVariant(QStringLiteral("55"));
    QTest::newRow("interval") << QByteArray("interval") << QVariant(25);
    QTest::newRow("timeout") << QByteArray("timeout") << QVariant(400);
    QTest::newRow("runForever") << QByteArray("runForever") << QVariant(true);
    QTest::newRow("maxRetry") << QByteArray("maxRetry") << QVariant(3);
}

// Each setter stores and signals once per change; interval and time-out live in the processor.
void TestTester::setters()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, value);
    const QMetaProperty property = m_tester->metaObject()->property(m_tester->metaObject()->indexOfProperty(name));
    QSignalSpy changes(m_tester, QByteArray("2" + property.notifySignal().methodSignature()).constData());
    const QVariant before = m_tester->property(name);
    QVERIFY(m_tester->setProperty(name, value) && m_tester->setProperty(name, value));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(m_tester->property(name), value);
    QCOMPARE(processor()->interval(), name == "interval" ? 25 : 10);
    QCOMPARE(processor()->timeout(), name == "timeout" ? 400 : 250);
    QVERIFY(m_tester->setProperty(name, before));
    QCOMPARE(changes.count(), 2);
}

// 200 requests, one in ten answers lost: the tester's counts and texts against the wire; a second
// start while it works changes nothing.
void TestTester::loopAgainstDevice()
{
    constexpr int kRequests = 200;
    V::Faults faults;
    faults.seed = 12;
    faults.dropReply = 0.1;
    V::setFaults(faults);
    m_tester->setInterval(0);
    m_tester->setTimeout(100);
    QObject scope;
    int replies = 0, timeouts = 0, states = 0, statusLines = 0;
    QStringList wrongLines;
    connect(m_tester, &WdxProtocolTester::replyReceived, &scope, [&] { ++replies; });
    connect(m_tester, &WdxProtocolTester::timeoutReceived, &scope, [&] { ++timeouts; });
    connect(m_tester, &WdxProtocolTester::stateChanged, &scope, [&] { ++states; });
    connect(m_tester, &WdxProtocolTester::successRateChanged, &scope, [&] { // the 200th is the last
        if (m_tester->queuedCount() == kRequests)
            m_tester->setRunForever(false);
    });
    // Each status line against what the test has seen: outcomes so far, frames on the wire.
    const QRegularExpression statusLine(QStringLiteral(
        "^(\\d+) of (\\d+), success rate: ([^,]+), avg time: ([^,]+), errors: (\\d+), timeouts: (\\d+)$"));
    connect(m_tester, &WdxProtocolTester::debugMessageChanged, &scope, [&] {
        const QRegularExpressionMatch m = statusLine.match(m_tester->debugMessage());
        statusLines += m.hasMatch() ? 1 : 0;
        if (m.hasMatch() && (m.captured(1).toInt() != replies + timeouts || m.captured(2).toInt() != toDevice().size()
                             || m.captured(3) != m_tester->successRate() || m.captured(4) != m_tester->averageTime()
                             || m.captured(5) != QLatin1String("0") || m.captured(6).toInt() != timeouts))
            wrongLines.append(m_tester->debugMessage());
    });
    m_tester->startTest();
    QCOMPARE(m_tester->stateString(), QStringLiteral("Working"));
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    m_tester->startTest(); // changes nothing
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Idle"), 120000);

    QCOMPARE(states, 2);
    QCOMPARE(m_tester->queuedCount(), quint64(kRequests));
    QCOMPARE(m_tester->writtenCount(), quint64(kRequests));
    QCOMPARE(m_tester->succeededCount() + m_tester->timeoutCount(), quint64(kRequests));
    QCOMPARE(m_tester->errorCount(), quint64(0));
    QCOMPARE(statusLines, kRequests - 1);
    QVERIFY2(wrongLines.isEmpty(), qPrintable(wrongLines.join(QLatin1Char('\n'))));
    QCOMPARE(toDevice().count(kStatusFrame), kRequests);
    const int answered = int(V::frames(V::Direction::FromDevice).size());
    const int dropped = kRequests - answered; // lost answers never reach the wire
    QVERIFY(dropped > 0);
    QCOMPARE(replies, answered);
    QCOMPARE(int(m_tester->succeededCount()), answered);
    QCOMPARE(timeouts, dropped);
    QCOMPARE(int(m_tester->timeoutCount()), dropped);
    const QString rate = QString::number(answered * 100.0 / kRequests, 'g', 6) + QLatin1Char('%');
    QCOMPARE(m_tester->successRate(), rate);
    // Posting to completion of each answered request: over 2.5 ms on this link (bytes, latency).
    const double average = double(m_tester->totalTimeMs()) / kRequests;
    QVERIFY2(m_tester->totalTimeMs() >= 2 * answered && average < 30, qPrintable(QString::number(average)));
    QCOMPARE(m_tester->averageTime(), QString::number(average, 'g', 6) + QStringLiteral(" ms"));
    QCOMPARE(m_tester->debugMessage(),
             QStringLiteral("Test completed, success rate: %1, avg time: %2, total queued: 200, total timeout: %3, "
                            "total errors: 0").arg(rate, m_tester->averageTime()).arg(dropped));
}

// A request that cannot be posted (stopped processor, or none): Working, then Idle without a
// second stateChanged.
void TestTester::unpostable()
{
    WdxRequestProcessor stopped(false);
    stopped.stop();
    for (WdxRequestProcessor *processor : {&stopped, static_cast<WdxRequestProcessor *>(nullptr)}) {
        WdxProtocolTester tester;
        tester.setRequestProcessor(processor);
        QSignalSpy states(&tester, &WdxProtocolTester::stateChanged);
        tester.startTest();
        QTRY_COMPARE(tester.stateString(), QStringLiteral("Idle"));
        QTest::qWait(50);
        flushDeferredDeletes();
        QCOMPARE(states.count(), 1);
        QCOMPARE(tester.queuedCount(), quint64(0));
        QVERIFY(tester.findChildren<WdxRequest *>().isEmpty());
    }
    QVERIFY(toDevice().isEmpty());
}

// Paused while unplugged (nothing posted), working again once back, and stopping clears the
// processor's queues, the loop's and everybody else's.
void TestTester::unplugPausesReplugResumes()
{
    QObject scope;
    QStringList states, messages;
    connect(m_tester, &WdxProtocolTester::stateChanged, &scope, [&] { states << m_tester->stateString(); });
    connect(m_tester, &WdxProtocolTester::debugMessageChanged, &scope, [&] { messages << m_tester->debugMessage(); });
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 5, kWait);
    V::unplug();
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Paused"), kWait);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Device disconnected, reconnect to restart testing"));
    QTest::qWait(400); // the request that was out ends within one time-out, then nothing more
    const quint64 queued = m_tester->queuedCount();
    V::plug();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= queued + 5, kWait);
    QCOMPARE(states, QStringList({"Working", "Paused", "Working"}));
    QVERIFY(messages.contains(QStringLiteral("Test restarted")));
    processor()->setInterval(1000);
    QTest::qWait(50);
    for (quint8 channel = 0; channel < 3; ++channel)
        QVERIFY(processor()->postRequest(new WdxRequest(WdxRequestBuilder::readCompressorMessage(channel), &scope), 0));
    m_tester->stopTest();
    QCOMPARE(processor()->waitingCount(), 0);
    QCOMPARE(states, QStringList({"Working", "Paused", "Working", "Idle"}));
    QCOMPARE(m_tester->runForever(), false);
    processor()->setInterval(10);
}

void TestTester::singleShots_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<int>("argument");     // -1: none
    QTest::addColumn<QString>("fault");    // "drop": the answer is lost; "unplugged"
    QTest::addColumn<QByteArray>("frame"); // the one frame that reaches the device; empty: none
    QTest::addColumn<QString>("text");     // pattern of the debug message
    auto row = [](const char *name, const char *slot, int argument, const char *fault, const QByteArray &frame,
                  const char *text) {
        QTest::newRow(name) << QByteArray(slot) << argument << QString(fault) << frame << QString(text);
    };
    row("device type", "getDeviceType", -1, "", "55 00 03 00 01 00 ff a7", "^WDX-T-N$");
    row("serial number", "getSN", -1, "", "55 00 03 00 01 02 ff a5", "^Device SN is 004217$");
    row("status", "getStatus", -1, "", kStatusFrame, "^Device status is main mode$");
    row("firmware state", "getFwStatus", -1, "", frameHex(0x00, 0x02, "00"), "^Fw status is 0, executed in \\d+ ms$");
    row("firmware state set", "setFwStatus", 0x12, "", frameHex(0x01, 0x02, "00 12"), "^Fw status set to 18$");
    row("firmware state closing", "setFwStatus", 0x81, "", frameHex(0x01, 0x02, "00 81 00 08 00 00 00 00"), "^Error$");
    row("block read", "readBlock", -1, "", frameHex(0x00, 0x02, "01 00"), "^Fw block #0 read in \\d+ ms$");
    row("boot lock outside the boot loader", "lockOnBoot", -1, "", "55 00 02 00 00 ff a9", "^Lock on boot sent$");
    row("type, answer lost", "getDeviceType", -1, "drop", frameHex(0x00, 0x01, "00"), "^Timeout$");
    row("block write, answer lost", "writeBlock", -1, "drop", frameHex(0x01, 0x02, blockData(0)), "^Error$");
    row("serial, unplugged", "getSN", -1, "unplugged", QByteArray(), "^Not Sent$");
    row("reboot, unplugged", "reset", -1, "unplugged", QByteArray(), "^Not Sent$");
}

void TestTester::singleShots()
{
    QFETCH(QByteArray, slot);
    QFETCH(int, argument);
    QFETCH(QString, fault);
    QFETCH(QByteArray, frame);
    QFETCH(QString, text);
    if (fault == QLatin1String("drop"))
        V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, -1, -1, 1));
    if (fault == QLatin1String("unplugged")) {
        V::unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!processor()->isConnected(), kWait);
    }
    V::clearLogs();
    m_tester->setDebugMessage(QStringLiteral("-"));
    QVERIFY(argument < 0 ? QMetaObject::invokeMethod(m_tester, slot.constData())
                         : QMetaObject::invokeMethod(m_tester, slot.constData(), Q_ARG(quint8, quint8(argument))));
    QVERIFY2(QRegularExpression(text).match(m_tester->debugMessage()).hasMatch(), qPrintable(m_tester->debugMessage()));
    QTest::qWait(frame.isEmpty() ? 100 : 0);
    // A request without reply is done once written: its last byte may still be on the line.
    QTRY_COMPARE_WITH_TIMEOUT(toDevice(), frame.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{frame}, kWait);
    QCOMPARE(m_tester->nextBlockId(), quint8(0));
    QVERIFY(fault == QLatin1String("unplugged") || !V::status().bootLocked);
}

// Reboot, hold the boot loader, open a download and walk the block ids round.
void TestTester::firmwareWalk()
{
    V::Timing timing;
    timing.bootWindowMs = 4000;
    V::setTiming(timing);
    int connects = 0; // emitted on the monitor's thread: counted on this one
    QObject receiver;
    QObject::connect(processor(), &WdxRequestProcessor::wdxConnected, &receiver, [&connects] { ++connects; }, Qt::QueuedConnection);
    m_tester->reset();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Reset done"));
    QTRY_COMPARE_WITH_TIMEOUT(toDevice(), QList<QByteArray>{"55 00 02 01 00 ff a8"}, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(connects, 1, kWait);
    m_tester->lockOnBoot();
    QTRY_VERIFY(V::status().bootLocked);
    m_tester->setFwStatus(1);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Fw status set to 1"));
    QSignalSpy ids(m_tester, &WdxProtocolTester::nextBlockIdChanged);
    V::clearLogs();
    QList<QByteArray> expected;
    for (int i = 0; i < 9; ++i) {
        m_tester->writeBlock();
        QCOMPARE(m_tester->debugMessage(), QStringLiteral("Fw block #%1 written").arg(i % 8));
        QCOMPARE(m_tester->nextBlockId(), quint8((i + 1) % 8));
        expected.append(frameHex(0x01, 0x02, blockData(i % 8)));
    }
    QCOMPARE(ids.count(), 9);
    QCOMPARE(toDevice(), expected);
    m_tester->readBlock();
    QVERIFY2(m_tester->debugMessage().startsWith(QStringLiteral("Fw block #1 read in ")), qPrintable(m_tester->debugMessage()));
    QCOMPARE(toDevice().last(), frameHex(0x00, 0x02, "01 01"));
    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, 0x02, 0x01, 1));
    m_tester->writeBlock();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Error"));
    QCOMPARE(m_tester->nextBlockId(), quint8(1));
    QCOMPARE(ids.count(), 9);
    V::setTiming(V::Timing()); // back to the main firmware for the cases that follow
    V::reboot();
    QTRY_COMPARE_WITH_TIMEOUT(connects, 2, kWait);
}

void TestTester::malformed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("why");
    auto row = [](const char *name, const char *text, const char *why) {
        QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(why);
    };
    row("odd digit count", "55000300010", "\"55000300010\" is not an even number of hexadecimal digits");
    row("not hexadecimal", "55 00 03 00 01 04 ff ag", "'g' is not a hexadecimal digit");
    row("no start byte", "56 00 03 00 01 04 ff a2", "56 is not a start byte (55 or aa)");
    row("length beyond the bytes", "55 00 04 00 01 04 ff a3", "the length 4 makes a frame of 9 bytes, not 8");
    row("checksum off by one", "55 00 03 00 01 04 ff a4", "checksum ffa4, the bytes need ffa3");
    row("two frames", "550003000104ffa3550003000104ffa3", "the length 3 makes a frame of 8 bytes, not 16");
}

// Refused with the reason, nothing posted: at the start, as the single request, and typed
// while the loop runs (which ends there).
void TestTester::malformed()
{
    QFETCH(QString, text);
    QFETCH(QString, why);
    QSignalSpy states(m_tester, &WdxProtocolTester::stateChanged);
    m_tester->setRawTestRequest(text);
    m_tester->startTest();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Test request refused: ") + why);
    QCOMPARE(m_tester->stateString(), QStringLiteral("Idle"));
    QCOMPARE(states.count(), 0);
    m_tester->setRawCustomRequest(text);
    m_tester->sendCustomRequest();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Custom request refused: ") + why);
    if (QByteArray(QTest::currentDataTag()) != "checksum off by one")
        return; // the same check, so once in the middle of a loop
    m_tester->setRawTestRequest(QString::fromLatin1(kStatusFrame));
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 2, kWait);
    m_tester->setRawTestRequest(text);
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Idle"), kWait);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Test request refused: ") + why);
    QTest::qWait(100);
    const QList<QByteArray> sent = toDevice();
    QCOMPARE(sent.count(kStatusFrame), sent.size());
    QCOMPARE(quint64(sent.size()), m_tester->queuedCount());
}

void TestTester::customRequest_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("plain") << "550003000102ffa5" << frameHex(0x00, 0x01, "02");
    QTest::newRow("blanks and capitals") << "\t55 00 03 00 01 02 FF A5\n" << frameHex(0x00, 0x01, "02");
    QTest::newRow("a write") << "55 00 06 01 03 40 10 20 30 ff 01" << frameHex(0x01, 0x03, "40 10 20 30");
}

// Sent byte for byte; the answer frame is shown.
void TestTester::customRequest()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    m_tester->setRawCustomRequest(text);
    m_tester->sendCustomRequest();
    QCOMPARE(toDevice(), QList<QByteArray>{frame});
    const std::vector<V::WireEntry> answers = V::frames(V::Direction::FromDevice);
    QCOMPARE(int(answers.size()), 1);
    const QString answer = QString::fromLatin1(hex(answers.front().bytes)).remove(' ');
    const QRegularExpression reply(QStringLiteral("^Reply %1 in \\d+ ms$").arg(answer));
    QVERIFY2(reply.match(m_tester->debugMessage()).hasMatch(), qPrintable(m_tester->debugMessage()));
}

void TestTester::oneRequestOut_data()
{
    QTest::addColumn<bool>("replug");
    QTest::newRow("quick replug") << true;
    QTest::newRow("stop and start") << false;
}

// A request of the loop still out (its answer lost) across a quick replug, which it carries on
// from, or across a stop and start, after which it belongs to no run: never a second chain.
void TestTester::oneRequestOut()
{
    QFETCH(bool, replug);
    const int timeout = replug ? 2500 : 1000;
    m_tester->setTimeout(timeout);
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, -1, -1, 1));
    QTRY_COMPARE_WITH_TIMEOUT(droppedAnswers(), 1, kWait);
    QCOMPARE(outstanding(), 1);
    if (replug) {
        V::unplug();
        QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Paused"), kWait);
        V::plug();
        QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Working"), kWait);
    } else {
        m_tester->stopTest();
        m_tester->startTest();
    }
    int most = 0; // the lost one's own, plus a new run's
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeout + 200) {
        most = qMax(most, outstanding());
        QTest::qWait(5);
    }
    QCOMPARE(most, replug ? 1 : 2);
    QVERIFY(outstanding() <= 1);
    QCOMPARE(m_tester->timeoutCount(), quint64(replug ? 1 : 0));
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->succeededCount() > 10, kWait);
}

// The bridge reset: paused until the link is back, then working on; one reset on the USB.
void TestTester::resetUartPausesUntilBack()
{
    QObject scope;
    QStringList states;
    connect(m_tester, &WdxProtocolTester::stateChanged, &scope, [&] { states << m_tester->stateString(); });
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    m_tester->resetUart();
    QTRY_COMPARE_WITH_TIMEOUT(states, QStringList({"Working", "Paused", "Working"}), kWait);
    const quint64 resumed = m_tester->queuedCount();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= resumed + 3, kWait);
    int resets = 0;
    for (const V::UsbEvent &u : V::usbLog())
        resets += u.kind == V::UsbKind::SetFeature && u.bytes.size() >= 2 && u.bytes[0] == 0x40 && u.bytes[1] == 0x00;
    QCOMPARE(resets, 1);
}

VELA_TEST_MAIN_GUI(TestTester)
#include "tst_tester.moc"
