// The assembled device side against the virtual Wdx with its real timers: the start-up walk
// in every variant, uploads, failures, unplugging in every state, and what each screen polls.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "VirtualWdx.h"
#include "app/WdxManager.h"
#include "control/WdxController.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_SecuritySettings.h"
#include "control/WdxStateMachine.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "logger/QLoggerManager.h"
#include "models/WdxModel.h"
#include "models/WdxOutputItem.h"

#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <set>

namespace V = VirtualWdx;

namespace {

constexpr int kWait = 20000;
constexpr int kUploadWait = 120000;

const QStringList kNormalWalk{"WaitingWdx", "ReadStartupInfos", "CheckStatus", "ReadLockStatus", "ReadCurrentPreset",
                              "CheckMainVersion", "CheckDspVersion", "CheckPresetVersion", "Polling"};

// The device side as the application assembles it, with the states it publishes.
class AppRig
{
public:
    explicit AppRig(const std::function<void()> &prepare = {}, const V::Timing &timing = V::Timing())
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
    ~AppRig()
    {
        delete manager;
        V::reset();
    }
    bool reach(const QString &state, int ms = kWait)
    {
        return QTest::qWaitFor([&] { return model->state() == state; }, ms);
    }
    WdxController *controller() const { return manager->controller(); }

    WdxManager *manager;
    WdxModel *model;
    QStringList states;
};

V::AnswerRule dropping(int op, int subCode)
{
    return ControlTest::aimed(V::AnswerRule::Action::Drop, op, subCode);
}

} // namespace

class TestWalk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void plugToPolling();
    void lockAnswerBeforeItsState_data();
    void lockAnswerBeforeItsState();
    void lockedDevice();
    void versionsDiffer();
    void stuckInBootLoader();
    void speakerPresetChange();
    void failedUpload();
    void unplugInEveryState_data();
    void unplugInEveryState();
    void versionChangeWhilePolling_data();
    void versionChangeWhilePolling();
    void screenPolling_data();
    void screenPolling();
    void mainScreenGains();
    void realWaitForMain();
    void faultRun();
};

void TestWalk::initTestCase()
{
    QLogger::QLoggerManager::setOutputMode(qEnvironmentVariableIsSet("WALK_LOG") ? QLogger::LogConsole : QLogger::LogOff);
    WdxManager::setVersionCheckUrl(QString());
}

void TestWalk::plugToPolling()
{
    AppRig rig;
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QCOMPARE(rig.states, kNormalWalk);
    QCOMPARE(rig.model->name(), QStringLiteral("WDX-T-N 004217"));
    QCOMPARE(rig.model->getOutput(1)->speakerId(), QStringLiteral("AS1"));
}

// A lock answer that arrives before the walk asks for it (a read re-posted from the polling
// before a replug) must not leave the walk waiting for a change that never comes.
void TestWalk::lockAnswerBeforeItsState_data()
{
    QTest::addColumn<bool>("locked");
    QTest::newRow("unlocked") << false;
    QTest::newRow("locked") << true;
}

void TestWalk::lockAnswerBeforeItsState()
{
    QFETCH(bool, locked);
    AppRig rig([&] { V::update([&](V::DeviceState &s) { s.locked = locked; }); });
    QObject::connect(rig.manager->stateMachine(), &WdxStateMachine::stateChanged, rig.model, [&](const QString &state) {
        if (state == QLatin1String("CheckStatus"))
            rig.model->updateSecurityStatus(locked ? QStringLiteral("locked") : QStringLiteral("unlocked"));
    });
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QCOMPARE(rig.model->isLocked(), locked);
}

// Locked: polls without the preset and version checks until the right PIN opens it.
void TestWalk::lockedDevice()
{
    AppRig rig([] { V::update([](V::DeviceState &s) { s.locked = true; s.pin = "2468"; }); });
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QCOMPARE(rig.states, kNormalWalk.mid(0, 4) + QStringList{"Polling"});
    QVERIFY(rig.model->isLocked());
    QVERIFY(!rig.controller()->security()->unlock(QStringLiteral("1357")));
    QVERIFY(rig.controller()->security()->unlock(QStringLiteral("2468")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.states.mid(5), kNormalWalk.mid(4), kWait);
    QVERIFY(!rig.model->isLocked());
}

// Versions that differ ask for the firmware; the upload brings the device to the package's.
void TestWalk::versionsDiffer()
{
    AppRig rig([] {
        V::update([](V::DeviceState &s) {
            s.dspVersion = "1.00";
            s.fallbackImageVersion = "0.00";
        });
    }, V::Timing::instant());
    QVERIFY(rig.reach(QStringLiteral("RequireMainFw")));
    QCOMPARE(rig.states.mid(0, 7), kNormalWalk.mid(0, 7));
    rig.model->uploadFirmware();
    QVERIFY(rig.reach(QStringLiteral("UploadingMainFw")));
    QVERIFY(rig.reach(QStringLiteral("Polling"), kUploadWait));
    QCOMPARE(QString::fromStdString(V::state().mainVersion), rig.manager->firmwareDb()->mainFwVersion());
    QCOMPARE(QString::fromStdString(V::state().dspVersion), rig.manager->firmwareDb()->dspFwVersion());
}

// A device stuck in its boot loader: the fatal screen after the wait, the recovery code,
// and a main image that cures it.
void TestWalk::stuckInBootLoader()
{
    AppRig rig([] {
        V::Faults f;
        f.bootLoaderFault = true;
        V::setFaults(f);
    }, V::Timing::instant());
    rig.manager->stateMachine()->setWaitForMainInterval(3000);
    QVERIFY(rig.reach(QStringLiteral("LockedOnBoot")));
    QCOMPARE(rig.states, kNormalWalk.mid(0, 3) + QStringList{"LockedOnBoot"});
    QVERIFY(rig.model->isValidPuk(WdxModel::recoveryCode(QStringLiteral("004217"))));
    rig.model->uploadFirmware();
    QVERIFY(rig.reach(QStringLiteral("UploadingMainFw")));
    QVERIFY(rig.reach(QStringLiteral("Polling"), kUploadWait));
    QVERIFY(!V::faults().bootLoaderFault);
}

void TestWalk::speakerPresetChange()
{
    AppRig rig({}, V::Timing::instant());
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QString other;
    for (const QString &id : rig.controller()->firmwareUpdateController()->subPresetIds()) {
        if (id != QLatin1String("AS1"))
            other = id;
    }
    QVERIFY(!other.isEmpty());
    rig.states.clear();
    rig.model->uploadSpeakerPreset(1, other);
    QVERIFY(rig.reach(QStringLiteral("UploadingPreset")));
    QVERIFY(rig.reach(QStringLiteral("Polling"), kUploadWait));
    QCOMPARE(rig.states, (QStringList{"UploadingPreset", "Polling"}));
    QCOMPARE(QString::fromStdString(V::state().subPreset), other);
}

// An upload that fails while the device stays: fatal until it is unplugged.
void TestWalk::failedUpload()
{
    AppRig rig([] { V::update([](V::DeviceState &s) { s.mainVersion = "1.00"; }); }, V::Timing::instant());
    QVERIFY(rig.reach(QStringLiteral("RequireMainFw")));
    V::addAnswerRule(dropping(0x02, -1));
    rig.model->uploadFirmware();
    QVERIFY(rig.reach(QStringLiteral("FatalError"), kUploadWait));
    QVERIFY(rig.states.contains(QStringLiteral("Failed")));
    V::unplug();
    QVERIFY(rig.reach(QStringLiteral("WaitingWdx")));
    QCOMPARE(rig.model->name(), QStringLiteral("WDX"));
}

// Held in a state by the device not answering what that state waits for; then unplugged.
void TestWalk::unplugInEveryState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("subCode");
    QTest::addColumn<QString>("after");
    QTest::newRow("ReadStartupInfos") << "ReadStartupInfos" << 0x01 << 0x01 << "WaitingWdx";
    QTest::newRow("CheckStatus") << "CheckStatus" << 0x01 << 0x04 << "WaitingWdx";
    QTest::newRow("ReadLockStatus") << "ReadLockStatus" << 0x01 << 0x05 << "WaitingWdx";
    QTest::newRow("ReadCurrentPreset") << "ReadCurrentPreset" << 0x08 << 0x00 << "WaitingWdx";
    QTest::newRow("CheckMainVersion") << "CheckMainVersion" << 0x01 << 0x03 << "WaitingWdx";
    QTest::newRow("CheckDspVersion") << "CheckDspVersion" << 0x01 << 0x0a << "WaitingWdx";
    QTest::newRow("CheckPresetVersion") << "CheckPresetVersion" << 0x01 << 0x0b << "WaitingWdx";
    QTest::newRow("Polling") << "Polling" << -1 << -1 << "WaitingWdx";
}

void TestWalk::unplugInEveryState()
{
    QFETCH(QString, state);
    QFETCH(int, op);
    QFETCH(int, subCode);
    QFETCH(QString, after);
    AppRig rig([&] {
        if (op >= 0)
            V::addAnswerRule(dropping(op, subCode));
    });
    QVERIFY(rig.reach(state));
    QTest::qWait(300);
    QCOMPARE(rig.model->state(), state);
    V::unplug();
    QVERIFY(rig.reach(after));
    QCOMPARE(rig.model->name(), QStringLiteral("WDX"));
    QCOMPARE(rig.model->deviceStatus(), 255);
    QVERIFY(!rig.model->isConnected());
    // And back: the whole walk again.
    V::clearAnswerRules();
    rig.states.clear();
    V::plug();
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QCOMPARE(rig.states, kNormalWalk.mid(1));
}

void TestWalk::versionChangeWhilePolling_data()
{
    QTest::addColumn<bool>("main");
    QTest::addColumn<QStringList>("walk");
    QTest::newRow("main") << true << (kNormalWalk.mid(1, 5) + QStringList{"RequireMainFw"});
    QTest::newRow("dsp") << false << QStringList{"CheckDspVersion", "RequireMainFw"};
}

void TestWalk::versionChangeWhilePolling()
{
    QFETCH(bool, main);
    QFETCH(QStringList, walk);
    AppRig rig({}, V::Timing::instant());
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    rig.states.clear();
    V::update([main](V::DeviceState &s) { (main ? s.mainVersion : s.dspVersion) = "2.02"; });
    WdxController_DeviceInfo *info = rig.controller()->deviceInfo();
    main ? info->readMainFwVersion() : info->readDspFwVersion();
    QVERIFY(rig.reach(QStringLiteral("RequireMainFw")));
    QCOMPARE(rig.states, walk);
}

// What reaches the device during a few ticks of each screen.
void TestWalk::screenPolling_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QStringList>("reads"); // OP:sub-code
    const QStringList lock{"01:05"}, mode{"08:01"}, presets{"08:00"};
    const QStringList main = QStringList{"01:81", "01:86"} + presets + mode + lock;
    const QStringList output{"07:40", "07:41", "07:42", "05:40", "05:41", "05:42", "08:00", "01:81", "01:86",
                             "04:40", "03:40", "03:80", "08:01", "01:05"};
    const QStringList input{"05:30", "05:31", "06:30", "06:31", "01:80", "fd:00", "08:01", "01:05"};
    QTest::newRow("main") << "WDX-T-N 004217" << "main" << main;
    QTest::newRow("output, type 1") << "WDX-T-N 004217" << "output" << output;
    QTest::newRow("output, type 2") << "WDX-I-U 004217" << "output" << QStringList(output).filter(QRegularExpression("^(?!03:80)"));
    QTest::newRow("input, type 1") << "WDX-T-N 004217" << "input" << input;
    QTest::newRow("input, type 2") << "WDX-I-U 004217" << "input" << QStringList(input).filter(QRegularExpression("^(?!fd:00)"));
    QTest::newRow("settings") << "WDX-T-N 004217" << "settings" << lock;
    QTest::newRow("eq") << "WDX-T-N 004217" << "eq" << (QStringList{"06:30", "06:31"} + mode + lock);
    QTest::newRow("compressor") << "WDX-T-N 004217" << "compressor"
                                << (QStringList{"07:40", "07:41", "07:42", "01:86"} + mode + lock);
    QTest::newRow("speaker") << "WDX-T-N 004217" << "speaker" << (presets + mode + lock);
    QTest::newRow("speakerAndMode") << "WDX-T-N 004217" << "speakerAndMode" << (presets + mode + lock);
    for (const char *silent : {"test", "invalid", "disconnected", "requestToUpgrade", "Main"})
        QTest::newRow(silent) << "WDX-T-N 004217" << silent << QStringList();
}

void TestWalk::screenPolling()
{
    QFETCH(QString, name);
    QFETCH(QString, screen);
    QFETCH(QStringList, reads);
    AppRig rig([&] { V::update([&](V::DeviceState &s) { s.name = name.toStdString(); }); });
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    rig.model->setActiveScreen(QStringLiteral("settings"));
    rig.model->setActiveScreen(screen);
    QTest::qWait(300);
    V::clearLogs();
    QTest::qWait(1100);
    std::set<QString> seen;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice))
        seen.insert(QStringLiteral("%1:%2").arg(e.op, 2, 16, QLatin1Char('0')).arg(e.subCode(), 2, 16, QLatin1Char('0')));
    const std::set<QString> expected(reads.begin(), reads.end());
    QCOMPARE(QStringList(seen.begin(), seen.end()), QStringList(expected.begin(), expected.end()));
}

// The main screen shows the gains: read once per visit and per connection, not on every tick.
void TestWalk::mainScreenGains()
{
    AppRig rig;
    auto gainReads = [] { return V::frames(V::Direction::ToDevice, 0x00, 0x03, 0x40).size(); };
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QTest::qWait(1200);
    QCOMPARE(gainReads(), size_t(1));
    V::update([](V::DeviceState &s) { s.outputGains = {{40, 41, 42}}; });
    V::replugAfter(300);
    QVERIFY(rig.reach(QStringLiteral("WaitingWdx")));
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.model->getOutput(2)->gain(), quint8(42), kWait);
    rig.model->setActiveScreen(QStringLiteral("settings"));
    rig.model->setActiveScreen(QStringLiteral("main"));
    QTest::qWait(1200);
    QCOMPARE(gainReads(), size_t(3));
}

// Once on the real 30 s timer: a device that never leaves its boot loader.
void TestWalk::realWaitForMain()
{
    AppRig rig([] {
        V::Faults f;
        f.stayInBootMode = true;
        V::setFaults(f);
    });
    QVERIFY(rig.reach(QStringLiteral("CheckStatus")));
    QElapsedTimer waited;
    waited.start();
    QVERIFY(rig.reach(QStringLiteral("LockedOnBoot"), 60000));
    QVERIFY2(waited.elapsed() >= 29900, qPrintable(QString::number(waited.elapsed())));
}

// About a minute of a poor link, unplugged and plugged back 20 times at random moments (mid-walk,
// mid-upload, while polling): the application always gets back to polling once the device
// stays, and leaves nothing behind.
void TestWalk::faultRun()
{
    AppRig rig;
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QTest::qWait(500);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int objectsBefore = rig.manager->findChildren<QObject *>().size();

    V::Faults faults;
    faults.seed = 11;
    faults.dropReply = 0.10;
    faults.corruptChecksum = 0.05;
    faults.splitReply = 0.05;
    faults.noise = 0.05;
    V::setFaults(faults);
    QRandomGenerator random(20261206);
    QStringList subIds = rig.controller()->firmwareUpdateController()->subPresetIds();
    for (int round = 0; round < 20; ++round) {
        QTest::qWait(int(random.bounded(200, 2500)));
        // Now and then a preset change is under way when the cable goes.
        if (round % 5 == 2 && rig.model->state() == QLatin1String("Polling") && !subIds.isEmpty())
            rig.model->uploadSpeakerPreset(1, subIds.at(round % subIds.size()));
        V::replugAfter(int(random.bounded(100, 1500)));
    }
    QVERIFY(rig.reach(QStringLiteral("Polling"), 60000));
    V::setFaults(V::Faults());
    QTest::qWait(1000);
    QVERIFY(rig.reach(QStringLiteral("Polling")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_COMPARE_WITH_TIMEOUT(rig.manager->findChildren<QObject *>().size(), objectsBefore, kWait);
}

VELA_TEST_MAIN_CORE(TestWalk)
#include "tst_walk.moc"
