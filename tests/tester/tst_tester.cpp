// The protocol tester through the whole stack against the virtual Wdx: the loop's counts and
// texts against the device's wire log, unplugging and bridge resets in the middle of a loop,
// every diagnostic request byte for byte, the firmware walk in the boot loader, typed frames
// that must not reach the wire, and the tester's place in the application root.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "app/VelaManager.h"
#include "app/WdxManager.h"
#include "protocol/WdxRequestBuilder.h"
#include "tester/WdxProtocolTester.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <memory>

using namespace ControlTest;

namespace {

const QByteArray kStatusFrame = "55 00 03 00 01 04 ff a3";

// The frame the virtual device's own encoder makes of these fields, as spaced hexadecimal.
QByteArray frameHex(int cmd, int op, const QByteArray &dataHex)
{
    return hex(V::frame(quint8(cmd), quint8(op), bytes(dataHex)));
}

QByteArray blockData(int id)
{
    return QByteArray("01 ") + QByteArray::number(id, 16).rightJustified(2, '0') + QByteArray(" 00").repeated(512);
}

QList<QByteArray> toDevice()
{
    QList<QByteArray> out;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice))
        out.append(hex(e.bytes));
    return out;
}

int droppedAnswers()
{
    const std::vector<V::WireEntry> log = V::wireLog();
    return int(std::count_if(log.begin(), log.end(), [](const V::WireEntry &e) { return e.has(V::Dropped); }));
}

bool matches(const QString &text, const QString &pattern)
{
    return QRegularExpression(pattern).match(text).hasMatch();
}

// Requests of this owner that no thread will touch again: finished, or dropped from the queues.
bool released(QObject *owner, WdxRequestProcessor *processor)
{
    for (WdxRequest *request : owner->findChildren<WdxRequest *>()) {
        if (!request->isCompleted() && !(request->status() == WdxRequest::Idle && processor->waitingCount() == 0))
            return false;
    }
    return true;
}

} // namespace

class TestTester : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void rootPublishesTester();
    void initialValues();
    void setters_data();
    void setters();
    void derivedTexts_data();
    void derivedTexts();
    void loopAgainstDevice();
    void startWhileWorking();
    void unpostable_data();
    void unpostable();
    void unplugPausesReplugResumes();
    void resetUartPausesUntilBack();
    void quickReplugKeepsOneRequestOut();
    void restartWhileOneIsOut();
    void singleShots_data();
    void singleShots();
    void firmwareWalk();
    void malformed_data();
    void malformed();
    void malformedMidLoop();
    void customRequest_data();
    void customRequest();

private:
    WdxRequestProcessor *processor() const { return m_rig->controller->processor(); }
    // Waits until this owner's requests are out of every thread's hands.
    void release(QObject *owner)
    {
        for (int pass = 0; pass < 2; ++pass) {
            QVERIFY(QTest::qWaitFor([&] { return released(owner, processor()); }, kWait));
            // One taken from the queue may still wait out the write spacing as Idle.
            QTest::qWait(processor()->interval() + 50);
        }
        flushDeferredDeletes();
    }
    // A stopped loop: everything queued was answered, timed out or failed, but for the one
    // that was out when it stopped.
    void verifyCountsAddUp()
    {
        const quint64 done = m_tester->succeededCount() + m_tester->timeoutCount() + m_tester->errorCount();
        QVERIFY2(done == m_tester->queuedCount() || done + 1 == m_tester->queuedCount(),
                 qPrintable(QStringLiteral("queued %1, done %2").arg(m_tester->queuedCount()).arg(done)));
    }

    // The loop's requests not finished yet.
    int outstanding() const
    {
        int n = 0;
        for (WdxRequest *request : m_tester->findChildren<WdxRequest *>())
            n += request->isCompleted() ? 0 : 1;
        return n;
    }

    std::unique_ptr<StackRig> m_rig;
    WdxProtocolTester *m_tester = nullptr;
};

void TestTester::initTestCase()
{
    WdxManager::setVersionCheckUrl(QString());
    V::reset();
}

void TestTester::init()
{
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    if (qstrcmp(QTest::currentTestFunction(), "rootPublishesTester") == 0)
        return;
    if (!m_rig) {
        m_rig.reset(new StackRig());
        QVERIFY(m_rig->start());
    }
    V::clearAnswerRules();
    V::setFaults(V::Faults());
    V::setState(V::DeviceState());
    if (!V::status().plugged)
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
    if (!m_tester)
        return;
    m_tester->stopTest();
    release(m_tester);
    delete m_tester;
    m_tester = nullptr;
}

void TestTester::cleanupTestCase()
{
    m_rig.reset();
}

void TestTester::rootPublishesTester()
{
    // Nothing plugged in: the root's own device side finds no bridge.
    VelaManager manager;
    QQmlContext *context = manager.view()->rootContext();
    auto *tester = qobject_cast<WdxProtocolTester *>(context->contextProperty("protocolTester").value<QObject *>());
    QVERIFY(tester);
    QCOMPARE(tester->parent(), &manager);
    QVERIFY(tester->requestProcessor());
    QCOMPARE(tester->requestProcessor(), manager.deviceManager()->controller()->processor());

    QQmlComponent component(manager.view()->engine());
    component.setData("import com.orvo.qmlcomponents 1.0\nWdxProtocolTester { maxRetry: 2 }", QUrl());
    QScopedPointer<QObject> made(component.create());
    QVERIFY2(made, qPrintable(component.errorString()));
    QCOMPARE(made->property("maxRetry").toInt(), 2);
    QCOMPARE(made->property("stateString").toString(), QStringLiteral("Idle"));
}

void TestTester::initialValues()
{
    QCOMPARE(m_tester->stateString(), QStringLiteral("Idle"));
    QCOMPARE(m_tester->debugMessage(), QString());
    QCOMPARE(m_tester->successRate(), QStringLiteral("0%"));
    QCOMPARE(m_tester->averageTime(), QStringLiteral("0"));
    QCOMPARE(m_tester->rawTestRequest(), QString::fromLatin1(kStatusFrame).remove(QLatin1Char(' ')));
    QCOMPARE(m_tester->rawCustomRequest(), m_tester->rawTestRequest());
    QCOMPARE(m_tester->property("nextBlockId").toInt(), 0);
    QCOMPARE(m_tester->maxRetry(), 0);
    QCOMPARE(m_tester->runForever(), false);
    QCOMPARE(m_tester->interval(), WdxRequestProcessor::kDefaultInterval);
    QCOMPARE(m_tester->timeout(), WdxController::kReplyTimeoutMs);
    for (int state : {0, 1, 2, 3, -1})
        QCOMPARE(WdxProtocolTester::stateText(state),
                 QStringList({"Idle", "Working", "Paused"}).value(state));
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
    QVERIFY(property.isWritable() && property.hasNotifySignal());
    QSignalSpy changes(m_tester, QByteArray("2" + property.notifySignal().methodSignature()).constData());
    const QVariant before = m_tester->property(name);
    QVERIFY(before != value);
    QVERIFY(m_tester->setProperty(name, value));
    QVERIFY(m_tester->setProperty(name, value));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(m_tester->property(name), value);
    if (name == "interval")
        QCOMPARE(processor()->interval(), value.toInt());
    if (name == "timeout")
        QCOMPARE(processor()->timeout(), value.toInt());
    QVERIFY(m_tester->setProperty(name, before));
    QCOMPARE(changes.count(), 2);
}

void TestTester::derivedTexts_data()
{
    QTest::addColumn<quint64>("succeeded");
    QTest::addColumn<quint64>("written");
    QTest::addColumn<qint64>("totalMs");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("average");
    QTest::newRow("nothing written") << quint64(0) << quint64(0) << qint64(0) << "0%" << "0";
    QTest::newRow("3 of 4 in 30 ms") << quint64(3) << quint64(4) << qint64(30) << "75%" << "7.5 ms";
    QTest::newRow("none answered") << quint64(0) << quint64(5) << qint64(0) << "0%" << "0 ms";
    QTest::newRow("six digits") << quint64(1) << quint64(3) << qint64(10) << "33.3333%" << "3.33333 ms";
    QTest::newRow("exponent") << quint64(2) << quint64(2) << qint64(2469134) << "100%" << "1.23457e+06 ms";
}

void TestTester::derivedTexts()
{
    QFETCH(quint64, succeeded);
    QFETCH(quint64, written);
    QFETCH(qint64, totalMs);
    QFETCH(QString, rate);
    QFETCH(QString, average);
    QCOMPARE(WdxProtocolTester::successRateText(succeeded, written), rate);
    QCOMPARE(WdxProtocolTester::averageTimeText(totalMs, written), average);
}

// 200 requests, one in ten answers lost: the tester's counts and texts against the wire.
void TestTester::loopAgainstDevice()
{
    constexpr int kRequests = 200;
    V::Faults faults;
    faults.seed = 12;
    faults.dropReply = 0.1;
    V::setFaults(faults);

    QObject scope;
    int replies = 0, timeouts = 0, states = 0, statusLines = 0;
    QStringList wrongLines;
    connect(m_tester, &WdxProtocolTester::replyReceived, &scope, [&] { ++replies; });
    connect(m_tester, &WdxProtocolTester::timeoutReceived, &scope, [&] { ++timeouts; });
    connect(m_tester, &WdxProtocolTester::stateChanged, &scope, [&] { ++states; });
    // The 200th request is the last: once it is written the loop is told to end with it.
    connect(m_tester, &WdxProtocolTester::successRateChanged, &scope, [&] {
        if (m_tester->queuedCount() == kRequests)
            m_tester->setRunForever(false);
    });
    // Each status line against what the test has seen: outcomes so far, frames on the wire.
    const QRegularExpression statusLine(QStringLiteral(
        "^(\\d+) of (\\d+), success rate: [^,]+%, avg time: [^,]+, errors: (\\d+), timeouts: (\\d+)$"));
    connect(m_tester, &WdxProtocolTester::debugMessageChanged, &scope, [&] {
        const QRegularExpressionMatch m = statusLine.match(m_tester->debugMessage());
        if (!m.hasMatch())
            return;
        ++statusLines;
        if (m.captured(1).toInt() != replies + timeouts || m.captured(2).toInt() != int(toDevice().size())
            || m.captured(3) != QLatin1String("0") || m.captured(4).toInt() != timeouts)
            wrongLines.append(m_tester->debugMessage());
    });

    m_tester->startTest();
    QCOMPARE(m_tester->stateString(), QStringLiteral("Working"));
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Idle"), 120000);

    QCOMPARE(states, 2);
    QCOMPARE(m_tester->queuedCount(), quint64(kRequests));
    QCOMPARE(m_tester->writtenCount(), quint64(kRequests));
    QCOMPARE(m_tester->succeededCount() + m_tester->timeoutCount() + m_tester->errorCount(), quint64(kRequests));
    QCOMPARE(m_tester->errorCount(), quint64(0));
    QCOMPARE(statusLines, kRequests - 1);
    QVERIFY2(wrongLines.isEmpty(), qPrintable(wrongLines.join(QLatin1Char('\n'))));

    const QList<QByteArray> sent = toDevice();
    QCOMPARE(sent.size(), kRequests);
    QCOMPARE(sent.count(kStatusFrame), kRequests);
    int answered = 0, dropped = 0;
    double wireMs = 0;
    V::Clock::time_point asked{};
    for (const V::WireEntry &e : V::wireLog()) {
        if (e.kind != V::Kind::Frame)
            continue;
        if (e.direction == V::Direction::ToDevice) {
            asked = e.begin;
        } else if (e.has(V::Dropped)) {
            ++dropped;
        } else {
            ++answered;
            wireMs += std::chrono::duration<double, std::milli>(e.end - asked).count();
        }
    }
    QVERIFY(dropped > 0);
    QCOMPARE(replies, answered);
    QCOMPARE(int(m_tester->succeededCount()), answered);
    QCOMPARE(timeouts, dropped);
    QCOMPARE(int(m_tester->timeoutCount()), dropped);

    const QString rate = QString::number(answered * 100.0 / kRequests, 'g', 6) + QLatin1Char('%');
    QCOMPARE(m_tester->successRate(), rate);
    // The tester's clock runs from the write to the handled answer, in whole milliseconds: at
    // most one below the wire's time per answer, and a little above it for the threads.
    const QRegularExpressionMatch average =
        QRegularExpression(QStringLiteral("avg time: ([^ ]+) ms")).match(m_tester->debugMessage());
    QVERIFY(average.hasMatch());
    const double shown = average.captured(1).toDouble();
    const double wireAverage = wireMs / kRequests;
    QVERIFY2(shown >= wireAverage - 1.0 && shown <= wireAverage + 8.0,
             qPrintable(QStringLiteral("shown %1 ms, wire %2 ms").arg(shown).arg(wireAverage)));
    QCOMPARE(m_tester->debugMessage(),
             QStringLiteral("Test completed, success rate: %1, avg time: %2 ms, total queued: 200, total timeout: %3, "
                            "total errors: 0")
                 .arg(rate, average.captured(1))
                 .arg(dropped));
}

void TestTester::startWhileWorking()
{
    LogCapture capture;
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    QSignalSpy states(m_tester, &WdxProtocolTester::stateChanged);
    const quint64 queued = m_tester->queuedCount();
    m_tester->startTest();
    QCOMPARE(capture.count("WdxProtocolTester", "startTest", "process is running"), 1);
    QCOMPARE(states.count(), 0);
    QCOMPARE(m_tester->stateString(), QStringLiteral("Working"));
    QVERIFY(m_tester->queuedCount() >= queued);
    // Still one request at a time: never more than one waiting or in flight.
    for (int i = 0; i < 20; ++i) {
        QVERIFY(m_tester->findChildren<WdxRequest *>().size() <= 2);
        QVERIFY(processor()->waitingCount() <= 1);
        QTest::qWait(10);
    }
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
}

void TestTester::unpostable_data()
{
    QTest::addColumn<bool>("withProcessor");
    QTest::newRow("stopped processor") << true;
    QTest::newRow("no processor") << false;
}

// A request that cannot be posted: Working, then Idle without a second stateChanged.
void TestTester::unpostable()
{
    QFETCH(bool, withProcessor);
    WdxRequestProcessor stopped(false);
    stopped.stop();
    WdxProtocolTester tester;
    if (withProcessor)
        tester.setRequestProcessor(&stopped);
    QSignalSpy states(&tester, &WdxProtocolTester::stateChanged);
    tester.startTest();
    QCOMPARE(states.count(), 1);
    QTRY_COMPARE(tester.stateString(), QStringLiteral("Idle"));
    QTest::qWait(50);
    flushDeferredDeletes();
    QCOMPARE(states.count(), 1);
    QCOMPARE(tester.queuedCount(), quint64(0));
    QCOMPARE(tester.errorCount(), quint64(0));
    QVERIFY(tester.findChildren<WdxRequest *>().isEmpty());
    QVERIFY(toDevice().isEmpty());
}

void TestTester::unplugPausesReplugResumes()
{
    QObject scope;
    QStringList states, messages;
    connect(m_tester, &WdxProtocolTester::stateChanged, &scope, [&] { states.append(m_tester->stateString()); });
    connect(m_tester, &WdxProtocolTester::debugMessageChanged, &scope, [&] { messages.append(m_tester->debugMessage()); });
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 5, kWait);

    V::unplug();
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Paused"), kWait);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Device disconnected, reconnect to restart testing"));
    // The request that was out ends within one time-out; after that the loop stands still.
    QTest::qWait(WdxController::kReplyTimeoutMs + 150);
    const quint64 queued = m_tester->queuedCount();
    const int frames = toDevice().size();
    QTest::qWait(500);
    QCOMPARE(m_tester->queuedCount(), queued);
    QCOMPARE(toDevice().size(), frames);
    QCOMPARE(m_tester->stateString(), QStringLiteral("Paused"));

    V::plug();
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Working"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= queued + 5, kWait);
    QCOMPARE(states, QStringList({"Working", "Paused", "Working"}));
    QVERIFY(messages.contains(QStringLiteral("Test restarted")));
    QVERIFY(toDevice().size() > frames);

    // Stopping clears the processor's queues, the loop's and everybody else's.
    processor()->setInterval(1000);
    QTest::qWait(50);
    for (quint8 channel = 0; channel < 3; ++channel) {
        auto *request = new WdxRequest(WdxRequestBuilder::readCompressorMessage(channel), &scope);
        QVERIFY(processor()->postRequest(request, 0));
    }
    QVERIFY(processor()->waitingCount() >= 2);
    m_tester->stopTest();
    QCOMPARE(processor()->waitingCount(), 0);
    QCOMPARE(m_tester->stateString(), QStringLiteral("Idle"));
    QCOMPARE(m_tester->runForever(), false);
    processor()->setInterval(WdxRequestProcessor::kDefaultInterval);
    release(&scope);
    release(m_tester);
    verifyCountsAddUp();
    QCOMPARE(states.last(), QStringLiteral("Idle"));
}

void TestTester::resetUartPausesUntilBack()
{
    QObject scope;
    int disconnects = 0, connects = 0;
    QStringList states;
    connect(processor(), &WdxRequestProcessor::wdxDisconnected, &scope, [&] { ++disconnects; });
    connect(processor(), &WdxRequestProcessor::wdxConnected, &scope, [&] { ++connects; });
    connect(m_tester, &WdxProtocolTester::stateChanged, &scope, [&] { states.append(m_tester->stateString()); });
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);

    m_tester->resetUart();
    QTRY_COMPARE_WITH_TIMEOUT(disconnects, 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(connects, 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Working"), kWait);
    const quint64 resumed = m_tester->queuedCount();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= resumed + 3, kWait);
    QCOMPARE(states, QStringList({"Working", "Paused", "Working"}));

    int resets = 0;
    for (const V::UsbEvent &u : V::usbLog())
        resets += u.kind == V::UsbKind::SetFeature && u.bytes.size() >= 2 && u.bytes[0] == 0x40 && u.bytes[1] == 0x00;
    QCOMPARE(resets, 1);
    m_tester->stopTest();
    release(m_tester);
    verifyCountsAddUp();
}

// Back before the request that was out has timed out: that request carries the loop on, and
// resuming adds no second one.
void TestTester::quickReplugKeepsOneRequestOut()
{
    m_tester->setTimeout(3000);
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, -1, -1, 1));
    QTRY_COMPARE_WITH_TIMEOUT(droppedAnswers(), 1, kWait);
    QCOMPARE(outstanding(), 1);
    V::unplug();
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Paused"), kWait);
    V::plug();
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Working"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->timeoutCount(), quint64(1), kWait);
    for (int i = 0; i < 100; ++i) {
        QVERIFY2(outstanding() <= 1, "two requests of the loop out at once");
        QTest::qWait(5);
    }
    m_tester->stopTest();
    release(m_tester);
    verifyCountsAddUp();
}

// Stopped and started again while a request of the first run is still out: its late outcome
// belongs to no run, and it posts nothing.
void TestTester::restartWhileOneIsOut()
{
    m_tester->setTimeout(1500);
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, -1, -1, 1));
    QTRY_COMPARE_WITH_TIMEOUT(droppedAnswers(), 1, kWait);
    m_tester->stopTest();
    m_tester->startTest();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        QVERIFY2(outstanding() <= 2, "a second chain of requests");
        QTest::qWait(5);
    }
    QVERIFY(outstanding() <= 1);
    QCOMPARE(m_tester->timeoutCount(), quint64(0));
    QVERIFY(m_tester->succeededCount() > 10);
    m_tester->stopTest();
    release(m_tester);
    verifyCountsAddUp();
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
        QTest::newRow(name) << QByteArray(slot) << argument << QString::fromLatin1(fault) << frame
                            << QString::fromLatin1(text);
    };
    row("device type", "getDeviceType", -1, "", frameHex(0x00, 0x01, "00"), "^WDX-T-N$");
    row("serial number", "getSN", -1, "", frameHex(0x00, 0x01, "02"), "^Device SN is 004217$");
    row("status", "getStatus", -1, "", kStatusFrame, "^Device status is main mode$");
    row("firmware state", "getFwStatus", -1, "", frameHex(0x00, 0x02, "00"), "^Fw status is 0, executed in \\d+ ms$");
    row("firmware state set", "setFwStatus", 0, "", frameHex(0x01, 0x02, "00 00"), "^Fw status set to 0$");
    // The device never answers a closing state.
    row("firmware state closing", "setFwStatus", 0x81, "", frameHex(0x01, 0x02, "00 81 00 08 00 00 00 00"), "^Error$");
    row("block read", "readBlock", -1, "", frameHex(0x00, 0x02, "01 00"), "^Fw block #0 read in \\d+ ms$");
    row("boot lock outside the boot loader", "lockOnBoot", -1, "", frameHex(0x00, 0x00, ""), "^Lock on boot sent$");
    row("type, answer lost", "getDeviceType", -1, "drop", frameHex(0x00, 0x01, "00"), "^Timeout$");
    row("serial, answer lost", "getSN", -1, "drop", frameHex(0x00, 0x01, "02"), "^Timeout$");
    row("status, answer lost", "getStatus", -1, "drop", kStatusFrame, "^Timeout$");
    row("firmware state, answer lost", "getFwStatus", -1, "drop", frameHex(0x00, 0x02, "00"), "^Timeout$");
    row("firmware state set, answer lost", "setFwStatus", 1, "drop", frameHex(0x01, 0x02, "00 01"), "^Error$");
    row("block write, answer lost", "writeBlock", -1, "drop", frameHex(0x01, 0x02, blockData(0)), "^Error$");
    row("block read, answer lost", "readBlock", -1, "drop", frameHex(0x00, 0x02, "01 00"), "^Timeout$");
    row("serial, unplugged", "getSN", -1, "unplugged", QByteArray(), "^Not Sent$");
    row("reboot, unplugged", "reset", -1, "unplugged", QByteArray(), "^Not Sent$");
    row("boot lock, unplugged", "lockOnBoot", -1, "unplugged", QByteArray(), "^Not Sent$");
    row("block write, unplugged", "writeBlock", -1, "unplugged", QByteArray(), "^Error$");
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
    const bool invoked = argument < 0
        ? QMetaObject::invokeMethod(m_tester, slot.constData())
        : QMetaObject::invokeMethod(m_tester, slot.constData(), Q_ARG(quint8, quint8(argument)));
    QVERIFY(invoked);
    QVERIFY2(matches(m_tester->debugMessage(), text), qPrintable(m_tester->debugMessage()));
    // A request without reply is done once written: its last byte may still be on the line.
    if (frame.isEmpty()) {
        QTest::qWait(100);
        QCOMPARE(toDevice(), QList<QByteArray>());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(toDevice(), QList<QByteArray>{frame}, kWait);
    }
    QCOMPARE(m_tester->nextBlockId(), quint8(0));
    if (fault != QLatin1String("unplugged")) {
        QCOMPARE(V::status().mode, V::RunMode::Main);
        QVERIFY(!V::status().bootLocked);
    }
}

// Reboot, hold the boot loader, open a download and walk the block ids.
void TestTester::firmwareWalk()
{
    V::Timing timing;
    timing.bootWindowMs = 4000;
    V::setTiming(timing);
    QObject scope;
    int disconnects = 0, connects = 0;
    QElapsedTimer back;
    connect(processor(), &WdxRequestProcessor::wdxDisconnected, &scope, [&] { ++disconnects; });
    connect(processor(), &WdxRequestProcessor::wdxConnected, &scope, [&] {
        ++connects;
        back.start();
    });

    m_tester->reset();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Reset done"));
    QTRY_COMPARE_WITH_TIMEOUT(toDevice(), QList<QByteArray>{frameHex(0x01, 0x00, "")}, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(disconnects, 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(connects, 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(processor()->isConnected(), kWait);
    QCOMPARE(V::status().mode, V::RunMode::Boot);

    V::clearLogs();
    m_tester->lockOnBoot();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Lock on boot sent"));
    QTRY_COMPARE_WITH_TIMEOUT(toDevice(), QList<QByteArray>{frameHex(0x00, 0x00, "")}, kWait);
    QTRY_VERIFY(V::status().bootLocked);
    m_tester->getStatus();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Device status is boot mode"));
    m_tester->setFwStatus(1);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Fw status set to 1"));
    QCOMPARE(V::status().mainFwState, quint8(1));

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

    V::clearLogs();
    m_tester->readBlock();
    QVERIFY2(matches(m_tester->debugMessage(), "^Fw block #1 read in \\d+ ms$"), qPrintable(m_tester->debugMessage()));
    QCOMPARE(toDevice(), QList<QByteArray>{frameHex(0x00, 0x02, "01 01")});
    m_tester->getFwStatus();
    QVERIFY2(matches(m_tester->debugMessage(), "^Fw status is 1, executed in \\d+ ms$"), qPrintable(m_tester->debugMessage()));

    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, 0x02, 0x01, 1));
    m_tester->writeBlock();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Error"));
    QCOMPARE(m_tester->nextBlockId(), quint8(1));
    QCOMPARE(ids.count(), 9);

    V::clearLogs();
    m_tester->setFwStatus(0x81);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Error"));
    QCOMPARE(toDevice(), QList<QByteArray>{frameHex(0x01, 0x02, "00 81 00 08 00 00 00 00")});

    // Held past its boot window.
    QTest::qWait(qMax(0, timing.bootWindowMs + 300 - int(back.elapsed())));
    QCOMPARE(V::status().mode, V::RunMode::Boot);
    QVERIFY(V::status().bootLocked);

    // Back to the main firmware for the cases that follow.
    V::setTiming(V::Timing());
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
    row("odd group", "55 0 03 00 01 04 ff a3", "\"0\" is not an even number of hexadecimal digits");
    row("not hexadecimal", "55 00 03 00 01 04 ff ag", "'g' is not a hexadecimal digit");
    row("separator", "55:00:03:00:01:04:ff:a3", "':' is not a hexadecimal digit");
    row("empty", "", "no bytes");
    row("blanks only", "  \t ", "no bytes");
    row("no start byte", "56 00 03 00 01 04 ff a2", "56 is not a start byte (55 or aa)");
    row("too short", "55 00 02 00", "4 bytes are too few for a frame (at least 7)");
    row("length without OP", "55 00 01 00 ff aa 00", "the length 1 does not cover CMD and OP");
    row("length beyond the bytes", "55 00 04 00 01 04 ff a3", "the length 4 makes a frame of 9 bytes, not 8");
    row("trailing byte", "55 00 03 00 01 04 ff a3 00", "the length 3 makes a frame of 8 bytes, not 9");
    row("two frames", "550003000104ffa3550003000104ffa3", "the length 3 makes a frame of 8 bytes, not 16");
    row("checksum off by one", "55 00 03 00 01 04 ff a4", "checksum ffa4, the bytes need ffa3");
}

// Refused with the reason, and nothing reaches the processor or the wire.
void TestTester::malformed()
{
    QFETCH(QString, text);
    QFETCH(QString, why);
    QSignalSpy states(m_tester, &WdxProtocolTester::stateChanged);
    m_tester->setRawTestRequest(text);
    m_tester->startTest();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Test request refused: ") + why);
    QCOMPARE(m_tester->stateString(), QStringLiteral("Idle"));

    m_tester->setRawCustomRequest(text);
    m_tester->sendCustomRequest();
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Custom request refused: ") + why);

    QTest::qWait(100);
    QCOMPARE(states.count(), 0);
    QCOMPARE(m_tester->queuedCount(), quint64(0));
    QVERIFY(m_tester->findChildren<WdxRequest *>().isEmpty());
    QVERIFY(toDevice().isEmpty());
}

// Text changed to garbage while the loop runs: it ends there and nothing more is sent.
void TestTester::malformedMidLoop()
{
    m_tester->startTest();
    QTRY_VERIFY_WITH_TIMEOUT(m_tester->queuedCount() >= 3, kWait);
    m_tester->setRawTestRequest(QStringLiteral("55 00 03 00 01 04 ff zz"));
    QTRY_COMPARE_WITH_TIMEOUT(m_tester->stateString(), QStringLiteral("Idle"), kWait);
    QCOMPARE(m_tester->debugMessage(), QStringLiteral("Test request refused: 'z' is not a hexadecimal digit"));
    release(m_tester);
    const QList<QByteArray> sent = toDevice();
    QCOMPARE(sent.count(kStatusFrame), sent.size());
    QCOMPARE(quint64(sent.size()), m_tester->queuedCount());
    QTest::qWait(200);
    QCOMPARE(toDevice().size(), sent.size());
}

void TestTester::customRequest_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("plain") << "550003000102ffa5" << frameHex(0x00, 0x01, "02");
    QTest::newRow("blanks and capitals") << "55 00 03 00 01 02 FF A5" << frameHex(0x00, 0x01, "02");
    QTest::newRow("blanks around") << "\t55 00 03 00 01 03 ff a4\n" << frameHex(0x00, 0x01, "03");
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
    const QString answer = QString::fromLatin1(hex(answers.front().bytes)).remove(QLatin1Char(' '));
    QVERIFY2(matches(m_tester->debugMessage(), QStringLiteral("^Reply %1 in \\d+ ms$").arg(answer)),
             qPrintable(m_tester->debugMessage()));
}

VELA_TEST_MAIN_GUI(TestTester)

#include "tst_tester.moc"
