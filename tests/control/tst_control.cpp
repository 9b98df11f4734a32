// The settings families through the whole stack against the virtual Wdx: what each read
// decodes and what it drops, the re-post rules, the PIN requests, and every editable value
// from the model to the device and back.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "models/RVEQBand.h"
#include "models/RVEq.h"
#include "models/WdxInputItem.h"
#include "models/WdxInputListModel.h"
#include "models/WdxOutputItem.h"
#include "models/WdxOutputListModel.h"
#include "models/WdxPreProcItem.h"
#include "models/WdxPreProcListModel.h"
#include "protocol/WdxRequestBuilder.h"

#include <QPointer>

using namespace ControlTest;

namespace {

QString text(const QString &value)
{
    QString out = value;
    return out.replace(QChar(0), QStringLiteral("\\0"));
}

template <typename Vector>
QString join(const Vector &values)
{
    QStringList parts;
    for (auto v : values)
        parts.append(QString::number(v));
    return parts.join(QLatin1Char(','));
}

// Every signal of the sub-controllers, written down as it goes out (band records are lent
// for the length of the signal only).
class Recorder : public QObject
{
public:
    explicit Recorder(WdxController *c)
    {
        using I = WdxController_DeviceInfo;
        I *info = c->deviceInfo();
        auto textSignal = [this](const char *name) {
            return [this, name](const QString &v) { note(QStringLiteral("%1(%2)").arg(QLatin1String(name), text(v))); };
        };
        auto bytesSignal = [this](const char *name) {
            return [this, name](const QVector<quint8> &v) { note(QStringLiteral("%1(%2)").arg(QLatin1String(name), join(v))); };
        };
        connect(info, &I::deviceNameRead, this, textSignal("name"));
        connect(info, &I::deviceTypeRead, this, textSignal("type"));
        connect(info, &I::mainFwVersionRead, this, textSignal("main"));
        connect(info, &I::dspFwVersionRead, this, textSignal("dsp"));
        connect(info, &I::presetFwVersionRead, this, textSignal("preset"));
        connect(info, &I::deviceStatusRead, this, textSignal("status"));
        connect(info, &I::deviceSecurityStatusRead, this, textSignal("lock"));
        connect(info, &I::outputMetersRead, this, bytesSignal("outputMeters"));
        connect(info, &I::outputCompressorMetersRead, this, bytesSignal("compressorMeters"));
        connect(info, &I::inputMetersRead, this, bytesSignal("inputMeters"));
        connect(c->gains(), &WdxController_GainsSettings::outputGainsRead, this, bytesSignal("gains"));
        connect(c->gains(), &WdxController_GainsSettings::frontPanelGainsRead, this, bytesSignal("frontPanel"));
        connect(c->delays(), &WdxController_DelaysSettings::outputDelaysRead, this,
                [this](const QVector<quint16> &v) { note(QStringLiteral("delays(%1)").arg(join(v))); });
        connect(c->patch(), &WdxController_PatchSettings::preProcessingPatchRead, this,
                [this](int ch, quint8 v) { note(QStringLiteral("preProcPatch(%1,%2)").arg(ch).arg(v)); });
        connect(c->patch(), &WdxController_PatchSettings::outputPatchRead, this,
                [this](int ch, quint8 v) { note(QStringLiteral("outputPatch(%1,%2)").arg(ch).arg(v)); });
        connect(c->eq(), &WdxController_EqSettings::eqRead, this, [this](int ch, bool on, QList<WdxEqBand *> bands) {
            QStringList b;
            for (const WdxEqBand *band : bands)
                b.append(QStringLiteral("%1 %2 %3 %4")
                             .arg(band->control(), 2, 16, QLatin1Char('0'))
                             .arg(band->frequency())
                             .arg(band->gain())
                             .arg(band->qualityFactor()));
            note(QStringLiteral("eq(%1,%2,[%3])").arg(ch).arg(on).arg(b.join(QLatin1Char('|'))));
        });
        connect(c->compressor(), &WdxController_CompressorSettings::compressorRead, this,
                [this](int ch, quint8 r, quint8 d, quint8 t, bool on) {
                    note(QStringLiteral("compressor(%1,%2,%3,%4,%5)").arg(ch).arg(r).arg(d).arg(t).arg(on));
                });
        connect(c->speaker(), &WdxController_SpeakerSettings::speakerModeRead, this, [this](quint8 hw, quint8 m, quint8 s) {
            note(QStringLiteral("mode(%1,%2,%3)").arg(hw).arg(m).arg(s));
        });
        connect(c->speaker(), &WdxController_SpeakerSettings::speakerPresetRead, this,
                [this](const QString &m, const QString &s) { note(QStringLiteral("presets(%1,%2)").arg(text(m), text(s))); });
        connect(c->specificFunctions(), &WdxController_SpecificFunctions::digitalMuxStatusRead, this,
                [this](quint8 v) { note(QStringLiteral("mux(%1)").arg(v)); });
    }
    QStringList events;

private:
    void note(const QString &event) { events.append(event); }
};

} // namespace

class TestControl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void answers_data();
    void answers();
    void readsLandInTheModel();
    void versionChecks_data();
    void versionChecks();
    void reposts_data();
    void reposts();
    void unlock_data();
    void unlock();
    void lockRetries();
    void nothingSentWhileDisconnected();
    void roundTrip_data();
    void roundTrip();
    void eqRecordsReleased();

private:
    // One engine for the whole run; each case starts from the factory device.
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<StackRig> m_rig;
    std::unique_ptr<Recorder> m_recorder;
};

void TestControl::initTestCase()
{
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    // Installed before the items exist: their edit timers start at construction.
    m_clock.reset(new FakeClock);
    m_rig.reset(new StackRig(V::Timing::instant()));
    m_recorder.reset(new Recorder(m_rig->controller));
    QVERIFY(m_rig->start());
}

void TestControl::init()
{
    V::clearAnswerRules();
    V::setFaults(V::Faults());
    V::setState(V::DeviceState());
    // Past every guard window of the previous case.
    m_clock->advance(10 * RVEq::kReplyGuardMs);
    QVERIFY(QTest::qWaitFor([this] { return m_rig->model->isConnected(); }, kWait));
    QVERIFY(m_rig->settle());
    m_recorder->events.clear();
    V::clearLogs();
}

void TestControl::cleanupTestCase()
{
    m_recorder.reset();
    m_rig.reset();
    m_clock.reset();
}

// One read whose answer the device gives as the row says; the row lists what the
// sub-controller emits and how many requests of that kind reached the device.
void TestControl::answers_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("subCode");
    QTest::addColumn<QByteArray>("data");     // the answer's DATA; empty: as the device answers
    QTest::addColumn<int>("replyCmd");        // -1: as the device answers
    QTest::addColumn<int>("replyOp");
    QTest::addColumn<QStringList>("expected");

    auto row = [](const char *name, const char *read, int op, int sub, const char *data, const QStringList &expected,
                  int replyCmd = -1, int replyOp = -1) {
        QTest::newRow(name) << QString::fromLatin1(read) << op << sub << QByteArray(data) << replyCmd << replyOp
                            << expected;
    };
    const QStringList none;
    // Device Info
    row("name as it stands", "name", 0x01, 0x01, "", {"name(WDX-T-N 004217)"});
    row("name with a zero byte", "name", 0x01, 0x01, "01 41 42 00", {"name(AB\\0)"});
    row("type", "type", 0x01, 0x00, "", {"type(WDX-T-N)"});
    row("main version", "main", 0x01, 0x03, "", {"main(2.01)"});
    row("dsp version", "dsp", 0x01, 0x0a, "", {"dsp(2.01)"});
    row("preset version", "preset", 0x01, 0x0b, "", {"preset(2.01/2.01)"});
    row("status", "status", 0x01, 0x04, "", {"status(main mode)"});
    row("status of another sub-code", "status", 0x01, 0x04, "05 6d 61 69 6e", none);
    row("status sub-code only", "status", 0x01, 0x04, "04", none);
    row("lock", "lock", 0x01, 0x05, "", {"lock(unlocked)"});
    row("output meters", "outputMeters", 0x01, 0x81, "81 00 10 ff", {"outputMeters(0,16,255)"});
    row("output meters, five", "outputMeters", 0x01, 0x81, "81 01 02 03 04 05", {"outputMeters(1,2,3,4,5)"});
    row("compressor meters", "compressorMeters", 0x01, 0x86, "86 07", {"compressorMeters(7)"});
    row("input meters", "inputMeters", 0x01, 0x80, "80 01 02 03 04 05 06", {"inputMeters(1,2,3,4,5,6)"});
    row("input meters, five", "inputMeters", 0x01, 0x80, "80 01 02 03 04 05", none);
    row("input meters, seven", "inputMeters", 0x01, 0x80, "80 01 02 03 04 05 06 07", none);
    row("error bit", "status", 0x01, 0x04, "", none, 0xc0);
    row("write answer to a read", "status", 0x01, 0x04, "", none, 0x81);
    row("other OP", "status", 0x01, 0x04, "", none, -1, 0x02);
    // Gains and delays
    row("gains", "gains", 0x03, 0x40, "40 24 00 48", {"gains(36,0,72)"});
    row("gains, five bytes", "gains", 0x03, 0x40, "40 24 00 48 00", none);
    row("front panel", "frontPanel", 0x03, 0x80, "80 01 02 03", {"frontPanel(1,2,3)"});
    row("front panel answered as gains", "frontPanel", 0x03, 0x80, "40 01 02 03", none);
    row("delays", "delays", 0x04, 0x40, "40 00 0c 08 e8 00 00", {"delays(12,2280,0)"});
    row("delays, six bytes", "delays", 0x04, 0x40, "40 00 0c 08 e8 00", none);
    // Patch and EQ
    row("output patch", "outputPatch2", 0x05, 0x42, "42 05", {"outputPatch(2,5)"});
    row("output patch, three bytes", "outputPatch2", 0x05, 0x42, "42 05 00", none);
    row("pre-processing answer to an output read", "outputPatch2", 0x05, 0x42, "32 05", none);
    row("eq band", "eq1", 0x06, 0x31, "31 01 c1 0a 24 14", {"eq(1,1,[c1 10 36 20])"});
    row("eq partial group", "eq1", 0x06, 0x31, "31 01 c1 0a 24 14 aa bb", {"eq(1,1,[c1 10 36 20])"});
    row("eq no band", "eq1", 0x06, 0x31, "30 00 00", {"eq(0,0,[])"});
    row("eq too short", "eq1", 0x06, 0x31, "30 00", none);
    row("eq of an output family", "eq1", 0x06, 0x31, "41 00 00", none);
    // Compressor and speaker
    row("compressor", "compressor1", 0x07, 0x41, "41 05 02 50 01", {"compressor(1,5,2,80,1)"});
    row("compressor enable byte 2", "compressor1", 0x07, 0x41, "41 05 02 50 02", {"compressor(1,5,2,80,0)"});
    row("compressor, six bytes", "compressor1", 0x07, 0x41, "41 05 02 50 01 00", none);
    row("mode", "mode", 0x08, 0x01, "01 01 03 02", {"mode(1,3,2)"});
    row("mode of the preset sub-code", "mode", 0x08, 0x01, "00 01 03 02", none);
    row("presets", "presets", 0x08, 0x00, "00 41 00 31 ff 53 32", {QStringLiteral("presets(A\\01,%1S2)").arg(QChar(0xff))});
    row("presets, six bytes", "presets", 0x08, 0x00, "00 41 41 31 41 53", none);
    // Device specific
    row("mux", "mux", 0xfd, 0x00, "00 02", {"mux(2)"});
    row("mux, three bytes", "mux", 0xfd, 0x00, "00 02 00", none);
    row("mux of another sub-code", "mux", 0xfd, 0x00, "01 02", none);
}

void TestControl::answers()
{
    QFETCH(QString, read);
    QFETCH(int, op);
    QFETCH(int, subCode);
    QFETCH(QByteArray, data);
    QFETCH(int, replyCmd);
    QFETCH(int, replyOp);
    QFETCH(QStringList, expected);

    StackRig &rig = *m_rig;
    V::addAnswerRule(answering(op, subCode, data, 1, replyCmd, replyOp));
    V::clearLogs();

    rig.reads().at(read)();
    QVERIFY(rig.settle());
    QCOMPARE(m_recorder->events, expected);
    QCOMPARE(sent(0x00, op, subCode).size(), 1);
}

// Answers of the device as configured reach the model decoded.
void TestControl::readsLandInTheModel()
{
    StackRig &rig = *m_rig;
    V::update([](V::DeviceState &s) {
        s.name = "WDX-T-U 123456";
        s.mainVersion = "2.07";
        s.outputGains = {{10, 20, 30}};
        s.frontPanelGains = {{1, 2, 3}};
        s.outputDelays = {{12, 2280, 0}};
        s.preProcessingPatches = {{0x05, 0x3a}};
        s.outputPatches = {{2, 1, 0}};
        s.eqs[1].enabled = true;
        s.eqs[1].bands[3] = V::EqBand{0xc6, 60, 50, 7};
        s.compressors[2] = V::Compressor{4, 9, 100, true};
        s.mainPreset = "CA1";
        s.subPreset = "CS2";
        s.mainMode = 2;
        s.subMode = 1;
        s.hwMode = 0;
        s.metersMoving = false;
        s.inputMeters = {{9, 8, 7, 6, 5, 4}};
        s.outputMeters = {{100, 101, 102}};
        s.compressorMeters = {{1, 0, 2}};
        s.locked = true;
    });
    rig.readAll();
    QVERIFY(rig.settle());

    WdxModel *m = rig.model;
    QCOMPARE(m->name(), QStringLiteral("WDX-T-U 123456"));
    QCOMPARE(m->deviceType(), 0);
    QCOMPARE(m->serialNumber(), QStringLiteral("123456"));
    QCOMPARE(m->mainFwVersion(), QStringLiteral("2.07"));
    QCOMPARE(m->presetFwVersion(), QStringLiteral("2.01/2.01"));
    QCOMPARE(m->deviceStatus(), 1);
    QVERIFY(m->isLocked());
    QVERIFY(m->isHwMode());
    const QList<int> rows{0, 1, 2};
    for (int row : rows) {
        const WdxOutputItem *o = m->getOutput(row);
        QCOMPARE(o->gain(), quint8(10 * (row + 1)));
        QCOMPARE(o->frontPanelGain(), quint8(row + 1));
        QCOMPARE(o->outputLevel(), quint8(100 + row));
        QCOMPARE(o->speakerVariant(), quint8(row == 1 ? 1 : 2));
        QCOMPARE(o->speakerId(), QLatin1String(row == 1 ? "CS2" : "CA1"));
    }
    QCOMPARE(m->getOutput(1)->delay(), quint16(2280));
    QCOMPARE(m->getOutput(0)->patch(), quint8(2));
    QCOMPARE(m->getOutput(2)->compressionLevel(), quint8(2));
    const WdxOutputItem *o2 = m->getOutput(2);
    QCOMPARE(o2->compressionRatio(), quint8(4));
    QCOMPARE(o2->compressionDecay(), quint8(9));
    QCOMPARE(o2->compressionThreshold(), quint8(100));
    QVERIFY(o2->isCustomCompressionEnabled());
    QCOMPARE(m->inputList()->inputAt(0)->level(), quint8(9));
    QCOMPARE(m->getPreProc(0)->patchValue(), quint8(0x05));
    QCOMPARE(m->getPreProc(1)->patchValue(), quint8(0x3a));
    const RVEQBand *band = m->getPreProc(1)->getEqBand(3);
    QVERIFY(band->isUsed());
    QVERIFY(band->isEnabled());
    QCOMPARE(band->bandType(), quint8(6));
    QCOMPARE(band->frequency(), quint8(60));
    QCOMPARE(band->gain(), quint8(50));
    QCOMPARE(band->qualityFactor(), quint8(7));
    QVERIFY(m->getPreProc(1)->eq()->isEnabled());
    QVERIFY(!m->getPreProc(0)->eq()->isEnabled());
}

// Each version read is compared with the loaded package, every time, changed or not.
void TestControl::versionChecks_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<QByteArray>("held");
    QTest::addColumn<QStringList>("emitted");
    const QByteArray same = "2.01";
    QTest::newRow("main, same") << "main" << same << QStringList{"mainFwChecked", "mainFwChecked"};
    QTest::newRow("main, other") << "main" << QByteArray("2.10") << QStringList{"mainFwMismatch", "mainFwMismatch"};
    QTest::newRow("main, longer") << "main" << QByteArray("2.01 ") << QStringList{"mainFwMismatch", "mainFwMismatch"};
    QTest::newRow("dsp, same") << "dsp" << same << QStringList{"dspFwChecked", "dspFwChecked"};
    QTest::newRow("dsp, other") << "dsp" << QByteArray("2.00") << QStringList{"dspFwMismatch", "dspFwMismatch"};
    QTest::newRow("presets, same") << "preset" << same << QStringList{"presetFwChecked", "presetFwChecked"};
    QTest::newRow("presets, sub differs") << "preset" << QByteArray("2.00") << QStringList{"presetFwMismatch", "presetFwMismatch"};
}

void TestControl::versionChecks()
{
    QFETCH(QString, read);
    QFETCH(QByteArray, held);
    QFETCH(QStringList, emitted);
    StackRig &rig = *m_rig;
    QCOMPARE(rig.firmwareDb.mainFwVersion(), QStringLiteral("2.01"));
    V::update([&](V::DeviceState &s) {
        if (read == QLatin1String("main"))
            s.mainVersion = held.toStdString();
        else if (read == QLatin1String("dsp"))
            s.dspVersion = held.toStdString();
        else
            s.subPresetVersion = held.toStdString();
    });
    QStringList seen;
    QObject scope;
    const std::pair<void (WdxModel::*)(), const char *> checks[] = {
        {&WdxModel::mainFwChecked, "mainFwChecked"},     {&WdxModel::mainFwMismatch, "mainFwMismatch"},
        {&WdxModel::dspFwChecked, "dspFwChecked"},       {&WdxModel::dspFwMismatch, "dspFwMismatch"},
        {&WdxModel::presetFwChecked, "presetFwChecked"}, {&WdxModel::presetFwMismatch, "presetFwMismatch"}};
    for (const auto &check : checks) {
        const QString name = QString::fromLatin1(check.second);
        QObject::connect(rig.model, check.first, &scope, [&seen, name] { seen.append(name); });
    }
    rig.reads().at(read)();
    QVERIFY(rig.settle());
    rig.reads().at(read)();
    QVERIFY(rig.settle());
    QCOMPARE(seen, emitted);
}

// Unusable answers in a row, then the device answers normally: how many reads go out.
void TestControl::reposts_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("subCode");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("accepted");

    // Identity and versions: until accepted.
    QTest::newRow("name") << "name" << 0x01 << 0x01 << 3 << 4 << 1;
    QTest::newRow("type") << "type" << 0x01 << 0x00 << 2 << 3 << 1;
    QTest::newRow("main") << "main" << 0x01 << 0x03 << 2 << 3 << 1;
    QTest::newRow("dsp") << "dsp" << 0x01 << 0x0a << 2 << 3 << 1;
    QTest::newRow("preset version") << "preset" << 0x01 << 0x0b << 2 << 3 << 1;
    // The lock status once more, and that one no more.
    QTest::newRow("lock with repost") << "lockRepost" << 0x01 << 0x05 << 2 << 2 << 0;
    QTest::newRow("lock with repost, one failure") << "lockRepost" << 0x01 << 0x05 << 1 << 2 << 1;
    QTest::newRow("lock without") << "lock" << 0x01 << 0x05 << 1 << 1 << 0;
    // The presets while the request asks for it.
    QTest::newRow("presets with repost") << "presetsRepost" << 0x08 << 0x00 << 3 << 4 << 1;
    QTest::newRow("presets without") << "presets" << 0x08 << 0x00 << 1 << 1 << 0;
    QTest::newRow("status never") << "status" << 0x01 << 0x04 << 1 << 1 << 0;
    QTest::newRow("gains never") << "gains" << 0x03 << 0x40 << 1 << 1 << 0;
}

void TestControl::reposts()
{
    QFETCH(QString, read);
    QFETCH(int, op);
    QFETCH(int, subCode);
    QFETCH(int, failures);
    QFETCH(int, requests);
    QFETCH(int, accepted);

    StackRig &rig = *m_rig;
    // The unusable answers: one too short, then error bits.
    V::addAnswerRule(answering(op, subCode, QByteArray::number(subCode, 16).rightJustified(2, '0')));
    if (failures > 1)
        V::addAnswerRule(aimed(V::AnswerRule::Action::ErrorBit, op, subCode, failures - 1));
    V::clearLogs();

    rig.reads().at(read)();
    QVERIFY(rig.settle());
    QCOMPARE(sent(0x00, op, subCode).size(), requests);
    QCOMPARE(m_recorder->events.size(), accepted);
}

void TestControl::unlock_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("result");
    QTest::newRow("00 01") << QByteArray("00 01") << true;
    QTest::newRow("00 00") << QByteArray("00 00") << false;
    QTest::newRow("01 01") << QByteArray("01 01") << false;
    QTest::newRow("00 01 00") << QByteArray("00 01 00") << false;
}

void TestControl::unlock()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, result);
    StackRig &rig = *m_rig;
    V::addAnswerRule(answering(0x09, -1, answer));
    V::clearLogs();
    QCOMPARE(rig.controller->security()->unlock(QStringLiteral("1234")), result);
    QCOMPARE(sent(0x01, 0x09, 0x00), QList<QByteArray>{"00 04 31 32 33 34"});
}

// A lock whose answers are lost is tried four times in all.
void TestControl::lockRetries()
{
    StackRig &rig = *m_rig;
    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, 0x09));
    V::clearLogs();
    rig.controller->security()->lock(QStringLiteral("42"));
    QVERIFY(rig.settle());
    QCOMPARE(sent(0x01, 0x09, 0x01).size(), 4);
    QVERIFY(V::state().locked);
    QCOMPARE(QString::fromStdString(V::state().pin), QStringLiteral("42"));
}

// Without a connection nothing is posted, unlock is refused at once, and the band records
// of an EQ write are still released.
void TestControl::nothingSentWhileDisconnected()
{
    StackRig &rig = *m_rig;
    V::unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.model->isConnected(), kWait);
    V::clearLogs();
    QVERIFY(!rig.controller->security()->unlock(QStringLiteral("0000")));
    rig.readAll();
    rig.controller->gains()->writeOutputGains({1, 2, 3});
    QList<WdxEqBand *> bands{new WdxEqBand, new WdxEqBand};
    QList<QPointer<WdxEqBand>> watched{bands.at(0), bands.at(1)};
    rig.controller->eq()->write(0, true, bands);
    flushDeferredDeletes();
    QCOMPARE(rig.pendingRequests(), 0);
    QVERIFY(watched.at(0).isNull() && watched.at(1).isNull());
    QVERIFY(V::frames(V::Direction::ToDevice).empty());
    V::plug();
}

namespace {

struct Edit
{
    std::function<void(WdxModel *)> edit;     // the user's edit through the model
    int op;
    QByteArray wire;                          // the write's DATA on the wire
    std::function<bool()> deviceHolds;        // the device's state after it
    std::function<void(V::DeviceState &)> old; // the device's value before the edit
    QString read;                             // the poll that reads it back
    std::function<bool(WdxModel *)> shows;    // the model shows the edited value
};

std::map<QString, Edit> edits()
{
    using S = V::DeviceState;
    return {
        {"gain", {[](WdxModel *m) { m->outputList()->setGain(1, 50); }, 0x03, "40 24 32 24",
                  [] { return V::state().outputGains[1] == 50; }, [](S &s) { s.outputGains[1] = 36; }, "gains",
                  [](WdxModel *m) { return m->getOutput(1)->gain() == 50; }}},
        {"delay", {[](WdxModel *m) { m->outputList()->setDelay(2, 1200); }, 0x04, "40 00 00 00 00 04 b0",
                   [] { return V::state().outputDelays[2] == 1200; }, [](S &s) { s.outputDelays[2] = 0; }, "delays",
                   [](WdxModel *m) { return m->getOutput(2)->delay() == 1200; }}},
        {"output patch", {[](WdxModel *m) { m->getOutput(0)->setPatch(1); }, 0x05, "40 01",
                          [] { return V::state().outputPatches[0] == 1; }, [](S &s) { s.outputPatches[0] = 0; },
                          "outputPatch", [](WdxModel *m) { return m->getOutput(0)->patch() == 1; }}},
        {"input patch", {[](WdxModel *m) { m->preProcList()->toggleInputPatched(1, 4); }, 0x05, "31 12",
                         [] { return V::state().preProcessingPatches[1] == 0x12; },
                         [](S &s) { s.preProcessingPatches[1] = 0x02; }, "preProcPatch",
                         [](WdxModel *m) { return m->getPreProc(1)->patchValue() == 0x12; }}},
        {"compressor", {[](WdxModel *m) { m->getOutput(1)->setCompressionRatio(6); }, 0x07, "41 06 00 78 00",
                        [] { return V::state().compressors[1].ratio == 6; }, [](S &s) { s.compressors[1].ratio = 0; },
                        "compressor", [](WdxModel *m) { return m->getOutput(1)->compressionRatio() == 6; }}},
        {"main variant", {[](WdxModel *m) { m->outputList()->setSpeakerVariant(2, 3); }, 0x08, "01 03 00",
                          [] { return V::state().mainMode == 3; }, [](S &s) { s.mainMode = 0; }, "mode",
                          [](WdxModel *m) {
                              return m->getOutput(0)->speakerVariant() == 3 && m->getOutput(2)->speakerVariant() == 3;
                          }}},
        {"sub variant", {[](WdxModel *m) { m->outputList()->setSpeakerVariant(1, 2); }, 0x08, "01 00 02",
                         [] { return V::state().subMode == 2; }, [](S &s) { s.subMode = 0; }, "mode",
                         [](WdxModel *m) { return m->getOutput(1)->speakerVariant() == 2; }}},
        {"digital input", {[](WdxModel *m) { m->setDigitalMux(2); }, 0xfd, "00 02",
                           [] { return V::state().digitalMux == 2; }, [](S &s) { s.digitalMux = 1; }, "mux",
                           [](WdxModel *m) { return m->digitalMux() == 2; }}},
        {"eq band", {[](WdxModel *m) { m->getPreProc(0)->eq()->addBand(40, 48, 12, true, 1); }, 0x06,
                     "30 00 c1 28 30 0c" + QByteArray(" 00 00 24 14").repeated(7),
                     [] { return V::state().eqs[0].bands[0] == V::EqBand{0xc1, 40, 48, 12}; },
                     [](S &s) { s.eqs[0].bands[0] = V::EqBand{}; }, "eq",
                     [](WdxModel *m) {
                         const RVEQBand *b = m->getPreProc(0)->getEqBand(0);
                         return b->isUsed() && b->frequency() == 40 && b->gain() == 48;
                     }}},
    };
}

} // namespace

void TestControl::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    for (const auto &entry : edits())
        QTest::newRow(qPrintable(entry.first)) << entry.first;
}

// Edited through the model, held by the device, read back unchanged; a poll answer with the
// old value while the edit is fresh does not snap it back, one after the guard does.
void TestControl::roundTrip()
{
    QFETCH(QString, value);
    const Edit e = edits().at(value);
    StackRig &rig = *m_rig;
    rig.readAll();
    QVERIFY(rig.settle());
    V::clearLogs();

    e.edit(rig.model);
    QVERIFY(rig.settle());
    QVERIFY(e.deviceHolds());
    const QList<QByteArray> writes = sent(0x01, e.op);
    QVERIFY2(writes.contains(e.wire), qPrintable(QStringList{QString::fromLatin1(writes.value(0))}.join(QString())));
    rig.reads().at(e.read)();
    QVERIFY(rig.settle());
    QVERIFY(e.shows(rig.model));

    // The device goes back to the old value (an answer that left before the write arrived).
    V::update(e.old);
    rig.reads().at(e.read)();
    QVERIFY(rig.settle());
    QVERIFY(e.shows(rig.model));

    m_clock->advance(RVEq::kReplyGuardMs);
    rig.reads().at(e.read)();
    QVERIFY(rig.settle());
    QVERIFY(!e.shows(rig.model));
}

// Every band record of every EQ answer is released, for channels that an EQ owns and for
// those none does.
void TestControl::eqRecordsReleased()
{
    StackRig &rig = *m_rig;
    rig.controller->processor()->setInterval(0);
    const int before = rig.eqChildren();
    V::addAnswerRule(answering(0x06, 0x31, "35 01 c1 0a 24 14 c1 0a 24 14", 200));

    constexpr int kPolls = 10000;
    int answers = 0;
    // A plain event loop: the test macros' waits sleep between events.
    QEventLoop loop;
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    QObject::connect(rig.controller->eq(), &WdxController_EqSettings::eqRead, &loop,
                     [&](int channel, bool, QList<WdxEqBand *>) {
                         if (++answers < kPolls - 1)
                             rig.controller->eq()->read(channel == 5 ? 1 : channel);
                         else
                             loop.quit();
                     });
    rig.controller->eq()->read();
    loop.exec();
    QVERIFY(answers >= kPolls - 1);
    QVERIFY(rig.settle());
    flushDeferredDeletes();
    QCOMPARE(rig.eqChildren(), before);
    rig.controller->processor()->setInterval(WdxRequestProcessor::kDefaultInterval);
}

VELA_TEST_MAIN_CORE(TestControl)
#include "tst_control.moc"
