// The upload worker: loading the package (what it keeps, drops and refuses, including a
// damaged section), and its procedures against the virtual Wdx through a running request
// processor: the reboot handshake and its time-outs, main, DSP and preset uploads and all in
// one, firmware state checks, block retries, read-back verification, the bound on the status
// polling, and an unplugged cable in the middle of a main upload.

#include "FirmwareTestSupport.h"
#include "UploadRig.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmwarePackage.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace FirmwareTest;
using W = WdxFirmwareWorker;

namespace {

constexpr int kFirmwareOp = 0x02;

V::Bytes bytesOf(const QByteArray &b)
{
    return V::Bytes(b.begin(), b.end());
}

// Frames written to the device, as "cmd op sub" text, for order checks.
QStringList wireSummary()
{
    QStringList out;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice)) {
        out << QStringLiteral("%1 %2 %3")
                   .arg(e.cmd, 2, 16, QLatin1Char('0'))
                   .arg(e.op, 2, 16, QLatin1Char('0'))
                   .arg(e.data.empty() ? QStringLiteral("--") : QStringLiteral("%1").arg(e.data[0], 2, 16, QLatin1Char('0')));
    }
    return out;
}

int blockWrites(int subCode, int id = -1)
{
    return countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, subCode,
                       [id](const V::WireEntry &e) { return id < 0 || (e.data.size() > 1 && e.data[1] == id); });
}

// Answers the device did not send because of the dropReply fault, for one block id.
int droppedBlockAnswers(int subCode, int id)
{
    int n = 0;
    for (const V::WireEntry &e : V::wireLog()) {
        if (e.direction == V::Direction::FromDevice && e.has(V::Dropped) && e.op == kFirmwareOp && e.data.size() > 1
            && e.data[0] == subCode && e.data[1] == id)
            ++n;
    }
    return n;
}

void dropReplies(bool drop)
{
    V::Faults f = V::faults();
    f.dropReply = drop ? 1.0 : 0.0;
    V::setFaults(f);
}

bool sameImage(const V::Image &device, const PackageImage &package)
{
    return device.present && device.blocks == package.blocks && device.size == quint16(package.payloadSize)
        && QByteArray(reinterpret_cast<const char *>(device.checksum.data()), 4) == package.checksum;
}

} // namespace

class TestFirmwareWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_package = embeddedPackage();
        QVERIFY(!m_package.isEmpty());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void init()
    {
        V::reset();
        V::setTiming(V::Timing::instant());
        V::plug();
    }

    // --- Loading -----------------------------------------------------------------------------

    void loadsTheShippedPackage()
    {
        LogCapture log;
        W worker(false, kPackageResource);
        int loaded = 0;
        connect(&worker, &W::fwFileLoaded, this, [&] { ++loaded; });
        QCOMPARE(worker.loadFile(), W::Ok);
        QCOMPARE(loaded, 1);
        QCOMPARE(worker.mainBlocks(), 89);
        QCOMPARE(worker.dspBlocks(), 73);
        QCOMPARE(worker.mainWaitMs(), 14000);
        QCOMPARE(worker.mainFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(worker.dspFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(worker.presetsVersion(), QStringLiteral("2.01/2.01"));

        const WdxFirmwarePackage::PackageReport report = WdxFirmwarePackage::inspect(QRawData(m_package));
        QCOMPARE(worker.mainPresetIds(), report.mainPresetIds);
        QCOMPARE(worker.subPresetIds(), report.subPresetIds);
        QCOMPARE(worker.mainPresetIds().size(), 23);
        QCOMPARE(worker.subPresetIds().size(), 17);
        QCOMPARE(worker.mainPresetIds().first(), QStringLiteral("AA1"));
        QCOMPARE(worker.subPresetIds().first(), QStringLiteral("AS1"));
        QCOMPARE(worker.mainPresets().keys(), worker.mainPresetIds());
        QCOMPARE(worker.firstMainPresetBlocks(), 17);
        QCOMPARE(worker.firstSubPresetBlocks(), 7);
        QCOMPARE(log.count(QStringLiteral("Debug"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("File parsed, main version 2.01")),
                 1);
    }

    void damagedSectionRefusesTheWholePackage()
    {
        // One payload byte of the DSP image flipped: the section still parses, its CRC does not match.
        QByteArray damaged = m_package;
        const int dsp = 8 + int(getU32(m_package, 0));
        const int at = dsp + 4 + 24 + 10 * (512 + 4) + 4 + 7;
        damaged[at] = char(damaged.at(at) ^ 0x01);
        const QString path = write(QStringLiteral("damaged.rvf"), damaged);

        LogCapture log;
        W worker(false, kPackageResource);
        int loaded = 0;
        connect(&worker, &W::fwFileLoaded, this, [&] { ++loaded; });
        QCOMPARE(worker.loadFile(), W::Ok);
        QCOMPARE(worker.loadFile(path), W::BadCRC);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("Error parsing file, Bad CRC")),
                 1);
        // Nothing survives: neither the sections before the damaged one nor the previous package.
        QCOMPARE(loaded, 1);
        QVERIFY(!worker.mainFw());
        QVERIFY(!worker.dspFw());
        QVERIFY(worker.mainPresets().isEmpty());
        QVERIFY(worker.subPresetIds().isEmpty());
        QVERIFY(worker.mainFwVersion().isEmpty());
        QVERIFY(worker.presetsVersion().isEmpty());
        QCOMPARE(worker.mainWaitMs(), 0);
        QCOMPARE(worker.mainBlocks(), -1);

        // The same package undamaged loads again.
        QCOMPARE(worker.loadFile(write(QStringLiteral("good.rvf"), m_package)), W::Ok);
        QCOMPARE(loaded, 2);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("result");

        const QByteArray main = wellFormed("RWDX", 2, 8).bytes();
        const QByteArray dsp = wellFormed("RDSP", 2, 8).bytes();
        const QByteArray pass = preset("AB1", "PASS").bytes();
        QTest::newRow("no RDSP") << main + pass << int(W::BadFile);
        QTest::newRow("no RWDX") << dsp + pass << int(W::BadFile);
        QTest::newRow("empty") << QByteArray() << int(W::BadFile);
        QTest::newRow("seven bytes") << QByteArray(7, '\0') << int(W::BadFile);
        QTest::newRow("zero size") << QByteArray(64, '\0') << int(W::BadFile);
        QTest::newRow("truncated") << (main + dsp + pass).left(main.size() + dsp.size() + pass.size() - 1) << int(W::BadFile);
        QTest::newRow("trailing bytes") << main + dsp + QByteArray(3, 'x') << int(W::BadFile);
        QByteArray oversized = main + dsp;
        oversized[0] = char(0x7F); // a data size far beyond the file
        QTest::newRow("oversized") << oversized << int(W::BadFile);
        QByteArray noise(4096, Qt::Uninitialized);
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 2654435761u) >> 13);
        QTest::newRow("random") << noise << int(W::BadFile);
        HandSection broken = wellFormed("RDSP", 2, 8);
        broken.blockSize = 9;
        QTest::newRow("size rule") << main + broken.bytes() << int(W::BadFile);
    }

    void refusedFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, result);
        LogCapture log;
        W worker(false, kPackageResource);
        QCOMPARE(worker.loadFile(), W::Ok);
        int loaded = 0;
        connect(&worker, &W::fwFileLoaded, this, [&] { ++loaded; });
        QCOMPARE(int(worker.loadFile(write(QStringLiteral("refused.rvf"), file))), result);
        QCOMPARE(loaded, 0);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("Error parsing file, Bad File")),
                 1);
        if (file.size() < 8) {
            // Too short to be read as a package at all: the loaded one stays, as for a missing file.
            QCOMPARE(worker.mainBlocks(), 89);
        } else {
            // Whatever was read, before the fault or earlier, is gone.
            QVERIFY(!worker.mainFw());
            QVERIFY(!worker.dspFw());
            QVERIFY(worker.mainPresets().isEmpty());
            QCOMPARE(worker.mainBlocks(), -1);
        }
    }

    void missingFile()
    {
        LogCapture log;
        W worker(false, m_dir.filePath(QStringLiteral("absent.rvf")));
        QCOMPARE(worker.loadFile(), W::FileNotFound);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("Error parsing file, File Not Found")),
                 1);
    }

    void droppedAndSkippedSections()
    {
        const QByteArray file = wellFormed("RWDX", 12, 8).bytes() + wellFormed("RCAB", 1, 8).bytes()
            + wellFormed("RDSP", 2, 8).bytes() + preset("AB1", "PASS").bytes() + preset("AB2", "PASS", 2, "2.00").bytes()
            + preset("AB3", "PAS ").bytes() + wellFormed("RXYZ", 1, 8).bytes() + preset("CD1", "SUB ").bytes()
            + preset("AB1", "PASS", 3).bytes();
        LogCapture log;
        W worker(false, write(QStringLiteral("mixed.rvf"), file));
        QCOMPARE(worker.loadFile(), W::Ok);
        QCOMPARE(worker.mainPresetIds(), QStringList{QStringLiteral("AB1")});
        QCOMPARE(worker.subPresetIds(), QStringList{QStringLiteral("CD1")});
        // A later preset with the same id replaces the earlier one.
        QCOMPARE(worker.firstMainPresetBlocks(), 3);
        QCOMPARE(worker.mainWaitMs(), 2000);
        const QString module = QStringLiteral("WdxFirmwareWorker");
        QCOMPARE(log.count(QStringLiteral("Warning"), module, QStringLiteral("loadFile"),
                           QStringLiteral("Bad fw version for PASS preset AB2")),
                 1);
        QCOMPARE(log.countContaining(module, QStringLiteral("[Warning]")), 3);
        QCOMPARE(log.countContaining(module, QStringLiteral("PAS ")), 1);
        QCOMPARE(log.count(QStringLiteral("Warning"), module, QStringLiteral("loadFile"),
                           QStringLiteral("Unmanaged fw slot, target is [RXYZ]")),
                 1);
    }

    void presetsVersionWithoutSubPresets()
    {
        const QByteArray main = wellFormed("RWDX", 2, 8).bytes() + wellFormed("RDSP", 2, 8).bytes();
        W worker(false, QString());
        QCOMPARE(worker.loadFile(write(QStringLiteral("none.rvf"), main)), W::Ok);
        QCOMPARE(worker.presetsVersion(), QString());
        QCOMPARE(worker.loadFile(write(QStringLiteral("pass.rvf"), main + preset("AB1", "PASS").bytes())), W::Ok);
        QCOMPARE(worker.presetsVersion(), QStringLiteral("2.01/2.01"));
        QCOMPARE(worker.firstSubPresetBlocks(), -1);
    }

    // --- Uploads -----------------------------------------------------------------------------

    void mainUploadFollowsTheRebootHandshake()
    {
        V::update([](V::DeviceState &s) {
            s.mainVersion = "1.00";
            s.fallbackImageVersion = "0.00"; // a garbled version tag must show
        });
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();
        V::clearLogs();

        rig.worker->uploadFirmware(W::UploadMain);
        QVERIFY(rig.waitIdle(kMainUploadWait));
        QCOMPARE(rig.recorder.states(), (QStringList{"Reboot", "WaitReconnection", "LockOnBoot", "UploadingMain", "Idle"}));
        QVERIFY(!rig.recorder.has(QStringLiteral("failed")));
        QVERIFY(rig.recorder.has(QStringLiteral("mainFinished")));
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QCOMPARE(rig.recorder.steps(), 89 + 14000 / 250);

        // On the wire: reboot, boot-stage lock, state check, opening, 89 blocks, closing.
        const QStringList wire = wireSummary();
        QCOMPARE(wire.size(), 1 + 1 + 1 + 1 + 89 + 1);
        QCOMPARE(wire.at(0), QStringLiteral("01 00 --"));
        QCOMPARE(wire.at(1), QStringLiteral("00 00 --"));
        QCOMPARE(wire.at(2), QStringLiteral("00 02 00"));
        QCOMPARE(wire.at(3), QStringLiteral("01 02 00"));
        QCOMPARE(wire.mid(4, 89).filter(QStringLiteral("01 02 01")).size(), 89);
        const PackageImage image = packageImage(m_package, QStringLiteral("RWDX"));
        const V::WireEntry closing = V::frames(V::Direction::ToDevice, 0x01, kFirmwareOp, 0x00).back();
        QCOMPARE(closing.data, bytesOf(QByteArray("\x00\x81\xB2\x00", 4) + image.checksum));

        QVERIFY(sameImage(V::image(V::ImageKind::Main), image));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(V::state().mainVersion), QStringLiteral("2.01"), kWait);
    }

    void dspUploadNeedsNoReboot()
    {
        V::update([](V::DeviceState &s) {
            s.dspVersion = "1.00";
            s.fallbackImageVersion = "0.00";
        });
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();
        V::clearLogs();

        rig.worker->uploadFirmware(W::UploadDsp);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.recorder.states(), (QStringList{"UploadingDsp", "Idle"}));
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QVERIFY(rig.recorder.has(QStringLiteral("dspFinished")));
        QCOMPARE(rig.recorder.steps(), 73 + 1);
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x01, 0x00, -1), 0);
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x00, 0x00, -1), 0);
        const PackageImage image = packageImage(m_package, QStringLiteral("RDSP"));
        QVERIFY(sameImage(V::image(V::ImageKind::Dsp), image));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(V::state().dspVersion), QStringLiteral("2.01"), kWait);
    }

    void presetUploadsBothKinds()
    {
        V::update([](V::DeviceState &s) {
            s.mainPresetVersion = "1.00";
            s.subPresetVersion = "1.00";
            s.fallbackImageVersion = "0.00";
        });
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        rig.worker->uploadFirmware(W::UploadPreset, QStringLiteral("CB2"), QStringLiteral("SC1"));
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.recorder.states(), (QStringList{"UploadingPreset", "Idle"}));
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QCOMPARE(rig.recorder.steps(), 17 + 1 + 7 + 1);
        QVERIFY(sameImage(V::image(V::ImageKind::MainPreset), packageImage(m_package, QStringLiteral("RPRS"), QStringLiteral("CB2"))));
        QVERIFY(sameImage(V::image(V::ImageKind::SubPreset), packageImage(m_package, QStringLiteral("RPRS"), QStringLiteral("SC1"))));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(V::state().subPreset), QStringLiteral("SC1"), kWait);
        QCOMPARE(QString::fromStdString(V::state().mainPreset), QStringLiteral("CB2"));
        QCOMPARE(QString::fromStdString(V::state().mainPresetVersion + "/" + V::state().subPresetVersion),
                 rig.worker->presetsVersion());

        // The ids were used up: an upload without ids has nothing to do.
        rig.recorder.clear();
        const int before = V::status().requestsReceived;
        rig.worker->uploadFirmware(W::UploadPreset);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.recorder.events(),
                 (QStringList{"state:UploadingPreset", "presetFinished(0)", "fwUploadFinished", "state:Idle"}));
        QCOMPARE(V::status().requestsReceived, before);
    }

    // An upload that ends, well or not, leaves no preset id behind: the next one installs only
    // what it is given.
    void failedUploadLeavesNoPresetIdBehind_data()
    {
        QTest::addColumn<int>("firstType");
        QTest::addColumn<int>("lostStateReads"); // sub-code of the firmware-state reads left unanswered
        QTest::addColumn<QString>("nextMain");
        QTest::addColumn<QString>("nextSub");
        QTest::newRow("full update failing in main, then a sub preset") << int(W::UploadAll) << 0x00 << QString()
                                                                        << QStringLiteral("MS2");
        QTest::newRow("presets failing at the main one, then a main preset") << int(W::UploadPreset) << 0x02
                                                                             << QStringLiteral("AB1") << QString();
    }

    void failedUploadLeavesNoPresetIdBehind()
    {
        QFETCH(int, firstType);
        QFETCH(int, lostStateReads);
        QFETCH(QString, nextMain);
        QFETCH(QString, nextSub);
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        V::AnswerRule lost;
        lost.cmd = 0x00;
        lost.op = kFirmwareOp;
        lost.subCode = lostStateReads;
        V::addAnswerRule(lost);
        rig.worker->uploadFirmware(W::enFwUploadType(firstType), QStringLiteral("CB2"), QStringLiteral("SC1"));
        QVERIFY(rig.waitIdle(kMainUploadWait));
        QCOMPARE(rig.worker->lastErrorCode(), W::Timeout);
        QVERIFY(!V::image(V::ImageKind::MainPreset).present);
        QVERIFY(!V::image(V::ImageKind::SubPreset).present);

        V::clearAnswerRules();
        V::clearLogs();
        rig.recorder.clear();
        rig.worker->uploadFirmware(W::UploadPreset, nextMain, nextSub);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        auto openings = [](int state) {
            return countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, 0x02,
                               [state](const V::WireEntry &e) { return e.data.size() > 1 && e.data[1] == state; });
        };
        QCOMPARE(openings(2), nextMain.isEmpty() ? 0 : 1);
        QCOMPARE(openings(3), nextSub.isEmpty() ? 0 : 1);
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::MainPreset).presetId), nextMain);
        QCOMPARE(QString::fromStdString(V::image(V::ImageKind::SubPreset).presetId), nextSub);
    }

    void everythingInOneUpload()
    {
        V::update([](V::DeviceState &s) {
            s.mainVersion = "1.00";
            s.dspVersion = "1.00";
            s.mainPresetVersion = "1.00";
            s.subPresetVersion = "1.00";
            s.fallbackImageVersion = "0.00";
        });
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        rig.worker->uploadFirmware(W::UploadAll, QStringLiteral("AB1"), QStringLiteral("MS2"));
        QVERIFY(rig.waitIdle(kMainUploadWait));
        QCOMPARE(rig.recorder.states(), (QStringList{"Reboot", "WaitReconnection", "LockOnBoot", "UploadingMain",
                                                     "UploadingDsp", "UploadingPreset", "Idle"}));
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QCOMPARE(rig.recorder.events().filter(QStringLiteral("Finished")),
                 (QStringList{"mainFinished", "dspFinished", "presetFinished", "fwUploadFinished"}));
        QCOMPARE(rig.recorder.steps(), (89 + 56) + (73 + 1) + (17 + 1) + (7 + 1));

        QVERIFY(sameImage(V::image(V::ImageKind::Main), packageImage(m_package, QStringLiteral("RWDX"))));
        QVERIFY(sameImage(V::image(V::ImageKind::Dsp), packageImage(m_package, QStringLiteral("RDSP"))));
        QVERIFY(sameImage(V::image(V::ImageKind::MainPreset), packageImage(m_package, QStringLiteral("RPRS"), QStringLiteral("AB1"))));
        QVERIFY(sameImage(V::image(V::ImageKind::SubPreset), packageImage(m_package, QStringLiteral("RPRS"), QStringLiteral("MS2"))));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(V::state().subPreset), QStringLiteral("MS2"), kWait);
        const V::DeviceState device = V::state();
        QCOMPARE(QString::fromStdString(device.mainVersion), rig.worker->mainFwVersion());
        QCOMPARE(QString::fromStdString(device.dspVersion), rig.worker->dspFwVersion());
        QCOMPARE(QString::fromStdString(device.mainPresetVersion + "/" + device.subPresetVersion), rig.worker->presetsVersion());
        QCOMPARE(QString::fromStdString(device.mainPreset), QStringLiteral("AB1"));
    }

    void noDisconnectionAfterTheReboot()
    {
        V::Timing t = V::Timing::instant();
        t.rebootLeaveMs = 20000;
        V::setTiming(t);
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        QElapsedTimer clock;
        clock.start();
        rig.worker->uploadFirmware(W::UploadMain);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.recorder.states(), (QStringList{"Reboot", "TimeoutOnDisconnect", "Idle"}));
        QVERIFY(clock.elapsed() >= W::kDisconnectionTimeoutMs - 100);
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        QCOMPARE(rig.worker->lastErrorCode(), W::Timeout);
        QCOMPARE(blockWrites(0x01), 0);
    }

    void noReconnectionAfterTheReboot()
    {
        V::Timing t = V::Timing::instant();
        t.rebootAbsentMs = 20000;
        V::setTiming(t);
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        rig.worker->uploadFirmware(W::UploadMain);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.recorder.states(), (QStringList{"Reboot", "WaitReconnection", "TimeoutOnReconnect", "Idle"}));
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        QCOMPARE(rig.worker->lastErrorCode(), W::Timeout);
    }

    void downloadInProgressIsNotDisturbed()
    {
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        // Someone else opened a DSP download.
        WdxRequest open(WdxRequestBuilder::writeDspStatusMessage(1, 0, QRawData()));
        QVERIFY(engine.processor->executeRequest(&open));
        QCOMPARE(open.status(), WdxRequest::Completed);
        QCOMPARE(int(V::status().dspFwState), 1);

        LogCapture log;
        rig.worker->uploadFirmware(W::UploadDsp);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.worker->lastErrorCode(), W::BadState);
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        QCOMPARE(rig.recorder.states(), (QStringList{"UploadingDsp", "Failed", "Idle"}));
        QCOMPARE(blockWrites(0x03), 0);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("uploadDspFirmware"),
                           QStringLiteral("Firmware is already downloading, stop new download")),
                 1);
    }

    void blockWriteSurvivesTwoTimeouts()
    {
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        // Room for the watcher between the opening and the first block.
        engine.processor->setInterval(50);
        rig.recorder.clear();

        int phase = 0;
        WireWatch watch([&phase] {
            if (phase == 0 && countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, 0x02) > 0) {
                dropReplies(true);
                phase = 1;
            } else if (phase == 1 && droppedBlockAnswers(0x03, 0) == 2) {
                dropReplies(false);
                return true;
            }
            return false;
        });
        rig.worker->uploadFirmware(W::UploadDsp);
        QVERIFY(rig.waitIdle());
        QVERIFY(watch.done());
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QCOMPARE(blockWrites(0x03, 0), 3);
        QCOMPARE(blockWrites(0x03, 1), 1);
        QVERIFY(sameImage(V::image(V::ImageKind::Dsp), packageImage(m_package, QStringLiteral("RDSP"))));
    }

    void blockWriteFailsAfterThreeTimeouts()
    {
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        engine.processor->setInterval(50);
        rig.recorder.clear();

        WireWatch watch([] {
            if (countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, 0x02) == 0)
                return false;
            dropReplies(true);
            return true;
        });
        LogCapture log;
        rig.worker->uploadFirmware(W::UploadDsp);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.worker->lastErrorCode(), W::Timeout);
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        QCOMPARE(blockWrites(0x03, 0), 3);
        QCOMPARE(blockWrites(0x03, 1), 0);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("updateFirmwareSlot"),
                           QStringLiteral("Error uploading firmware, Timeout")),
                 1);
        QVERIFY(!V::image(V::ImageKind::Dsp).present);
    }

    void readBackVerification()
    {
        Engine engine;
        WorkerRig rig(engine, true);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        engine.processor->setInterval(50);

        // Every block read back equal: the upload passes.
        rig.recorder.clear();
        rig.worker->uploadFirmware(W::UploadPreset, QStringLiteral("AA2"));
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x00, kFirmwareOp, 0x03), 17);

        // One byte differs in the answer to the first read-back.
        V::clearLogs();
        rig.recorder.clear();
        const PackageImage image = packageImage(m_package, QStringLiteral("RDSP"));
        const V::Bytes &block0 = image.blocks.at(0);
        V::Bytes forged(2 + block0.size());
        forged[0] = 0x03;
        std::copy(block0.begin(), block0.end(), forged.begin() + 2);
        forged[2 + 100] ^= 0x40;
        int phase = 0;
        WireWatch watch([&] {
            if (phase == 0 && countFrames(V::Direction::FromDevice, 0x81, kFirmwareOp, 0x03) > 0) {
                dropReplies(true); // the device's own answer to the read-back is lost...
                phase = 1;
            } else if (phase == 1 && countFrames(V::Direction::ToDevice, 0x00, kFirmwareOp, 0x03) > 0) {
                V::injectFromDevice(V::frame(0x80, kFirmwareOp, forged)); // ...and another one arrives
                return true;
            }
            return false;
        });
        LogCapture log;
        rig.worker->uploadFirmware(W::UploadDsp);
        QVERIFY(rig.waitIdle());
        QVERIFY(watch.done());
        QCOMPARE(rig.worker->lastErrorCode(), W::CommunicationError);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("updateFirmwareSlot"),
                           QStringLiteral("Error uploading firmware, mismatch on sent block")),
                 1);
        QCOMPARE(blockWrites(0x03, 1), 0);
    }

    void statusPollingIsBounded()
    {
        Engine engine;
        WorkerRig rig(engine, false, kPackageResource, 50);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.worker->setStatusPollLimitMs(1500);
        V::Faults f;
        f.silentStatus = true;
        V::setFaults(f);
        rig.recorder.clear();

        LogCapture log;
        rig.worker->uploadFirmware(W::UploadDsp);
        QVERIFY(rig.waitIdle());
        QCOMPARE(rig.worker->lastErrorCode(), W::Timeout);
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        QVERIFY(!rig.recorder.has(QStringLiteral("dspFinished")));
        QCOMPARE(rig.recorder.steps(), 73);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("uploadDspFirmware"),
                           QStringLiteral("No device status within 1500 ms, Timeout")),
                 1);
        // Polled several times, every 50 ms tick plus the reply time-out.
        QVERIFY(countFrames(V::Direction::ToDevice, 0x00, 0x01, 0x04) >= 3);
    }

    // The cable is out just when the image is to be closed: the closing request fails, yet the
    // device still gets its time (the main image's pause, the status polling after a DSP image
    // or a preset) before the failure is reported.
    void failedClosingStillWaitsForTheDevice_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("blockSubCode");
        QTest::addColumn<int>("lastBlock");
        QTest::addColumn<QString>("function");
        QTest::addColumn<int>("steps");
        QTest::newRow("dsp") << int(W::UploadDsp) << 0x03 << 72 << QStringLiteral("uploadDspFirmware") << 73 + 1;
        QTest::newRow("preset") << int(W::UploadPreset) << 0x03 << 16 << QStringLiteral("uploadMainPreset") << 17 + 1;
        QTest::newRow("main") << int(W::UploadMain) << 0x01 << 88 << QStringLiteral("uploadMainFirmware")
                              << 89 + 14000 / 50;
    }

    void failedClosingStillWaitsForTheDevice()
    {
        QFETCH(int, type);
        QFETCH(int, blockSubCode);
        QFETCH(int, lastBlock);
        QFETCH(QString, function);
        QFETCH(int, steps);

        Engine engine;
        WorkerRig rig(engine, false, kPackageResource, 50);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.worker->setStatusPollLimitMs(20000);
        rig.recorder.clear();
        V::clearLogs();

        // Pulled on the worker's thread as the last block is done, before the closing request.
        std::atomic<int> blocksDone{0};
        std::atomic<bool> pulled{false};
        connect(rig.worker, &W::stepDone, rig.worker, [&blocksDone, &pulled, lastBlock] {
            if (++blocksDone == lastBlock + 1) {
                V::replugAfter(1500);
                pulled = true;
            }
        }, Qt::DirectConnection);
        LogCapture log;
        rig.worker->uploadFirmware(W::enFwUploadType(type), QStringLiteral("AA1"));
        QVERIFY(rig.waitIdle(kMainUploadWait));
        QVERIFY(pulled);
        QCOMPARE(rig.worker->lastErrorCode(), W::CommunicationError);
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        // Every block went out; the closing request did not.
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, blockSubCode), lastBlock + 1);
        const int statusSub = blockSubCode == 0x01 ? 0x00 : 0x02;
        QCOMPARE(countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, statusSub,
                             [](const V::WireEntry &e) { return e.data.size() > 1 && e.data[1] >= 0x81; }),
                 0);
        QCOMPARE(rig.recorder.steps(), steps);
        QVERIFY(log.count(QStringLiteral("Debug"), QStringLiteral("WdxFirmwareWorker"), function,
                          QStringLiteral("Waiting...")) > 0);
        if (type != W::UploadMain)
            QVERIFY(countFrames(V::Direction::ToDevice, 0x00, 0x01, 0x04) > 0);
    }

    void unpluggedDuringMainUploadThenRetried()
    {
        Engine engine;
        WorkerRig rig(engine);
        QVERIFY(engine.start());
        QVERIFY(rig.start());
        rig.recorder.clear();

        WireWatch unplugger([] {
            if (countFrames(V::Direction::ToDevice, 0x01, kFirmwareOp, 0x01) < 10)
                return false;
            V::unplug();
            return true;
        });
        rig.worker->uploadFirmware(W::UploadMain);
        QVERIFY(rig.waitIdle(kMainUploadWait));
        QVERIFY(rig.recorder.has(QStringLiteral("failed")));
        QCOMPARE(rig.worker->lastErrorCode(), W::CommunicationError);
        QVERIFY(!V::image(V::ImageKind::Main).present);

        // The device comes back (still in its boot loader); a second upload goes through.
        V::plug();
        QVERIFY(QTest::qWaitFor([&] { return engine.processor->isConnected(); }, kWait));
        rig.recorder.clear();
        rig.worker->uploadFirmware(W::UploadMain);
        QVERIFY(rig.waitIdle(kMainUploadWait));
        QCOMPARE(rig.worker->lastErrorCode(), W::Ok);
        QVERIFY(sameImage(V::image(V::ImageKind::Main), packageImage(m_package, QStringLiteral("RWDX"))));
        QTRY_COMPARE_WITH_TIMEOUT(V::status().mode, V::RunMode::Main, kWait);
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
    QByteArray m_package;
};

VELA_TEST_MAIN_CORE(TestFirmwareWorker)
#include "tst_firmwareworker.moc"
