// The firmware update controller and the firmware catalogue: the texts, progress and remaining
// time the user interface shows, the busy rule, preset choice, package loads and reloads. The
// controller owns its worker thread as in the application; the request processor runs on a
// thread of the test's own against the virtual Wdx.

#include "UploadRig.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmwareDb.h"
#include "firmware/WdxFirmwareUpdateController.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace FirmwareTest;
using W = WdxFirmwareWorker;
using Controller = WdxFirmwareUpdateController;
using namespace std::chrono_literals;

namespace {

// The controller as the device controller makes it, with the processor it starts.
class ControllerRig
{
public:
    ControllerRig() : c(new Controller(engine.processor)), recorder(c->worker()), loaded(c, &Controller::fwLoaded) {}
    ~ControllerRig() { delete c; }
    bool start(bool waitConnected = true)
    {
        const bool ok = engine.start(waitConnected)
            && QTest::qWaitFor([this] { return loaded.count() > 0 && c->state() == QLatin1String("Idle"); }, kWait);
        recorder.clear();
        return ok;
    }
    // Another package, loaded or refused, the worker idle again.
    bool load(const QString &path)
    {
        recorder.clear();
        c->reload(path);
        return QTest::qWaitFor([this] { return recorder.states().endsWith(QStringLiteral("Idle")); }, kWait);
    }
    // Until the worker has left Idle and come back to it.
    bool waitUploadEnd(int timeoutMs = kWait)
    {
        return QTest::qWaitFor([this] {
            return recorder.states().size() >= 2 && recorder.states().last() == QLatin1String("Idle")
                && c->state() == QLatin1String("Idle");
        }, timeoutMs);
    }

    Engine engine;
    Controller *c;
    Recorder recorder;
    QSignalSpy loaded;
};

} // namespace

class TestFirmwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Presets out of id order in the file: AB2 (2 blocks) before AB1 (3 blocks), CD1 (2) before CD2 (3).
        m_small = writeFile(m_dir.filePath(QStringLiteral("small.rvf")),
                            wellFormed("RWDX", 12, 16).bytes() + wellFormed("RDSP", 4, 16).bytes()
                                + preset("AB2", "PASS").bytes() + preset("AB1", "PASS", 3).bytes()
                                + preset("CD1", "SUB ").bytes() + preset("CD2", "SUB ", 3).bytes());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void init()
    {
        V::reset();
        V::setTiming(V::Timing::instant());
        V::plug();
    }

    void cleanup() { Controller::setClock(Controller::Clock()); }

    // Value i of the worker's enumerations: the state's name, the controller's debug line for
    // that state (the worker's last error is Ok here) and the display text of error code i.
    void texts_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("stateName");
        QTest::addColumn<QString>("debugLine");
        QTest::addColumn<QString>("errorText");
        const QString unchanged = QStringLiteral("Press start to begin");
        QTest::newRow("0") << 0 << "Idle" << unchanged << "Ok";
        QTest::newRow("1") << 1 << "Reboot" << "Reboot" << "Bad CRC";
        QTest::newRow("2") << 2 << "WaitReconnection" << "Wait reconnection" << "Communication Error";
        QTest::newRow("3") << 3 << "LockOnBoot" << "Locking on boot" << "Bad Reply";
        QTest::newRow("4") << 4 << "UploadingMain" << "Uploading Main" << "Bad File";
        QTest::newRow("5") << 5 << "UploadingDsp" << "Uploading Dsp" << "File Not Found";
        QTest::newRow("6") << 6 << "UploadingPreset" << "Uploading Preset" << "Interrupted";
        QTest::newRow("7") << 7 << "Failed" << "Failed, Ok" << "Timeout";
        QTest::newRow("8") << 8 << "Parsing" << "Parsing file" << "Bad State";
        QTest::newRow("9") << 9 << "TimeoutOnDisconnect" << "Timeout on disconnection" << "Unknown";
        QTest::newRow("10") << 10 << "TimeoutOnReconnect" << "Timeout on reconnection" << "Unknown";
        QTest::newRow("11") << 11 << "Unknown" << "Unknown state" << "Unknown";
    }

    void texts()
    {
        QFETCH(int, value);
        QFETCH(QString, stateName);
        QFETCH(QString, debugLine);
        QFETCH(QString, errorText);
        QCOMPARE(W::stateName(value), stateName);
        QCOMPARE(W::errorText(value), errorText);
        Controller c(nullptr);
        QSignalSpy state(&c, &Controller::stateChanged);
        QSignalSpy progress(&c, &Controller::progressChanged);
        QSignalSpy debug(&c, &Controller::debugMessageChanged);
        c.onStateChanged(W::enState(value));
        QCOMPARE(c.debugMessage(), debugLine);
        QCOMPARE(state.count(), 1);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(debug.count(), value == 0 ? 0 : 1);
    }

    // The device never leaves after the reboot request: meanwhile the controller's arithmetic is
    // fed by hand on a fake clock; then the disconnection guard ends the upload.
    void mainUploadWithoutDisconnection()
    {
        V::Timing t = V::Timing::instant();
        t.rebootLeaveMs = 20000;
        V::setTiming(t);
        qint64 now = 1000000;
        Controller::setClock([&now] { return now; });
        ControllerRig rig;
        Controller *c = rig.c;
        QVERIFY(rig.start());
        QSignalSpy started(c, &Controller::mainFwUploadStarted);
        QSignalSpy failed(c, &Controller::failed);
        V::clearLogs();

        c->startUploadMainFirmware();
        QCOMPARE(started.count(), 1);
        QCOMPARE(c->totalSteps(), 89 + 14000 / 250);
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading main firmware"));
        c->onUploadStarted();
        QCOMPARE(c->progress(), 0.0);
        QCOMPARE(c->timeToEnd(), 0);
        now += 6000;
        for (int i = 0; i < 29; ++i)
            c->onStepDone();
        QCOMPARE(c->progress(), 0.2);
        QCOMPARE(c->timeToEnd(), 23); // 116 * (6000 / 29) / 1000; multiplied first it would be 24
        QCOMPARE(c->debugMessage(), QStringLiteral("29 block sent, 116 to send"));
        for (int i = 0; i < 116; ++i)
            c->onStepDone();
        QCOMPARE(c->progress(), 1.0);
        QCOMPARE(c->timeToEnd(), 0);
        c->onStepDone();
        QCOMPARE(c->progress(), 1.0);
        QCOMPARE(c->timeToEnd(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(c->debugMessage(), QStringLiteral("Timeout on disconnection"), kWait);
        QVERIFY(rig.waitUploadEnd());
        QCOMPARE(rig.recorder.states(), (QStringList{"Reboot", "TimeoutOnDisconnect", "Idle"}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(c->worker()->lastErrorCode(), W::Timeout);
        const Recorder &r = rig.recorder;
        QVERIFY(r.entered(QStringLiteral("TimeoutOnDisconnect")) - r.entered(QStringLiteral("Reboot")) >= 3990ms);
        // The reboot request is the only frame, and not sent before 250 ms in Reboot.
        const std::vector<V::WireEntry> wire = V::frames(V::Direction::ToDevice);
        QCOMPARE(wire.size(), size_t(1));
        QCOMPARE(wireSummary(), QStringList{"01 00 "});
        QVERIFY(wire.front().begin - r.entered(QStringLiteral("Reboot")) >= 250ms);
    }

    // A double click on "Update WDX": the second start comes while the first request still waits
    // for the worker's thread, the worker still reading Idle; later starts find it busy. The steps
    // expected count the first preset of each kind (lowest id), whatever preset is sent.
    void fullUploadAndADoubleStart()
    {
        ControllerRig rig;
        Controller *c = rig.c;
        QVERIFY(rig.start());
        QVERIFY(rig.load(m_small));
        QSignalSpy mainStarted(c, &Controller::mainFwUploadStarted);
        QSignalSpy presetStarted(c, &Controller::presetUploadStarted);
        QSignalSpy dspStarted(c, &Controller::dspFwUploadStarted);
        QSignalSpy mainDone(c, &Controller::mainFwUploadCompleted);
        QSignalSpy dspDone(c, &Controller::dspFwUploadCompleted);
        QSignalSpy presetsDone(c, &Controller::presetUploadCompleted);
        QSignalSpy failed(c, &Controller::failed);
        rig.recorder.clear();

        c->startUploadFirmware(QStringLiteral("AB2"), QStringLiteral("CD1"));
        QVERIFY(!c->startUploadSubPreset(QStringLiteral("CD2")));
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware uploader is busy"));
        c->startUploadFirmware(QStringLiteral("AB1"), QStringLiteral("CD2"));
        QVERIFY2(c->debugMessage().startsWith(QLatin1String("Firmware uploader is busy, state is ")), qPrintable(c->debugMessage()));
        QCOMPARE(c->displayMessage(), QStringLiteral("Uploading firmware"));
        QCOMPARE(c->totalSteps(), (12 + 2000 / 250) + (4 + 1) + (3 + 1) + (2 + 1));
        // Busy while the device applies the main image: every start is refused.
        QTRY_COMPARE_WITH_TIMEOUT(c->state(), QStringLiteral("UploadingMain"), kWait);
        c->startUploadDspFirmware();
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware uploader is busy, state is UploadingMain"));
        QVERIFY(!c->startUploadMainPreset(QStringLiteral("AB1")));
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware uploader is busy"));

        QVERIFY(rig.waitUploadEnd(kMainUploadWait));
        QCOMPARE(rig.recorder.states(), (QStringList{"Reboot", "WaitReconnection", "LockOnBoot", "UploadingMain",
                                                     "UploadingDsp", "UploadingPreset", "Idle"}));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(mainStarted.count(), 1);
        QCOMPARE(presetStarted.count() + dspStarted.count(), 0);
        QCOMPARE((QList<int>{mainDone.count(), dspDone.count(), presetsDone.count()}), (QList<int>{1, 1, 1}));
        QCOMPARE(c->stepsDone(), (12 + 8) + (4 + 1) + (2 + 1) + (2 + 1));
        QCOMPARE(c->progress(), 31.0 / 32.0);
        QVERIFY(c->debugMessage().startsWith(QLatin1String("Completed in ")));
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::MainPreset).presetId), QStringLiteral("AB2"));
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::SubPreset).presetId), QStringLiteral("CD1"));
        QCOMPARE(countFrames(0x01, 0x02, 0x02, 0x03), 1);
    }

    void presetChoice_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("mainId");
        QTest::addColumn<QString>("subId");
        QTest::addColumn<QStringList>("shown");   // display lines, in order
        QTest::addColumn<QString>("sentMain");    // preset the device receives; empty: nothing sent
        QTest::addColumn<QString>("sentSub");
        QTest::addColumn<int>("totalSteps");
        const QString missing = QStringLiteral("Preset %1 is not in this firmware package");
        QTest::newRow("unknown main id") << "main" << "ZZ9" << "" << QStringList{"Preset ZZ9 not available", "Uploading main preset"}
                                         << "AB1" << "" << 3 + 1;
        QTest::newRow("sub id") << "sub" << "" << "CD2" << QStringList{"Uploading preset"} << "" << "CD2" << 2 + 1;
        QTest::newRow("full, main id missing") << "full" << "XY1" << "CD1" << QStringList{missing.arg("XY1")} << "" << "" << 0;
        QTest::newRow("full, sub id as main") << "full" << "CD1" << "" << QStringList{missing.arg("CD1")} << "" << "" << 0;
        QTest::newRow("full, main id as sub") << "full" << "" << "AB2" << QStringList{missing.arg("AB2")} << "" << "" << 0;
    }

    void presetChoice()
    {
        QFETCH(QString, call);
        QFETCH(QString, mainId);
        QFETCH(QString, subId);
        QFETCH(QStringList, shown);
        QFETCH(QString, sentMain);
        QFETCH(QString, sentSub);
        QFETCH(int, totalSteps);
        ControllerRig rig;
        Controller *c = rig.c;
        QVERIFY(rig.start());
        QVERIFY(rig.load(m_small));
        QStringList lines;
        connect(c, &Controller::displayMessageChanged, this, [&] { lines << c->displayMessage(); });
        QSignalSpy failed(c, &Controller::failed);
        rig.recorder.clear();
        V::clearLogs();

        if (call == QLatin1String("main"))
            QVERIFY(c->startUploadMainPreset(mainId));
        else if (call == QLatin1String("sub"))
            QVERIFY(c->startUploadSubPreset(subId));
        else
            c->startUploadFirmware(mainId, subId);
        QCOMPARE(lines, shown);
        QCOMPARE(c->totalSteps(), totalSteps);
        if (call == QLatin1String("full")) {
            QCOMPARE(c->debugMessage(), shown.first());
            QCOMPARE(failed.count(), 1);
        } else {
            QVERIFY(rig.waitUploadEnd());
            QCOMPARE(failed.count(), 0);
        }
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::MainPreset).presetId), sentMain);
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::SubPreset).presetId), sentSub);
        QCOMPARE(countFrames(0x01, 0x00, -1), 0);
        QCOMPARE(countFrames(0x01, 0x02, 0x02, 0x01), 0);

        // The uploader is free again.
        rig.recorder.clear();
        QVERIFY(c->startUploadSubPreset(QStringLiteral("CD1")));
        QVERIFY(rig.waitUploadEnd());
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::SubPreset).presetId), QStringLiteral("CD1"));
    }

    // The shipped package, another one for the catalogue, one without presets, a damaged one.
    void packagesAndTheCatalogue()
    {
        ControllerRig rig;
        Controller *c = rig.c;
        WdxFirmwareDb db;
        connect(c, &Controller::fwLoaded, &db, &WdxFirmwareDb::updateDb);
        QSignalSpy changed(&db, &WdxFirmwareDb::dataChanged);
        QSignalSpy versions(c, &Controller::mainFwVersionChanged);
        QCOMPARE(c->debugMessage(), QStringLiteral("Press start to begin"));
        QVERIFY(c->displayMessage().isEmpty());
        QVERIFY(c->mainFwVersion().isEmpty());
        QCOMPARE(c->progress(), 0.0);
        QCOMPARE(c->timeToEnd(), 0);

        QVERIFY(rig.start());
        QCOMPARE(rig.loaded.count(), 1);
        QCOMPARE(versions.count(), 1);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(c->debugMessage(), QStringLiteral("Fw version 2.01 loaded, 40 presets available"));
        QCOMPARE(c->dspFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(c->mainPresetAt(0), QStringLiteral("AA1"));
        QCOMPARE(c->subPresetAt(16), QStringLiteral("TS2"));
        QVERIFY(c->subPresetAt(17).isEmpty());
        QVERIFY(c->mainPresetAt(-1).isEmpty());
        QCOMPARE(db.mainSpeakerIds().size(), 23);
        QCOMPARE(db.presetsVersion(), QStringLiteral("2.01/2.01"));

        const QByteArray images = wellFormed("RWDX", 2, 16).bytes() + wellFormed("RDSP", 2, 16).bytes();
        QVERIFY(rig.load(writeFile(m_dir.filePath(QStringLiteral("catalogue.rvf")),
                                   images + preset("AB2", "PASS").bytes() + preset("CD1", "SUB ").bytes()
                                       + preset("AB1", "PASS").bytes())));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(db.mainSpeakerIds(), (QStringList{"AB1", "AB2"}));
        QCOMPARE(db.subIds(), QStringList{"CD1"});
        QCOMPARE(db.cabinetIds(), (QStringList{"AB", "AB", "CD"}));
        QVERIFY(db.isCabinetAvailable(QStringLiteral("AB")) && db.isCabinetAvailable(QStringLiteral("CD")));
        QVERIFY(!db.isCabinetAvailable(QStringLiteral("ab")) && !db.isCabinetAvailable(QStringLiteral("AB1")));
        QVERIFY(db.isPresetAvailable(QStringLiteral("CD1")) && db.isPresetAvailable(QStringLiteral("AB2")));
        QVERIFY(!db.isPresetAvailable(QStringLiteral("AB3")));
        QVERIFY(!db.isMainSpeakerAvailable(QStringLiteral("CD1")) && db.isMainSpeakerAvailable(QStringLiteral("AB1")));
        QVERIFY(db.isSubAvailable(QStringLiteral("CD1")) && !db.isSubAvailable(QStringLiteral("AB1")));
        db.updateDb(); // not through the controller's signal: nothing changes
        QCOMPARE(changed.count(), 2);
        QCOMPARE(db.subIds(), QStringList{"CD1"});

        QVERIFY(rig.load(writeFile(m_dir.filePath(QStringLiteral("nopresets.rvf")), images)));
        QCOMPARE(c->debugMessage(), QStringLiteral("Fw version 2.01 loaded, 0 presets available"));
        QVERIFY(!c->startUploadMainPreset());
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware file does not contains any preset"));
        QVERIFY(!c->startUploadSubPreset(QStringLiteral("AS1")));
        QCOMPARE(c->displayMessage(), QStringLiteral("Preset AS1 not available"));

        QByteArray damaged = embeddedPackage();
        damaged[100] = char(damaged.at(100) ^ 0x80); // in the main image's first block
        QSignalSpy failed(c, &Controller::failed);
        QVERIFY(rig.load(writeFile(m_dir.filePath(QStringLiteral("damaged.rvf")), damaged)));
        QCOMPARE(rig.recorder.states(), (QStringList{"Parsing", "Failed", "Idle"}));
        QCOMPARE(c->debugMessage(), QStringLiteral("Failed, Bad CRC"));
        QCOMPARE(failed.count(), 1);
        QVERIFY(c->mainFwVersion().isEmpty());
        QVERIFY(c->mainPresetAt(0).isEmpty());
        c->startUploadMainFirmware();
        QCOMPARE(c->debugMessage(), QStringLiteral("Firmware is not loaded yet"));
        c->startUploadFirmware(QStringLiteral("AA1"), QStringLiteral("AS1"));
        QVERIFY(!c->startUploadMainPreset(QStringLiteral("AA1")));
        QCOMPARE(V::status().requestsReceived, 0);
    }

private:
    QTemporaryDir m_dir;
    QString m_small;
};

VELA_TEST_MAIN_CORE(TestFirmwareUpdate)
#include "tst_firmwareupdate.moc"
