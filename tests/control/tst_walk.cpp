// The application state machine: every transition driven by its signals alone (with the timers
// each state leaves running and its log lines), then the assembled device side's real walk.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "app/WdxManager.h"
#include "control/WdxStateMachine.h"

#include <QFile>

#include <algorithm>

using namespace ControlTest;

namespace {

const QString kWalk = QStringLiteral("WaitingWdx ReadStartupInfos CheckStatus ReadLockStatus ReadCurrentPreset "
                                     "CheckMainVersion CheckDspVersion CheckPresetVersion Polling");

QStringList words(const QString &text) { return text.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// The device side as the application assembles it, with the states it publishes.
class AppRig
{
public:
    explicit AppRig(const V::Timing &timing = V::Timing(), const std::function<void()> &prepare = {})
    {
        V::reset();
        V::setTiming(timing);
        if (prepare)
            prepare();
        V::plug();
        manager = new WdxManager;
        model = manager->model();
        QObject::connect(manager->stateMachine(), &WdxStateMachine::stateChanged, model,
                         [this](const QString &state) { states.append(state); });
    }
    ~AppRig() { delete manager; V::reset(); }
    bool reach(const QString &state, int ms = kWait) { return QTest::qWaitFor([&] { return model->state() == state; }, ms); }
    WdxController *controller() const { return manager->controller(); }

    WdxManager *manager;
    WdxModel *model;
    QStringList states;
};

} // namespace

class TestWalk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void transitions_data();
    void transitions();
    void walkFailAndUnplug();
    void mainVersionChangeWhilePolling();
    void lockAnswerBeforeItsState();
    void createStartDestroy();
};

void TestWalk::initTestCase()
{
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    WdxManager::setVersionCheckUrl(QString());
}

// From the start of the machine, the row's signals one after the other ("up": the way to
// polling): the state names it publishes (after the first n of the normal walk), one log line
// for each, and the timers left running (by interval).
void TestWalk::transitions_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("published");
    QTest::addColumn<QString>("timers");
    auto row = [](const char *name, const char *path, const char *published, const char *timers) {
        QTest::newRow(name) << QString(path) << QString(published) << QString(timers);
    };
    row("not loaded", "con name", "0", "");
    row("to polling", "up", "9", "250");
    row("unknown type", "load con badname", "2", "");
    row("identity, unplugged", "load con dis", "2 WaitingWdx", "");
    row("boot check", "load con name", "3", "1000 30000");
    row("boot check, unplugged", "load con name dis", "3 WaitingWdx", "30000");
    row("stuck in boot", "load con name tmo", "3 LockedOnBoot", "");
    row("stuck, uploaded", "load con name tmo fwMain dis fwDone", "3 LockedOnBoot UploadingMainFw Polling", "250");
    row("stuck, unplugged", "load con name tmo dis", "3 LockedOnBoot WaitingWdx", "");
    row("lock read, unplugged", "load con name main dis", "4 WaitingWdx", "");
    row("locked", "load con name main lck", "4 Polling", "250");
    row("locked, unlocked", "load con name main lck unl", "4 Polling ReadCurrentPreset", "");
    row("locked, failed", "load con name main lck fwFail", "4 Polling Failed WaitingWdx", "");
    row("locked, unplugged", "load con name main lck dis", "4 Polling WaitingWdx", "");
    row("stray signals", "load con name main mOk dOk fwDone unl", "5", "");
    row("preset, unplugged", "load con name main unl dis", "5 WaitingWdx", "");
    row("main differs", "load con name main unl preset mBad", "6 RequireMainFw", "");
    row("main upload fails", "load con name main unl preset mBad fwMain dis fwFail",
        "6 RequireMainFw UploadingMainFw Failed WaitingWdx", "");
    row("main version, unplugged", "load con name main unl preset dis", "6 WaitingWdx", "");
    row("required, unplugged", "load con name main unl preset mBad dis", "6 RequireMainFw WaitingWdx", "");
    row("dsp differs", "load con name main unl preset mOk dBad", "7 RequireMainFw", "");
    row("dsp version, unplugged", "load con name main unl preset mOk dis", "7 WaitingWdx", "");
    row("presets differ", "load con name main unl preset mOk dOk pBad", "8 RequireMainFw", "");
    row("preset version, unplugged", "load con name main unl preset mOk dOk dis", "8 WaitingWdx", "");
    row("main changed", "up mChg nameRead", "9 ReadStartupInfos CheckStatus", "1000 30000");
    row("dsp changed", "up dChg", "9 CheckDspVersion", "");
    row("preset upload", "up fwPre fwDone", "9 UploadingPreset Polling", "250");
    row("preset upload fails", "up fwPre fwFail", "9 UploadingPreset Failed WaitingWdx", "");
    row("preset upload, unplugged", "up fwPre dis", "9 UploadingPreset WaitingWdx", "");
    row("locked while polling", "up lck", "9", "250");
    row("locked and unlocked while polling", "up lck unl", "9 ReadCurrentPreset", "");
    row("failure while polling", "up fwFail", "9 Failed WaitingWdx", "");
    row("unplugged while polling", "up dis", "9 WaitingWdx", "");
}

void TestWalk::transitions()
{
    QFETCH(QString, path);
    QFETCH(QString, published);
    QFETCH(QString, timers);
    LogCapture log;
    WdxController controller; // never started: nothing is sent, and it is not connected
    WdxModel model;
    WdxStateMachine machine(&controller, &model);
    QStringList states;
    QObject::connect(&machine, &WdxStateMachine::stateChanged, [&](const QString &s) { states << s; });
    QSignalSpy loaded(&machine, &WdxStateMachine::applicationLoaded);
    WdxFirmwareUpdateController *fw = controller.firmwareUpdateController();
    const std::map<QString, std::function<void()>> triggers{
        {"load", [&] { emit fw->fwLoaded(); }}, {"con", [&] { emit controller.wdxConnected(); }},
        {"dis", [&] { emit controller.wdxDisconnected(); }},
        {"name", [&] { model.updateDeviceName(QStringLiteral("WDX-T-N 004217")); }},
        {"badname", [&] { model.updateDeviceName(QStringLiteral("WDX-X-X 004217")); }},
        {"nameRead", [&] { emit controller.deviceInfo()->deviceNameRead(model.name()); }},
        {"main", [&] { emit model.mainReached(); }}, {"tmo", [&] { machine.setWaitForMainInterval(1); QTest::qWait(30); }},
        {"lck", [&] { emit model.wdxLocked(); }}, {"unl", [&] { emit model.wdxUnlocked(); }},
        {"preset", [&] { emit controller.speaker()->speakerPresetRead(QStringLiteral("AA1"), QStringLiteral("AS1")); }},
        {"mOk", [&] { emit model.mainFwChecked(); }}, {"mBad", [&] { emit model.mainFwMismatch(); }},
        {"dOk", [&] { emit model.dspFwChecked(); }}, {"dBad", [&] { emit model.dspFwMismatch(); }},
        {"pOk", [&] { emit model.presetFwChecked(); }}, {"pBad", [&] { emit model.presetFwMismatch(); }},
        {"mChg", [&] { emit model.mainFwVersionChanged(); }}, {"dChg", [&] { emit model.dspFwVersionChanged(); }},
        {"fwMain", [&] { emit fw->mainFwUploadStarted(); }}, {"fwPre", [&] { emit fw->presetUploadStarted(); }},
        {"fwDone", [&] { emit fw->presetUploadCompleted(); }}, {"fwFail", [&] { emit fw->failed(); }},
    };
    machine.start();
    QCoreApplication::processEvents();
    for (const QString &trigger : words(path.replace(QLatin1String("up"), "load con name main unl preset mOk dOk pOk"))) {
        triggers.at(trigger)();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    QCOMPARE(states, words(kWalk).mid(0, published.section(' ', 0, 0).toInt()) + words(published).mid(1));
    QCOMPARE(machine.stateName(), states.isEmpty() ? QString() : states.last());
    QCOMPARE(loaded.count(), path.startsWith(QLatin1String("load")) ? 1 : 0);
    QStringList lines; // each published change logged once, and no line for a name kept
    for (int i = 0; i < states.size(); ++i)
        lines << QStringLiteral("Main App SM: %1 -> %2").arg(states.value(i - 1), states[i]);
    for (const QString &line : lines)
        QCOMPARE(log.count("WdxStateMachine", "setState", line), lines.count(line));
    QCOMPARE(log.count("WdxStateMachine", "setState", "Main App SM: Polling -> Polling"), 0);
    QStringList running;
    for (QTimer *timer : machine.findChildren<QTimer *>())
        running << (timer->isActive() ? QString::number(timer->interval()) : QString());
    running.removeAll(QString());
    std::sort(running.begin(), running.end(), [](const QString &a, const QString &b) { return a.size() < b.size(); });
    QCOMPARE(running.join(QLatin1Char(' ')), timers);
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
}

// The normal walk; once polling the boot check's status reads have stopped; a failure while
// the device stays is fatal until it is unplugged, which clears the model.
void TestWalk::walkFailAndUnplug()
{
    AppRig rig;
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QCOMPARE(rig.states, words(kWalk));
    V::clearLogs();
    QTest::qWait(1300);
    QCOMPARE(sent(0x00, 0x01, 0x04).size(), 0);
    rig.states.clear();
    emit rig.controller()->firmwareUpdateController()->failed();
    QVERIFY(rig.reach(QStringLiteral("FatalError")));
    QTest::qWait(300);
    QCOMPARE(rig.states, QStringList({"Failed", "FatalError"}));
    V::unplug();
    QVERIFY(rig.reach(QStringLiteral("WaitingWdx")));
    QCOMPARE(rig.model->name(), QStringLiteral("WDX"));
    QVERIFY(!rig.model->isConnected());
}

// While polling, a changed main version walks again from the identity, whose answers change
// nothing in the model.
void TestWalk::mainVersionChangeWhilePolling()
{
    AppRig rig(V::Timing::instant());
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    rig.states.clear();
    V::update([](V::DeviceState &s) { s.mainVersion = "2.02"; });
    rig.controller()->deviceInfo()->readMainFwVersion();
    QVERIFY(rig.reach(QStringLiteral("RequireMainFw")));
    QCOMPARE(rig.states, words(kWalk).mid(1, 5) + QStringList{"RequireMainFw"});
}

// A lock answer that came before the walk asks for it (a read re-posted from before a replug)
// must not leave the walk waiting for a change that never comes.
void TestWalk::lockAnswerBeforeItsState()
{
    AppRig rig(V::Timing::instant(), [] { V::update([](V::DeviceState &s) { s.locked = true; }); });
    QObject::connect(rig.manager->stateMachine(), &WdxStateMachine::stateChanged, rig.model, [&](const QString &state) {
        if (state == QLatin1String("CheckStatus"))
            rig.model->updateSecurityStatus(QStringLiteral("locked"));
    });
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QVERIFY(rig.model->isLocked());
}

// Created, started and deleted again and again, every other time with requests in flight: no
// thread is left running (and the sanitizers see no leak).
void TestWalk::createStartDestroy()
{
    V::reset();
    V::setTiming(V::Timing::instant());
    V::plug();
    const auto threadCount = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        return text.mid(text.indexOf("Threads:") + 8).split('\n').value(0).trimmed().toInt();
    };
    const int threadsBefore = threadCount();
    for (int round = 0; round < 4; ++round) {
        auto *controller = new WdxController;
        std::atomic<bool> running{false};
        QObject::connect(controller->processor(), &WdxRequestProcessor::started, controller->processor(),
                         [&running] { running = true; }, Qt::DirectConnection);
        controller->start();
        QVERIFY(QTest::qWaitFor([&] { return running.load(); }, kWait));
        controller->processor()->resume();
        if (round % 2 == 0) {
            QVERIFY(QTest::qWaitFor([&] { return controller->processor()->isConnected(); }, kWait));
            controller->deviceInfo()->readDeviceName();
            controller->gains()->writeOutputGains({1, 2, 3});
        }
        delete controller;
        flushDeferredDeletes();
    }
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= threadsBefore, kWait);
}

VELA_TEST_MAIN_CORE(TestWalk)
#include "tst_walk.moc"
