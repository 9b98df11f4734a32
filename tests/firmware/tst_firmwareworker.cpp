// The upload worker's procedures against the virtual Wdx through a running request processor:
// a full upload frame by frame, the reboot handshake, the ways an upload is refused before
// its first block, block retries, read-back verification, the bounded status polling, and an
// unplugged cable.

#include "UploadRig.h"
#include "VelaTestMain.h"

#include <QTemporaryDir>

#include <memory>

using namespace FirmwareTest;
using W = WdxFirmwareWorker;
using namespace std::chrono_literals;

namespace {

// Consecutive device-status reads are one poll, however many it took.
QStringList collapsePolls(const QStringList &wire)
{
    QStringList out;
    for (const QString &frame : wire)
        if (!(frame == QLatin1String("00 01 04") && !out.isEmpty() && out.last() == frame))
            out << frame;
    return out;
}

// The frames of one image on the DSP-side or main channel: state read, opening, blocks, closing.
QStringList imageFrames(const QString &channel, int opening, int blockSub, const ImageBytes &image, int closing)
{
    QStringList out{QStringLiteral("00 02 %1").arg(channel), QStringLiteral("01 02 %1%2").arg(channel).arg(opening, 2, 16, QLatin1Char('0'))};
    for (int id : image.blocks.keys())
        out << QStringLiteral("01 02 %1%2").arg(blockSub, 2, 16, QLatin1Char('0')).arg(id, 2, 16, QLatin1Char('0'));
    out << QStringLiteral("01 02 %1%2%3%4").arg(channel).arg(closing, 2, 16, QLatin1Char('0'))
               .arg(image.size, 4, 16, QLatin1Char('0')).arg(QString::fromLatin1(image.checksum.toHex()));
    return out;
}

V::AnswerRule rule(int cmd, int op, int sub, V::AnswerRule::Action action, int count = -1, const QByteArray &data = {})
{
    V::AnswerRule r;
    r.cmd = cmd;
    r.op = op;
    r.subCode = sub;
    r.action = action;
    r.count = count;
    r.replaceData = !data.isNull();
    r.data.assign(data.begin(), data.end());
    return r;
}

struct Refusal
{
    QString fault;
    W::enFwUploadType type;
    QString mainId;
    W::enErrCode code;
    QStringList states;
    QString function, line;
    int nullReads, stateReads; // frames on the wire
    int next;                  // type of the upload that follows, -1 none
};

} // namespace

Q_DECLARE_METATYPE(Refusal)

class TestFirmwareWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_package = embeddedPackage();
        QVERIFY(!m_package.isEmpty());
        // A 12-block main image (a 2 s pause after it), a 4-block DSP image, presets of 2 and 3 blocks.
        m_small = writeFile(m_dir.filePath(QStringLiteral("small.rvf")),
                            wellFormed("RWDX", 12, 16).bytes() + wellFormed("RDSP", 4, 16).bytes()
                                + preset("AB1", "PASS", 3).bytes() + preset("CD1", "SUB ").bytes());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void init()
    {
        V::reset();
        V::setTiming(V::Timing::instant());
        V::plug();
    }

    void cleanup()
    {
        m_rig.reset();
        m_engine.reset();
    }

    void fullUploadFrameByFrame()
    {
        QVERIFY(up());
        QVERIFY(m_rig->upload(W::UploadAll, QStringLiteral("AB1"), QStringLiteral("MS2"), kMainUploadWait));
        const Recorder &r = m_rig->recorder;
        QCOMPARE(r.states(), (QStringList{"Reboot", "WaitReconnection", "LockOnBoot", "UploadingMain", "UploadingDsp",
                                          "UploadingPreset", "Idle"}));
        QCOMPARE(m_rig->worker->lastErrorCode(), W::Ok);
        QCOMPARE(r.events().filter(QStringLiteral("inish")),
                 (QStringList{"mainFinished", "dspFinished", "presetFinished", "fwUploadFinished"}));
        QVERIFY(!r.has(QStringLiteral("failed")));
        QCOMPARE(r.steps(), (89 + 14000 / 250) + (73 + 1) + (17 + 1) + (7 + 1));

        const ImageBytes main = imageOf(m_package, "RWDX"), dsp = imageOf(m_package, "RDSP");
        const ImageBytes ab1 = imageOf(m_package, "RPRS", "AB1"), ms2 = imageOf(m_package, "RPRS", "MS2");
        QCOMPARE(main.size, quint16(0xB200));
        QCOMPARE(dsp.size, quint16(73 * 512));
        QStringList expected{"01 00 ", "00 00 "};
        expected << imageFrames(QStringLiteral("00"), 1, 0x01, main, 0x81);
        expected << imageFrames(QStringLiteral("02"), 1, 0x03, dsp, 0x81) << QStringLiteral("00 01 04");
        expected << imageFrames(QStringLiteral("02"), 2, 0x03, ab1, 0x82) << QStringLiteral("00 01 04");
        expected << imageFrames(QStringLiteral("02"), 3, 0x03, ms2, 0x83) << QStringLiteral("00 01 04");
        QCOMPARE(collapsePolls(wireSummary()), expected);
        QVERIFY(deviceHolds(V::ImageKind::Main, main));
        QVERIFY(deviceHolds(V::ImageKind::Dsp, dsp));
        QVERIFY(deviceHolds(V::ImageKind::MainPreset, ab1));
        QVERIFY(deviceHolds(V::ImageKind::SubPreset, ms2));

        // The ids were used up: presets without ids end at once, sending nothing.
        QVERIFY(m_rig->upload(W::UploadPreset));
        QCOMPARE(r.events(), (QStringList{"state:UploadingPreset", "presetFinished(0)", "fwUploadFinished", "state:Idle"}));
        QCOMPARE(V::frames(V::Direction::ToDevice).size(), size_t(0));
    }

    void noReconnectionAfterTheReboot()
    {
        V::Timing t = V::Timing::instant();
        t.rebootAbsentMs = 20000;
        V::setTiming(t);
        QVERIFY(up());
        QVERIFY(m_rig->upload(W::UploadMain));
        const Recorder &r = m_rig->recorder;
        QCOMPARE(r.states(), (QStringList{"Reboot", "WaitReconnection", "TimeoutOnReconnect", "Idle"}));
        QCOMPARE(r.events().count(QStringLiteral("failed")), 1);
        QCOMPARE(m_rig->worker->lastErrorCode(), W::Timeout);
        QVERIFY(r.entered(QStringLiteral("TimeoutOnReconnect")) - r.entered(QStringLiteral("WaitReconnection")) >= 2990ms);
        QCOMPARE(wireSummary(), QStringList{"01 00 "});
    }

    // Each fails before any block is sent; some are followed by an upload that must go through.
    void refusedBeforeTheFirstBlock_data()
    {
        QTest::addColumn<Refusal>("r");
        const QStringList boot{"Reboot", "WaitReconnection", "LockOnBoot"}, dsp{"UploadingDsp", "Failed", "Idle"};
        const QStringList main = boot + QStringList{"UploadingMain", "Failed", "Idle"};
        QTest::newRow("boot-stage read unanswered")
            << Refusal{"null", W::UploadMain, "", W::CommunicationError, boot + QStringList{"Failed", "Idle"}, "stopMainLoad",
                       "Error posting request, Communication Error", 4, 0, -1};
        QTest::newRow("boot window missed") << Refusal{"window", W::UploadMain, "", W::BadReply, main, "uploadMainFirmware",
                                                       "Error setting firmware's state, Bad Reply", 1, 1, -1};
        QTest::newRow("state reads unanswered in a full update")
            << Refusal{"lost", W::UploadAll, "CB2", W::Timeout, main, "uploadMainFirmware",
                       "Error reading firmware's state, Timeout", 1, 4, W::UploadPreset};
        QTest::newRow("state reply too short") << Refusal{"short", W::UploadDsp, "", W::BadReply, dsp, "readFirmwareState",
                                                          "Bad reply, data is too short (1 bytes", 0, 1, -1};
        QTest::newRow("state reply with the error bit")
            << Refusal{"error", W::UploadDsp, "", W::BadReply, dsp, "uploadDspFirmware",
                       "Error reading firmware's state, Bad Reply", 0, 1, W::UploadDsp};
        QTest::newRow("download already running")
            << Refusal{"running", W::UploadDsp, "", W::BadState, dsp, "uploadDspFirmware",
                       "Firmware is already downloading, stop new download", 0, 1, -1};
        QTest::newRow("preset not in the package")
            << Refusal{"", W::UploadPreset, "XY9", W::BadFile, {"UploadingPreset", "Failed", "Idle"}, "uploadMainPreset",
                       "No preset fw for XY9", 0, 0, -1};
    }

    void refusedBeforeTheFirstBlock()
    {
        QFETCH(Refusal, r);
        using A = V::AnswerRule::Action;
        const QMap<QString, V::AnswerRule> rules{{"null", rule(0x00, 0x00, -1, A::Drop)},
                                                 {"lost", rule(0x00, 0x02, 0x00, A::Drop)},
                                                 {"short", rule(0x00, 0x02, 0x02, A::Override, 1, QByteArray(1, '\x02'))},
                                                 {"error", rule(0x00, 0x02, 0x02, A::ErrorBit, 1)},
                                                 {"running", rule(0x00, 0x02, 0x02, A::Override, 1, QByteArray("\x02\x01", 2))}};
        if (rules.contains(r.fault))
            V::addAnswerRule(rules.value(r.fault));
        if (r.fault == QLatin1String("window")) {
            V::Timing t = V::Timing::instant();
            t.bootWindowMs = 0;
            V::setTiming(t);
        }
        QVERIFY(up());
        LogCapture log;
        QVERIFY(m_rig->upload(r.type, r.mainId, "SC1"));
        QCOMPARE(m_rig->worker->lastErrorCode(), r.code);
        QCOMPARE(m_rig->recorder.states(), r.states);
        QVERIFY(m_rig->recorder.has("failed"));
        QCOMPARE(log.count("Error", "WdxFirmwareWorker", r.function, r.line), 1);
        QCOMPARE(countFrames(0x00, 0x00, -1), r.nullReads);
        QCOMPARE(countFrames(0x00, 0x02, -1), r.stateReads);
        QCOMPARE(countFrames(0x01, 0x02, 0x01) + countFrames(0x01, 0x02, 0x03), 0);
        if (r.next < 0)
            return;

        // Nothing of the failed upload lingers: the next one does exactly what it is asked.
        V::clearAnswerRules();
        QVERIFY(m_rig->upload(W::enFwUploadType(r.next), QString(), "MS2"));
        QCOMPARE(m_rig->worker->lastErrorCode(), W::Ok);
        QCOMPARE(m_rig->recorder.states().first(), r.next == W::UploadDsp ? "UploadingDsp" : "UploadingPreset");
        QCOMPARE(countFrames(0x01, 0x00, -1) + countFrames(0x01, 0x02, 0x02, 0x02), 0);
        if (r.next == W::UploadDsp) {
            QCOMPARE(m_rig->recorder.steps(), 73 + 1);
            QVERIFY(deviceHolds(V::ImageKind::Dsp, imageOf(m_package, "RDSP")));
        } else {
            QCOMPARE(countFrames(0x01, 0x02, 0x02, 0x03), 1);
            QVERIFY(deviceHolds(V::ImageKind::SubPreset, imageOf(m_package, "RPRS", "MS2")));
            QVERIFY(!V::image(V::ImageKind::MainPreset).present);
        }
    }

    void blockRetries_data()
    {
        QTest::addColumn<int>("lostAnswers");
        QTest::addColumn<int>("code");
        QTest::newRow("two time-outs") << 2 << int(W::Ok);
        QTest::newRow("three time-outs") << 3 << int(W::Timeout);
    }

    void blockRetries()
    {
        QFETCH(int, lostAnswers);
        QFETCH(int, code);
        V::addAnswerRule(rule(0x01, 0x02, 0x03, V::AnswerRule::Action::Drop, lostAnswers));
        QVERIFY(up());
        LogCapture log;
        QVERIFY(m_rig->upload(W::UploadPreset, QString(), QStringLiteral("AS1")));
        QCOMPARE(int(m_rig->worker->lastErrorCode()), code);
        QCOMPARE(countFrames(0x01, 0x02, 0x03, 0), 3);
        QCOMPARE(countFrames(0x01, 0x02, 0x03, 1), code == W::Ok ? 1 : 0);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("updateFirmwareSlot"),
                           QStringLiteral("Error uploading firmware, Timeout")),
                 code == W::Ok ? 0 : 1);
        QCOMPARE(deviceHolds(V::ImageKind::SubPreset, imageOf(m_package, "RPRS", "AS1")), code == W::Ok);
    }

    void readBack_data()
    {
        QTest::addColumn<QByteArray>("answer"); // DATA of the first answers to block reads; null: the device's own
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("reads");
        QTest::addColumn<QString>("line");
        const QByteArray block0 = QByteArray("\x03\x00", 2) + imageOf(embeddedPackage(), "RPRS", "AS1").blocks.value(0);
        QByteArray lastByte = block0;
        lastByte[lastByte.size() - 1] = char(lastByte.at(lastByte.size() - 1) ^ 0x01);
        QTest::newRow("equal") << QByteArray() << 0 << int(W::Ok) << 7 << QString();
        QTest::newRow("last byte differs") << lastByte << 1 << int(W::CommunicationError) << 1
                                           << "Error uploading firmware, mismatch on sent block";
        QTest::newRow("one byte short") << block0.left(block0.size() - 1) << 1 << int(W::CommunicationError) << 1
                                        << "Error uploading firmware, mismatch on sent block";
        QTest::newRow("sub-code and id only") << block0.left(2) << 3 << int(W::BadReply) << 3
                                              << "Error uploading firmware, Bad Reply";
    }

    void readBack()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, count);
        QFETCH(int, code);
        QFETCH(int, reads);
        QFETCH(QString, line);
        if (!answer.isNull())
            V::addAnswerRule(rule(0x00, 0x02, 0x03, V::AnswerRule::Action::Override, count, answer));
        QVERIFY(up(kPackageResource, true));
        LogCapture log;
        QVERIFY(m_rig->upload(W::UploadPreset, QString(), QStringLiteral("AS1")));
        QCOMPARE(int(m_rig->worker->lastErrorCode()), code);
        QCOMPARE(countFrames(0x00, 0x02, 0x03), reads);
        QCOMPARE(countFrames(0x01, 0x02, 0x03, 1), code == W::Ok ? 1 : 0);
        if (!line.isEmpty())
            QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"),
                               QStringLiteral("updateFirmwareSlot"), line), 1);
    }

    void statusPollingIsBounded()
    {
        QVERIFY(up(kPackageResource, false, 50));
        m_rig->worker->setStatusPollLimitMs(1500);
        V::Faults f;
        f.silentStatus = true;
        V::setFaults(f);
        LogCapture log;
        QVERIFY(m_rig->upload(W::UploadPreset, QString(), QStringLiteral("AS1")));
        QCOMPARE(m_rig->worker->lastErrorCode(), W::Timeout);
        QVERIFY(!m_rig->recorder.has(QStringLiteral("presetFinished")));
        QCOMPARE(m_rig->recorder.steps(), 7);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("uploadSubPreset"),
                           QStringLiteral("No device status within 1500 ms, Timeout")),
                 1);
        QVERIFY(countFrames(0x00, 0x01, 0x04) >= 3);
    }

    // The cable is out just when the image is to be closed: the closing request fails, yet the
    // device still gets its time (the main image's pause, the status polling after a DSP image
    // or a preset) before the failure is reported.
    void failedClosingStillWaitsForTheDevice_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QString>("function");
        QTest::addColumn<int>("steps");
        QTest::newRow("dsp") << int(W::UploadDsp) << 0x02 << 4 << "uploadDspFirmware" << 4 + 1;
        QTest::newRow("preset") << int(W::UploadPreset) << 0x02 << 3 << "uploadMainPreset" << 3 + 1;
        QTest::newRow("main") << int(W::UploadMain) << 0x00 << 12 << "uploadMainFirmware" << 12 + 2000 / 50;
    }

    void failedClosingStillWaitsForTheDevice()
    {
        QFETCH(int, type);
        QFETCH(int, channel);
        QFETCH(int, blocks);
        QFETCH(QString, function);
        QFETCH(int, steps);
        QVERIFY(up(m_small, false, 50));
        std::atomic<int> done{0};
        connect(m_rig->worker, &W::stepDone, m_rig->worker, [&done, blocks] {
            if (++done == blocks)
                V::replugAfter(1500);
        }, Qt::DirectConnection);
        LogCapture log;
        QVERIFY(m_rig->upload(W::enFwUploadType(type), QStringLiteral("AB1"), QString(), kMainUploadWait));
        QCOMPARE(m_rig->worker->lastErrorCode(), W::CommunicationError);
        QCOMPARE(countFrames(0x01, 0x02, channel + 1), blocks);
        QCOMPARE(countFrames(0x01, 0x02, channel, 0x81) + countFrames(0x01, 0x02, channel, 0x82), 0);
        QCOMPARE(m_rig->recorder.steps(), steps);
        QVERIFY(log.count(QStringLiteral("Debug"), QStringLiteral("WdxFirmwareWorker"), function, QStringLiteral("Waiting...")) > 0);
    }

    void unpluggedDuringMainUploadThenRetried()
    {
        QVERIFY(up(m_small));
        int done = 0;
        connect(m_rig->worker, &W::stepDone, m_rig->worker, [&done] {
            if (++done == 5)
                V::unplug();
        }, Qt::DirectConnection);
        QVERIFY(m_rig->upload(W::UploadMain));
        QCOMPARE(m_rig->worker->lastErrorCode(), W::CommunicationError);
        QVERIFY(m_rig->recorder.has(QStringLiteral("failed")));
        QVERIFY(!V::image(V::ImageKind::Main).present);

        V::plug();
        QVERIFY(QTest::qWaitFor([this] { return m_engine->processor->isConnected(); }, kWait));
        QVERIFY(m_rig->upload(W::UploadMain));
        QCOMPARE(m_rig->worker->lastErrorCode(), W::Ok);
        QCOMPARE(m_rig->recorder.steps(), 12 + 2000 / 250);
        QFile small(m_small);
        QVERIFY(small.open(QIODevice::ReadOnly));
        QVERIFY(deviceHolds(V::ImageKind::Main, imageOf(small.readAll(), "RWDX")));
    }

private:
    bool up(const QString &file = kPackageResource, bool verify = false, int waitTickMs = 0)
    {
        m_engine.reset(new Engine);
        m_rig.reset(new WorkerRig(*m_engine, verify, file, waitTickMs));
        return m_engine->start() && m_rig->start();
    }

    QTemporaryDir m_dir;
    QByteArray m_package;
    QString m_small;
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<WorkerRig> m_rig;
};

VELA_TEST_MAIN_CORE(TestFirmwareWorker)
#include "tst_firmwareworker.moc"
