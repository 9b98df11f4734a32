// The firmware update controller and the firmware catalogue: what the user interface sees of
// an update (state, progress, remaining time, messages), the busy rule, preset choice, a
// damaged package, an unplugged cable, and the catalogue of what the package can install.
// The controller owns its worker thread as in the application; the request processor runs on
// a worker thread of the test's own against the virtual Wdx.

#include "FirmwareTestSupport.h"
#include "UploadRig.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmwareDb.h"
#include "firmware/WdxFirmwareUpdateController.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace FirmwareTest;
using W = WdxFirmwareWorker;
using Controller = WdxFirmwareUpdateController;

namespace {

// The controller as the device controller makes it, with the processor it starts.
class ControllerRig
{
public:
    ControllerRig() : controller(new Controller(engine.processor)), loaded(controller, &Controller::fwLoaded)
    {
        QObject::connect(controller->worker(), &W::stateChanged, controller,
                         [this](W::enState s) { states << W::stateName(s); });
    }
    ~ControllerRig() { delete controller; }
    bool start(bool waitConnected = true)
    {
        return engine.start(waitConnected) && QTest::qWaitFor([this] {
                   return loaded.count() > 0 && controller->state() == QLatin1String("Idle");
               }, kWait);
    }
    bool waitIdle(int timeoutMs = kWait)
    {
        return QTest::qWaitFor([this] { return controller->state() == QLatin1String("Idle"); }, timeoutMs);
    }
    // Another package, loaded and idle; the worker's states are recorded from here on.
    bool load(const QString &path)
    {
        const int before = loaded.count();
        controller->reload(path);
        const bool done = QTest::qWaitFor([&] {
            return loaded.count() > before && !states.isEmpty() && states.last() == QLatin1String("Idle");
        }, kWait);
        states.clear();
        return done;
    }
    // Until the worker has left Idle and come back to it: unlike waitIdle(), not fooled by a
    // worker that has not yet taken the request.
    bool waitUploadEnd(int timeoutMs = kWait)
    {
        return QTest::qWaitFor([this] {
            return states.size() >= 2 && states.last() == QLatin1String("Idle") && controller->state() == QLatin1String("Idle");
        }, timeoutMs);
    }

    Engine engine;
    Controller *controller;
    QSignalSpy loaded;
    QStringList states;
};

// Main and DSP images of a few blocks (a 4 s pause after the main one, time enough for the
// virtual device's restart) and two presets of each kind.
QByteArray smallPackage()
{
    return wellFormed("RWDX", 24, 16).bytes() + wellFormed("RDSP", 4, 16).bytes() + preset("AB1", "PASS").bytes()
        + preset("AB2", "PASS").bytes() + preset("CD1", "SUB ").bytes() + preset("CD2", "SUB ").bytes();
}

// Openings of a preset download on the DSP channel: state 2 main-speaker preset, 3 sub preset.
int presetOpenings(int state)
{
    return countFrames(V::Direction::ToDevice, 0x01, 0x02, 0x02,
                       [state](const V::WireEntry &e) { return e.data.size() > 1 && e.data[1] == state; });
}

} // namespace

class TestFirmwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void init()
    {
        V::reset();
        V::setTiming(V::Timing::instant());
        V::plug();
    }

    void cleanup() { Controller::setClock(Controller::Clock()); }

    void propertiesBeforeAndAfterTheLoad()
    {
        ControllerRig rig;
        Controller *c = rig.controller;
        QCOMPARE(c->state(), QStringLiteral("Idle"));
        QCOMPARE(c->progress(), 0.0);
        QCOMPARE(c->timeToEnd(), 0);
        QCOMPARE(c->debugMessage(), QStringLiteral("Press start to begin"));
        QVERIFY(c->displayMessage().isEmpty());
        QVERIFY(c->mainFwVersion().isEmpty());

        QSignalSpy versions(c, &Controller::mainFwVersionChanged);
        QVERIFY(rig.start());
        QCOMPARE(rig.loaded.count(), 1);
        QCOMPARE(versions.count(), 1);
        QCOMPARE(c->debugMessage(), QStringLiteral("Fw version 2.01 loaded, 40 presets available"));
        QCOMPARE(c->mainFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(c->dspFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(c->mainPresetAt(0), QStringLiteral("AA1"));
        QCOMPARE(c->subPresetAt(0), QStringLiteral("AS1"));
        QCOMPARE(c->subPresetAt(16), QStringLiteral("TS2"));
        QVERIFY(c->subPresetAt(17).isEmpty());
        QVERIFY(c->mainPresetAt(-1).isEmpty());
        QCOMPARE(c->progress(), 0.0);
        QCOMPARE(c->timeToEnd(), 0);
    }

    void progressAndRemainingTime()
    {
        V::unplug(); // nothing reaches a device here: only the controller's arithmetic counts
        qint64 now = 1000000;
        Controller::setClock([&now] { return now; });
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start(false));

        c->startUploadMainFirmware();
        QCOMPARE(c->totalSteps(), 89 + 14000 / 250);
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading main firmware"));
        c->onUploadStarted();
        QCOMPARE(c->progress(), 0.0);
        QCOMPARE(c->timeToEnd(), 0);

        now += 5800;
        for (int i = 0; i < 29; ++i)
            c->onStepDone();
        QCOMPARE(c->progress(), 0.2);
        QCOMPARE(c->timeToEnd(), 23); // (145 - 29) * (5800 / 29) / 1000
        QCOMPARE(c->debugMessage(), QStringLiteral("29 block sent, 116 to send"));

        // More steps than expected: done, nothing left.
        for (int i = 0; i < 117; ++i)
            c->onStepDone();
        QCOMPARE(c->progress(), 1.0);
        QCOMPARE(c->timeToEnd(), 0);

        // The worker gives up on the absent device; wait for it before the rig goes.
        QVERIFY(rig.waitIdle());
        QTRY_COMPARE_WITH_TIMEOUT(c->debugMessage(), QStringLiteral("Timeout on disconnection"), kWait);
    }

    void busyWorkerRefusesNewUploads()
    {
        V::setTiming(V::Timing()); // 115200 baud: the DSP image takes seconds
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QSignalSpy mainStarted(c, &Controller::mainFwUploadStarted);
        QSignalSpy dspStarted(c, &Controller::dspFwUploadStarted);
        QSignalSpy dspDone(c, &Controller::dspFwUploadCompleted);

        c->startUploadDspFirmware();
        QCOMPARE(dspStarted.count(), 1);
        QCOMPARE(c->totalSteps(), 73 + 1);
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading dsp firmware"));
        QTRY_COMPARE_WITH_TIMEOUT(c->state(), QStringLiteral("UploadingDsp"), kWait);

        c->startUploadMainFirmware();
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware uploader is busy, state is UploadingDsp"));
        c->startUploadFirmware(QStringLiteral("AA1"), QStringLiteral("AS1"));
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware uploader is busy, state is UploadingDsp"));
        QVERIFY(!c->startUploadMainPreset(QStringLiteral("AA1")));
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware uploader is busy"));
        QVERIFY(!c->startUploadSubPreset());
        QCOMPARE(mainStarted.count(), 0);
        QCOMPARE(c->totalSteps(), 73 + 1);
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading dsp firmware"));

        QVERIFY(dspDone.wait(kWait));
        QVERIFY(rig.waitIdle());
        QCOMPARE(c->stepsDone(), c->totalSteps());
        QCOMPARE(c->progress(), 1.0);
        QVERIFY(c->debugMessage().startsWith(QLatin1String("Completed in ")));
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x01, 0x00, -1), 0); // never rebooted
    }

    // A double click on "Update WDX": the second start comes while the first request still waits
    // for the worker's thread, the worker still reading Idle.
    void secondStartRightAfterTheFirstIsRefused_data()
    {
        QTest::addColumn<bool>("secondIsFull");
        QTest::newRow("full update, then a sub preset") << false;
        QTest::newRow("full update twice") << true;
    }

    void secondStartRightAfterTheFirstIsRefused()
    {
        QFETCH(bool, secondIsFull);
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QVERIFY(rig.load(write(QStringLiteral("small.rvf"), smallPackage())));
        QSignalSpy mainStarted(c, &Controller::mainFwUploadStarted);
        QSignalSpy presetStarted(c, &Controller::presetUploadStarted);
        QSignalSpy presetsDone(c, &Controller::presetUploadCompleted);
        QSignalSpy failed(c, &Controller::failed);

        c->startUploadFirmware(QStringLiteral("AB2"), QStringLiteral("CD2"));
        const int totalSteps = c->totalSteps();
        bool secondAccepted = false;
        if (secondIsFull)
            c->startUploadFirmware(QStringLiteral("AB1"), QStringLiteral("CD1"));
        else
            secondAccepted = c->startUploadSubPreset(QStringLiteral("CD1"));
        const QString refusal = c->debugMessage();

        QVERIFY(rig.waitUploadEnd(kMainUploadWait));
        QCOMPARE(rig.states, (QStringList{"Reboot", "WaitReconnection", "LockOnBoot", "UploadingMain", "UploadingDsp",
                                          "UploadingPreset", "Idle"}));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(presetsDone.count(), 1);
        QVERIFY(V::image(V::ImageKind::Dsp).present);
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::MainPreset).presetId), QStringLiteral("AB2"));
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::SubPreset).presetId), QStringLiteral("CD2"));
        QCOMPARE(presetOpenings(3), 1);
        // Refused as during an upload: only the debug line tells.
        QVERIFY(!secondAccepted);
        QVERIFY2(refusal.startsWith(QLatin1String("Firmware uploader is busy")), qPrintable(refusal));
        QCOMPARE(mainStarted.count(), 1);
        QCOMPARE(presetStarted.count(), 0);
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading firmware"));
        QCOMPARE(c->totalSteps(), totalSteps);
        QCOMPARE(c->stepsDone(), totalSteps);
    }

    // A preset the package lacks refuses the whole update before anything is sent, and names it.
    void presetMissingFromThePackageRefusesTheUpdate_data()
    {
        QTest::addColumn<QString>("mainId");
        QTest::addColumn<QString>("subId");
        QTest::addColumn<QString>("missing");
        QTest::newRow("main speaker") << "XY1" << "CD1" << "XY1";
        QTest::newRow("sub") << "AB1" << "XY2" << "XY2";
        QTest::newRow("sub id as main speaker, no sub") << "CD1" << "" << "CD1";
        QTest::newRow("main speaker id as sub") << "" << "AB2" << "AB2";
    }

    void presetMissingFromThePackageRefusesTheUpdate()
    {
        QFETCH(QString, mainId);
        QFETCH(QString, subId);
        QFETCH(QString, missing);
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QVERIFY(rig.load(write(QStringLiteral("small.rvf"), smallPackage())));
        QSignalSpy failed(c, &Controller::failed);
        QSignalSpy mainStarted(c, &Controller::mainFwUploadStarted);
        QSignalSpy presetsDone(c, &Controller::presetUploadCompleted);
        V::clearLogs();

        c->startUploadFirmware(mainId, subId);
        const QString text = QStringLiteral("Preset %1 is not in this firmware package").arg(missing);
        QCOMPARE(c->displayMessage(), text);
        QCOMPARE(c->debugMessage(), text);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(mainStarted.count(), 0);

        // The uploader is free again; what follows is all the device ever sees.
        QVERIFY(c->startUploadSubPreset(QStringLiteral("CD1")));
        QVERIFY(rig.waitUploadEnd());
        QCOMPARE(rig.states, (QStringList{"UploadingPreset", "Idle"}));
        QCOMPARE(presetsDone.count(), 1);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x01, 0x00, -1), 0); // no reboot
        QCOMPARE(presetOpenings(2), 0);
        QCOMPARE(presetOpenings(3), 1);
        QVERIFY(!V::image(V::ImageKind::Dsp).present);
    }

    void unknownPresetFallsBackToTheFirst()
    {
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QStringList shown;
        connect(c, &Controller::displayMessageChanged, this, [&] { shown << c->displayMessage(); });
        QSignalSpy done(c, &Controller::presetUploadCompleted);

        QVERIFY(c->startUploadMainPreset(QStringLiteral("ZZ9")));
        QCOMPARE(shown, (QStringList{"Preset ZZ9 not available", "Uploading main preset"}));
        QCOMPARE(c->totalSteps(), 17 + 1);
        QVERIFY(done.wait(kWait));
        QVERIFY(rig.waitIdle());
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::MainPreset).presetId), QStringLiteral("AA1"));
        QCOMPARE(c->stepsDone(), c->totalSteps());

        shown.clear();
        QVERIFY(c->startUploadSubPreset(QStringLiteral("SB2")));
        QCOMPARE(shown, QStringList{"Uploading preset"});
        QCOMPARE(c->totalSteps(), 7 + 1);
        QVERIFY(done.wait(kWait));
        QVERIFY(rig.waitIdle());
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::SubPreset).presetId), QStringLiteral("SB2"));

        // A package without presets has nothing to fall back on.
        QSignalSpy loaded(c, &Controller::fwLoaded);
        c->reload(write(QStringLiteral("nopresets.rvf"), wellFormed("RWDX", 2, 16).bytes() + wellFormed("RDSP", 2, 16).bytes()));
        QVERIFY(loaded.wait(kWait));
        QVERIFY(rig.waitIdle());
        QVERIFY(!c->startUploadMainPreset());
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware file does not contains any preset"));
        QVERIFY(!c->startUploadSubPreset(QStringLiteral("AS1")));
        QCOMPARE(c->displayMessage(), QStringLiteral("Preset AS1 not available"));
    }

    void failureShowsItsCause()
    {
        V::Faults f;
        f.silentStatus = true;
        V::setFaults(f);
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        c->worker()->setWaitTickMs(50);
        c->worker()->setStatusPollLimitMs(800);
        QSignalSpy failed(c, &Controller::failed);

        c->startUploadDspFirmware();
        QVERIFY(failed.wait(kWait));
        // The state's own notification follows the failure.
        QTRY_COMPARE_WITH_TIMEOUT(c->debugMessage(), QStringLiteral("Failed, Timeout"), kWait);
        QVERIFY(rig.waitIdle());
        QCOMPARE(failed.count(), 1);
    }

    void damagedPackageUploadsNothing()
    {
        QByteArray damaged = embeddedPackage();
        damaged[100] = char(damaged.at(100) ^ 0x80); // in the main image's first block
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QSignalSpy failed(c, &Controller::failed);
        V::clearLogs();

        c->reload(write(QStringLiteral("damaged.rvf"), damaged));
        QVERIFY(failed.wait(kWait));
        QTRY_COMPARE_WITH_TIMEOUT(c->debugMessage(), QStringLiteral("Failed, Bad CRC"), kWait);
        QVERIFY(rig.waitIdle());
        QCOMPARE(c->worker()->lastErrorCode(), W::BadCRC);
        QVERIFY(c->mainFwVersion().isEmpty());
        QVERIFY(c->mainPresetAt(0).isEmpty());

        // Nothing to send: no reboot, no opening, no block.
        c->startUploadMainFirmware();
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware is not loaded yet"));
        c->startUploadFirmware(QStringLiteral("AA1"), QStringLiteral("AS1"));
        QVERIFY(!c->startUploadMainPreset(QStringLiteral("AA1")));
        c->startUploadDspFirmware();
        QVERIFY(failed.wait(kWait));
        QVERIFY(rig.waitIdle());
        QCOMPARE(c->worker()->lastErrorCode(), W::Unknown);
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x01, -1, -1), 0);
        QCOMPARE(V::status().requestsReceived, 0);
    }

    void unpluggedDuringMainUpload()
    {
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QSignalSpy failed(c, &Controller::failed);
        QSignalSpy mainDone(c, &Controller::mainFwUploadCompleted);

        WireWatch unplugger([] {
            if (countFrames(V::Direction::ToDevice, 0x01, 0x02, 0x01) < 20)
                return false;
            V::unplug();
            return true;
        });
        c->startUploadMainFirmware();
        QVERIFY(failed.wait(kMainUploadWait));
        QVERIFY(QTest::qWaitFor([c] { return c->debugMessage().startsWith(QLatin1String("Failed, ")); }, kWait));
        QVERIFY2(c->debugMessage() == QLatin1String("Failed, Communication Error")
                     || c->debugMessage() == QLatin1String("Failed, Timeout"),
                 qPrintable(c->debugMessage()));
        QVERIFY(rig.waitIdle());
        QCOMPARE(mainDone.count(), 0);

        V::plug();
        QVERIFY(QTest::qWaitFor([&] { return rig.engine.processor->isConnected(); }, kWait));
        c->startUploadMainFirmware();
        QVERIFY(mainDone.wait(kMainUploadWait));
        QVERIFY(rig.waitIdle());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(c->stepsDone(), c->totalSteps());
        QVERIFY(V::image(V::ImageKind::Main).present);
    }

    void fullUploadCountsEveryStep()
    {
        V::update([](V::DeviceState &s) {
            s.mainVersion = "1.00";
            s.fallbackImageVersion = "0.00"; // a garbled version tag must show
        });
        ControllerRig rig;
        Controller *c = rig.controller;
        QVERIFY(rig.start());
        QSignalSpy mainStarted(c, &Controller::mainFwUploadStarted);
        QSignalSpy presetsDone(c, &Controller::presetUploadCompleted);
        QSignalSpy progress(c, &Controller::progressChanged);

        c->startUploadFirmware(QStringLiteral("AA1"), QStringLiteral("AS1"));
        QCOMPARE(mainStarted.count(), 1);
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading firmware"));
        QCOMPARE(c->totalSteps(), (89 + 56) + (73 + 1) + (17 + 1) + (7 + 1));
        QVERIFY(presetsDone.wait(kMainUploadWait));
        QVERIFY(rig.waitIdle());
        QCOMPARE(c->stepsDone(), c->totalSteps());
        QCOMPARE(c->progress(), 1.0);
        QCOMPARE(c->timeToEnd(), 0);
        QVERIFY(progress.count() >= c->totalSteps());
        QCOMPARE(QString::fromStdString(V::state().mainVersion), QStringLiteral("2.01"));
    }

    void catalogueOfTheLoadedPackage()
    {
        const QByteArray file = wellFormed("RWDX", 2, 16).bytes() + wellFormed("RDSP", 2, 16).bytes()
            + preset("AB2", "PASS").bytes() + preset("CD1", "SUB ").bytes() + preset("AB1", "PASS").bytes();
        ControllerRig rig;
        Controller *c = rig.controller;
        WdxFirmwareDb db;
        connect(c, &Controller::fwLoaded, &db, &WdxFirmwareDb::updateDb);
        QSignalSpy changed(&db, &WdxFirmwareDb::dataChanged);
        QVERIFY(rig.start());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(db.mainSpeakerIds().size(), 23);
        QCOMPARE(db.presetsVersion(), QStringLiteral("2.01/2.01"));

        c->reload(write(QStringLiteral("catalogue.rvf"), file));
        QVERIFY(changed.wait(kWait));
        QCOMPARE(db.mainSpeakerIds(), (QStringList{"AB1", "AB2"}));
        QCOMPARE(db.subIds(), QStringList{"CD1"});
        QCOMPARE(db.cabinetIds(), (QStringList{"AB", "AB", "CD"}));
        QVERIFY(db.isCabinetAvailable(QStringLiteral("AB")));
        QVERIFY(db.isCabinetAvailable(QStringLiteral("CD")));
        QVERIFY(!db.isCabinetAvailable(QStringLiteral("ab")));
        QVERIFY(!db.isCabinetAvailable(QStringLiteral("AA")));
        QVERIFY(db.isPresetAvailable(QStringLiteral("CD1")));
        QVERIFY(db.isPresetAvailable(QStringLiteral("AB2")));
        QVERIFY(!db.isPresetAvailable(QStringLiteral("AB3")));
        QVERIFY(!db.isMainSpeakerAvailable(QStringLiteral("CD1")));
        QVERIFY(db.isMainSpeakerAvailable(QStringLiteral("AB1")));
        QVERIFY(db.isSubAvailable(QStringLiteral("CD1")));
        QVERIFY(!db.isSubAvailable(QStringLiteral("AB1")));
        QCOMPARE(db.mainFwVersion(), QStringLiteral("2.01"));

        // Without a sender (not through the controller's signal) nothing changes.
        db.updateDb();
        QCOMPARE(changed.count(), 2);
        QCOMPARE(db.subIds(), QStringList{"CD1"});
    }

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
};

VELA_TEST_MAIN_CORE(TestFirmwareUpdate)
#include "tst_firmwareupdate.moc"
