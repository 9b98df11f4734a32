// The settings families through the whole stack against the virtual Wdx: what each read sends,
// decodes, drops and re-posts, the PIN requests, and what each write puts on the wire and when.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "models/EditTimer.h"
#include "models/VelaScreenController.h"
#include "models/WdxOutputItem.h"
#include "models/WdxPreProcItem.h"
#include "protocol/WdxRequestBuilder.h"

#include <QPointer>

using namespace ControlTest;

namespace {

QString str(QString v) { return v.replace(QChar(0), QStringLiteral("\\0")); }
QString str(int v) { return QString::number(v); }
QString str(const WdxEqBand *b) // lent for the length of the signal only
{
    return QStringLiteral("%1 %2 %3 %4").arg(b->control(), 2, 16, QLatin1Char('0')).arg(b->frequency()).arg(b->gain())
        .arg(b->qualityFactor());
}
template <typename List, typename = typename List::value_type>
QString str(const List &values)
{
    QStringList parts;
    for (auto v : values)
        parts << str(v);
    return parts.join(QLatin1Char(values.size() && std::is_pointer<typename List::value_type>::value ? '|' : ' '));
}

WdxEqBand *band(quint8 control, quint8 frequency, quint8 gain, quint8 q)
{
    auto *b = new WdxEqBand;
    b->setControl(control);
    b->setFrequency(frequency);
    b->setGain(gain);
    b->setQualityFactor(q);
    return b;
}

// Every signal of the sub-controllers, written down as it goes out.
class Recorder : public QObject
{
    auto note(const char *name)
    {
        return [this, name](auto... args) {
            events << QStringLiteral("%1(%2)").arg(QLatin1String(name), QStringList{str(args)...}.join(QLatin1Char(',')));
        };
    }

public:
    QStringList events;
    explicit Recorder(WdxController *c)
    {
        using I = WdxController_DeviceInfo;
        I *info = c->deviceInfo();
        connect(info, &I::deviceNameRead, this, note("name"));
        connect(info, &I::deviceTypeRead, this, note("type"));
        connect(info, &I::mainFwVersionRead, this, note("main"));
        connect(info, &I::dspFwVersionRead, this, note("dsp"));
        connect(info, &I::presetFwVersionRead, this, note("preset"));
        connect(info, &I::deviceStatusRead, this, note("status"));
        connect(info, &I::deviceSecurityStatusRead, this, note("lock"));
        connect(info, &I::outputMetersRead, this, note("outputMeters"));
        connect(info, &I::outputCompressorMetersRead, this, note("compressorMeters"));
        connect(info, &I::inputMetersRead, this, note("inputMeters"));
        connect(c->gains(), &WdxController_GainsSettings::outputGainsRead, this, note("gains"));
        connect(c->gains(), &WdxController_GainsSettings::frontPanelGainsRead, this, note("frontPanel"));
        connect(c->delays(), &WdxController_DelaysSettings::outputDelaysRead, this, note("delays"));
        connect(c->patch(), &WdxController_PatchSettings::preProcessingPatchRead, this, note("preProcPatch"));
        connect(c->patch(), &WdxController_PatchSettings::outputPatchRead, this, note("outputPatch"));
        connect(c->eq(), &WdxController_EqSettings::eqRead, this, note("eq"));
        connect(c->compressor(), &WdxController_CompressorSettings::compressorRead, this, note("compressor"));
        connect(c->speaker(), &WdxController_SpeakerSettings::speakerModeRead, this, note("mode"));
        connect(c->speaker(), &WdxController_SpeakerSettings::speakerPresetRead, this, note("presets"));
        connect(c->specificFunctions(), &WdxController_SpecificFunctions::digitalMuxStatusRead, this, note("mux"));
    }
};

} // namespace

using Action = std::function<void(WdxController *)>;
Q_DECLARE_METATYPE(Action)
using DeviceEdit = std::function<void(V::DeviceState &)>;
Q_DECLARE_METATYPE(DeviceEdit)

class TestControl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void answers_data();
    void answers();
    void foreignAnswers_data();
    void foreignAnswers();
    void unlock_data();
    void unlock();
    void writes_data();
    void writes();
    void queueOrderAndMerges();
    void nothingSentWhileDisconnected();
    void screens_data();
    void screens();
    void mainScreenGains();
    void wiring_data();
    void wiring();
    void modelEditReachesDevice();

private:
    QString readsOnWire() const // OP:sub-code of each read, oldest first
    {
        QStringList reads;
        for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, 0x00))
            reads << QStringLiteral("%1:%2").arg(e.op, 2, 16, QLatin1Char('0')).arg(e.subCode(), 2, 16, QLatin1Char('0'));
        return reads.join(QLatin1Char(' '));
    }
    void tick(VelaScreenController &screens, int times)
    {
        while (times-- > 0) {
            emit screens.pollingTimeout();
            QVERIFY(m_rig->settle());
        }
    }

    std::unique_ptr<StackRig> m_rig; // one engine for the run; each case starts from the factory device
    std::unique_ptr<Recorder> m_recorder;
    qint64 m_ahead = 0; // the models' guard clocks run this far ahead
};

void TestControl::initTestCase()
{
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    EditTimer::setClock([this] { return QDateTime::currentMSecsSinceEpoch() + m_ahead; });
    m_rig.reset(new StackRig(V::Timing::instant()));
    m_recorder.reset(new Recorder(m_rig->controller));
    QVERIFY(m_rig->start());
}

void TestControl::init()
{
    V::clearAnswerRules();
    V::setFaults(V::Faults());
    V::setState(V::DeviceState());
    m_rig->controller->processor()->setInterval(WdxRequestProcessor::kDefaultInterval);
    QVERIFY(QTest::qWaitFor([this] { return m_rig->model->isConnected(); }, kWait));
    QVERIFY(m_rig->settle());
    m_recorder->events.clear();
    V::clearLogs();
}

// One read, answered with the row's DATA (and CMD) `times` times, then as the device answers:
// the requests on the wire (the re-posts), what the sub-controller emits, no band record left.
void TestControl::answers_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("subCode");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("replyCmd");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("times");    // answers given so
    QTest::addColumn<int>("requests"); // reads on the wire in all
    auto row = [](const char *name, const char *read, int op, int sub, const char *data, const QString &expected,
                  int replyCmd = -1, int times = 1, int requests = 1) {
        QTest::newRow(name) << QString(read) << op << sub << QByteArray(data) << replyCmd << expected << times << requests;
    };
    row("name, read until taken", "info.readDeviceName", 0x01, 0x01, "01", "name(WDX-T-N 004217)", -1, 3, 4);
    row("main, read until taken", "info.readMainFwVersion", 0x01, 0x03, "03", "main(2.01)", -1, 2, 3);
    row("dsp, read until taken", "info.readDspFwVersion", 0x01, 0x0a, "0a", "dsp(2.01)", -1, 2, 3);
    row("preset version, read until taken", "info.readPresetFwVersion", 0x01, 0x0b, "0b", "preset(2.01/2.01)", -1, 2, 3);
    row("lock, read once more", "info.readSecurityStatus(true)", 0x01, 0x05, "05", "lock(unlocked)", -1, 1, 2);
    row("lock, read once more only", "info.readSecurityStatus(true)", 0x01, 0x05, "05", "", -1, 2, 2);
    row("lock, not read again", "info.readSecurityStatus", 0x01, 0x05, "05", "");
    row("presets, read until taken", "speaker.readSpeakerPreset(true)", 0x08, 0x00, "00", "presets(AA1,AS1)", -1, 3, 4);
    row("name ending in zero", "info.readDeviceName", 0x01, 0x01, "01 41 42 00", "name(AB\\0)");
    row("status", "info.readDeviceStatus", 0x01, 0x04, "04 6d 61 69 6e", "status(main)");
    row("status, sub-code only", "info.readDeviceStatus", 0x01, 0x04, "04", "");
    row("status of the lock sub-code", "info.readDeviceStatus", 0x01, 0x04, "05 6d 61 69 6e", "");
    row("status, error bit", "info.readDeviceStatus", 0x01, 0x04, "04 6d 61 69 6e", "", 0xc0);
    row("lock", "info.readSecurityStatus", 0x01, 0x05, "05 6c 6f 63 6b 65 64", "lock(locked)");
    row("output meters", "info.readOutputsMeters", 0x01, 0x81, "81 00 10 ff", "outputMeters(0 16 255)");
    row("output meters, none", "info.readOutputsMeters", 0x01, 0x81, "81", "");
    row("compressor meters", "info.readOutputCompressorMeters", 0x01, 0x86, "86 12 34 56", "compressorMeters(18 52 86)");
    row("input meters", "info.readInputsMeters", 0x01, 0x80, "80 01 02 03 04 05 06", "inputMeters(1 2 3 4 5 6)");
    row("gains, four", "gains.readOutputGains", 0x03, 0x40, "40 24 00 48 00", "");
    row("front panel", "gains.readFrontPanelGains", 0x03, 0x80, "80 12 34 05", "frontPanel(18 52 5)");
    row("delays", "delays.readOutputDelays", 0x04, 0x40, "40 00 0c 08 e8 00 00", "delays(12 2280 0)");
    row("delays, high byte first", "delays.readOutputDelays", 0x04, 0x40, "40 12 34 00 01 01 00", "delays(4660 1 256)");
    row("output patch", "patch.readOutputPatch(2)", 0x05, 0x42, "42 05", "outputPatch(2,5)");
    row("output patch, channel of the answer", "patch.readOutputPatch(2)", 0x05, 0x42, "41 07", "outputPatch(1,7)");
    row("output patch of a pre-processing channel", "patch.readOutputPatch(2)", 0x05, 0x42, "32 05", "");
    row("pre-processing patch", "patch.readPreProcessingPatch(1)", 0x05, 0x31, "31 12", "preProcPatch(1,18)");
    row("eq band", "eq.read(1)", 0x06, 0x31, "31 01 c1 0a 24 14", "eq(1,1,c1 10 36 20)");
    row("eq partial group", "eq.read(1)", 0x06, 0x31, "31 01 c1 0a 24 14 aa bb cc", "eq(1,1,c1 10 36 20)");
    row("eq of a channel none has", "eq.read(1)", 0x06, 0x31, "35 00 c1 0a 24 14", "eq(5,0,c1 10 36 20)");
    row("eq of an output", "eq.read(1)", 0x06, 0x31, "41 00 00", "");
    row("compressor", "compressor.read(1)", 0x07, 0x41, "41 05 02 50 01", "compressor(1,5,2,80,1)");
    row("compressor, channel 2", "compressor.read(1)", 0x07, 0x41, "42 12 34 56 01", "compressor(2,18,52,86,1)");
    row("compressor enable byte 2", "compressor.read(1)", 0x07, 0x41, "41 05 02 50 02", "compressor(1,5,2,80,0)");
    row("compressor of a pre-processing channel", "compressor.read(1)", 0x07, 0x41, "31 05 02 50 01", "");
    row("mode", "speaker.readSpeakerMode", 0x08, 0x01, "01 01 03 02", "mode(1,3,2)");
    row("mode of the preset sub-code", "speaker.readSpeakerMode", 0x08, 0x01, "00 01 03 02", "");
    row("presets", "speaker.readSpeakerPreset", 0x08, 0x00, "00 41 00 31 ff 53 32", QStringLiteral("presets(A\\01,%1S2)").arg(QChar(0xff)));
    row("mux", "mux.readDigitalMuxStatus", 0xfd, 0x00, "00 02", "mux(2)");
}

void TestControl::answers()
{
    QFETCH(QString, read);
    QFETCH(int, op);
    QFETCH(int, subCode);
    QFETCH(QByteArray, data);
    QFETCH(int, replyCmd);
    QFETCH(QString, expected);
    QFETCH(int, times);
    QFETCH(int, requests);
    V::addAnswerRule(aimed(V::AnswerRule::Action::Override, op, subCode, times, data, replyCmd));
    m_rig->call(read);
    QVERIFY(m_rig->settle());
    QCOMPARE(m_recorder->events.join(QLatin1Char(';')), expected);
    QCOMPARE(sent(0x00, op), QVector<QByteArray>(requests, QByteArray::number(subCode, 16).rightJustified(2, '0')).toList());
    flushDeferredDeletes();
    QCOMPARE(m_rig->controller->eq()->children().size(), 0);
}

// Answers the request path would not deliver (another kind, another OP), handed straight to a
// completion slot: the sub-controllers' own checks.
void TestControl::foreignAnswers_data()
{
    QTest::addColumn<QByteArray>("answer"); // CMD, OP, DATA
    QTest::addColumn<QString>("expected");
    QTest::newRow("status") << QByteArray("00 01 04 6d 61 69 6e") << "status(main)";
    QTest::newRow("status, write answer") << QByteArray("01 01 04 6d 61 69 6e") << "";
    QTest::newRow("status, other OP") << QByteArray("00 02 04 6d 61 69 6e") << "";
    QTest::newRow("status, error bit") << QByteArray("40 01 04 6d 61 69 6e") << "";
}

void TestControl::foreignAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, expected);
    const V::Bytes a = bytes(answer);
    const V::Bytes frame = V::frame(a[0], a[1], V::Bytes(a.begin() + 2, a.end()));
    WdxMessageGeneric reply;
    WdxMessageGeneric::parse(QRawData(reinterpret_cast<const char *>(frame.data()), int(frame.size())), reply);
    auto *request = new WdxRequest(WdxRequestBuilder::readNullMessage(), m_rig->controller->deviceInfo());
    request->setReplyMessage(reply);
    request->setStatus(WdxRequest::Completed);
    QVERIFY(QObject::connect(request, SIGNAL(completed()), request->parent(), SLOT(onReadDeviceStatusCompleted())));
    emit request->completed();
    QCOMPARE(m_recorder->events.join(QLatin1Char(';')), expected);
    QVERIFY(m_rig->settle());
}

void TestControl::unlock_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("replyCmd");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("result");
    const QByteArray pin = "00 04 31 32 33 34";
    QTest::newRow("00 01") << "1234" << QByteArray("00 01") << -1 << pin << true;
    QTest::newRow("00 00") << "1234" << QByteArray("00 00") << -1 << pin << false;
    QTest::newRow("00 02") << "1234" << QByteArray("00 02") << -1 << pin << false;
    QTest::newRow("01 01") << "1234" << QByteArray("01 01") << -1 << pin << false;
    QTest::newRow("error bit") << "1234" << QByteArray("00 01") << 0xc1 << pin << false;
    QTest::newRow("one digit") << "9" << QByteArray("00 01") << -1 << QByteArray("00 01 39") << true;
    QTest::newRow("empty") << "" << QByteArray("00 01") << -1 << QByteArray("00 00") << true;
}

void TestControl::unlock()
{
    QFETCH(QString, pin);
    QFETCH(QByteArray, answer);
    QFETCH(int, replyCmd);
    QFETCH(QByteArray, wire);
    QFETCH(bool, result);
    V::addAnswerRule(aimed(V::AnswerRule::Action::Override, 0x09, -1, 1, answer, replyCmd));
    QCOMPARE(m_rig->controller->security()->unlock(pin), result);
    QCOMPARE(sent(0x01, 0x09), QList<QByteArray>{wire});
    QVERIFY(m_rig->settle());
}

// Each write slot: the writes of the row's DATA on the wire, with the answers acknowledged or
// lost (the lock is tried four times in all, other writes once).
void TestControl::writes_data()
{
    QTest::addColumn<Action>("write");
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("tries");
    using C = WdxController *;
    auto row = [](const char *name, std::function<void(C)> write, int op, const char *wire, int tries = 1) {
        QTest::newRow(name) << write << op << QByteArray(wire) << tries;
    };
    row("gains, lost", [](C c) { c->gains()->writeOutputGains({0x12, 0x34, 0x05}); }, 0x03, "40 12 34 05", -1);
    row("delays as given", [](C c) { c->delays()->writeOutputDelays({256, 2}); }, 0x04, "40 01 00 00 02");
    row("pre-processing patch", [](C c) { c->patch()->writePreProcessingPatch(1, 0x12); }, 0x05, "31 12");
    row("output patch", [](C c) { c->patch()->writeOutputPatch(2, 0x05); }, 0x05, "42 05");
    row("eq", [](C c) { c->eq()->write(1, true, {band(0xc1, 10, 36, 20)}); }, 0x06, "31 01 c1 0a 24 14");
    row("compressor off", [](C c) { c->compressor()->write(1, 0x0a, 0x12, 0x34, false); }, 0x07, "41 0a 12 34 00");
    row("speaker variant", [](C c) { c->speaker()->writeSpeakerVariant(3, 2); }, 0x08, "01 03 02");
    row("mux", [](C c) { c->specificFunctions()->writeDigitalMuxStatus(2); }, 0xfd, "00 02");
    row("lock", [](C c) { c->security()->lock(QStringLiteral("42")); }, 0x09, "01 02 34 32");
    row("lock, lost", [](C c) { c->security()->lock(QStringLiteral("42")); }, 0x09, "01 02 34 32", -4);
}

void TestControl::writes()
{
    QFETCH(Action, write);
    QFETCH(int, op);
    QFETCH(QByteArray, wire);
    QFETCH(int, tries);
    if (tries < 0)
        V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, op));
    write(m_rig->controller);
    QVERIFY(m_rig->settle());
    QCOMPARE(sent(0x01, op), QList<QByteArray>() << QVector<QByteArray>(qAbs(tries), wire).toList());
    QCOMPARE(int(V::frames(V::Direction::ToDevice).size()), qAbs(tries));
    flushDeferredDeletes();
    QCOMPARE(m_rig->controller->findChildren<WdxEqBand *>().size(), 0);
}

// The reads of every channel; waiting writes go out before reads, reads keep their order, and
// edits of an item whose write still waits make one write with the last value.
void TestControl::queueOrderAndMerges()
{
    for (const char *call : {"patch.readOutputPatch", "patch.readPreProcessingPatch", "eq.read", "compressor.read"})
        m_rig->call(QString::fromLatin1(call));
    QVERIFY(m_rig->settle());
    QCOMPARE(sent(0x00), QList<QByteArray>({"40", "41", "42", "30", "31", "30", "31", "40", "41", "42"}));
    V::clearLogs();
    WdxController *c = m_rig->controller;
    c->processor()->setInterval(400);
    QTest::qWait(450); // past the spacing after the last case's writes
    c->specificFunctions()->readDigitalMuxStatus(); // taken at once, holds the queue up
    QTest::qWait(30);
    c->gains()->readOutputGains();
    c->delays()->readOutputDelays();
    for (quint8 gain = 1; gain <= 50; ++gain)
        c->gains()->writeOutputGains({gain, 0x12, 0x34});
    QVERIFY(m_rig->settle());
    QStringList order;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice))
        order << QStringLiteral("%1:%2").arg(e.cmd).arg(e.op);
    QCOMPARE(order, QStringList({"0:253", "1:3", "0:3", "0:4"}));
    QCOMPARE(sent(0x01, 0x03), QList<QByteArray>{"40 32 12 34"});
}

// Without a connection nothing is posted, unlock is refused at once, and the band records of
// an EQ write are still released.
void TestControl::nothingSentWhileDisconnected()
{
    V::unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!m_rig->model->isConnected(), kWait);
    V::clearLogs();
    QVERIFY(!m_rig->controller->security()->unlock(QStringLiteral("0000")));
    for (const char *call : {"info.readDeviceName", "info.readSecurityStatus(true)", "eq.read", "patch.readOutputPatch",
                             "speaker.readSpeakerPreset(true)", "gains.readOutputGains", "mux.readDigitalMuxStatus"})
        m_rig->call(QString::fromLatin1(call));
    m_rig->controller->gains()->writeOutputGains({1, 2, 3});
    QPointer<WdxEqBand> record = band(0xc1, 10, 36, 20);
    m_rig->controller->eq()->write(0, true, {record.data()});
    flushDeferredDeletes();
    QCOMPARE(m_rig->pendingRequests(), 0);
    QVERIFY(record.isNull());
    QVERIFY(V::frames(V::Direction::ToDevice).empty());
    V::plug();
}

// Two poll ticks of the screen named last: its reads in order (OP:sub-code), those that depend
// on the type chosen by the name; the main screen reads the gains on its first tick only.
void TestControl::screens_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("reads");
    auto row = [](const char *tag, const char *name, const char *screen, const QString &first, QString next = "-") {
        QTest::newRow(tag) << QString(name) << QString(screen) << (first + ' ' + (next == "-" ? first : next)).trimmed();
    };
    const QString tail = "08:01 01:05", outputs = "07:40 07:41 07:42 05:40 05:41 05:42 08:00 01:81 01:86 04:40 03:40";
    const QString inputs = "05:30 05:31 06:30 06:31 01:80";
    row("main", "WDX-T-N 004217", "main", "01:81 01:86 03:40 08:00 " + tail, "01:81 01:86 08:00 " + tail);
    row("output, type 0", "WDX-T-U 004217", "output", outputs + " 03:80 " + tail);
    row("output, type 1", "WDX-T-N 004217", "output", outputs + " 03:80 " + tail);
    row("output, type 2", "WDX-I-U 004217", "output", outputs + ' ' + tail);
    row("input, type 0", "WDX-T-U 004217", "input", inputs + ' ' + tail);
    row("input, type 1", "WDX-T-N 004217", "input", inputs + " fd:00 " + tail);
    row("input, type 2", "WDX-I-U 004217", "input", inputs + ' ' + tail);
    row("input, type 3", "WDX-I-N 004217", "input", inputs + " fd:00 " + tail);
    row("settings", "WDX-T-N 004217", "settings", "01:05");
    row("eq", "WDX-T-N 004217", "eq", "06:30 06:31 " + tail);
    row("compressor", "WDX-T-N 004217", "compressor", "07:40 07:41 07:42 01:86 " + tail);
    row("speaker", "WDX-T-N 004217", "speaker", "08:00 " + tail);
    row("speakerAndMode", "WDX-T-N 004217", "speakerAndMode", "08:00 " + tail);
    for (const char *silent : {"test", "disconnected", "requestToUpgrade", "uploadingFirmware", "Main"})
        row(silent, "WDX-T-N 004217", silent, "");
}

void TestControl::screens()
{
    QFETCH(QString, name);
    QFETCH(QString, screen);
    QFETCH(QString, reads);
    m_rig->model->updateDeviceName(name);
    VelaScreenController screens(m_rig->controller, m_rig->model);
    m_rig->model->setActiveScreen(QStringLiteral("settings"));
    m_rig->model->setActiveScreen(screen);
    tick(screens, 2);
    QCOMPARE(readsOnWire(), reads);
}

// The main screen's gains: read on each tick until answered, then again only on the next visit
// or connection.
void TestControl::mainScreenGains()
{
    VelaScreenController screens(m_rig->controller, m_rig->model);
    m_rig->model->setActiveScreen(QStringLiteral("settings"));
    m_rig->model->setActiveScreen(QStringLiteral("main"));
    V::addAnswerRule(aimed(V::AnswerRule::Action::Drop, 0x03, 0x40, 1));
    auto gainReads = [] { return int(V::frames(V::Direction::ToDevice, 0x00, 0x03, 0x40).size()); };
    tick(screens, 3);
    QCOMPARE(gainReads(), 2);
    m_rig->model->setActiveScreen(QStringLiteral("settings"));
    tick(screens, 1);
    m_rig->model->setActiveScreen(QStringLiteral("main"));
    tick(screens, 2);
    QCOMPARE(gainReads(), 3);
    V::unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!m_rig->model->isConnected(), kWait);
    V::plug();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->model->isConnected(), kWait);
    QVERIFY(m_rig->settle());
    tick(screens, 2);
    QCOMPARE(gainReads(), 4);
}

// A value the device holds reaches the model through the application's connections, one row
// per family (each value differs from the factory one and from its neighbours').
void TestControl::wiring_data()
{
    QTest::addColumn<DeviceEdit>("device");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("shown"); // a model property, or "output<row>.property"
    QTest::addColumn<QString>("value");
    using S = V::DeviceState &;
    auto row = [](const char *name, DeviceEdit device, const char *read, const char *shown, const QVariant &value) {
        QTest::newRow(name) << device << QString(read) << QString(shown) << value.toString();
    };
    row("name", [](S s) { s.name = "WDX-I-N 001234"; }, "info.readDeviceName", "name", "WDX-I-N 001234");
    row("lock", [](S s) { s.locked = true; }, "info.readSecurityStatus", "isLocked", true);
    row("main version", [](S s) { s.mainVersion = "2.10"; }, "info.readMainFwVersion", "mainFwVersion", "2.10");
    row("dsp version", [](S s) { s.dspVersion = "2.02"; }, "info.readDspFwVersion", "dspFwVersion", "2.02");
    row("preset version", [](S s) { s.mainPresetVersion = "2.03"; s.subPresetVersion = "2.04"; },
        "info.readPresetFwVersion", "presetFwVersion", "2.03/2.04");
    row("output meters", [](S s) { s.metersMoving = false; s.outputMeters = {{10, 20, 30}}; }, "info.readOutputsMeters",
        "output1.outputLevel", 20);
    row("compressor meters", [](S s) { s.metersMoving = false; s.compressorMeters = {{11, 22, 33}}; },
        "info.readOutputCompressorMeters", "output2.compressionLevel", 33);
    row("gains", [](S s) { s.outputGains = {{0x12, 0x34, 0x56}}; }, "gains.readOutputGains", "output1.gain", 0x34);
    row("front panel gains", [](S s) { s.frontPanelGains = {{5, 6, 7}}; }, "gains.readFrontPanelGains",
        "output2.frontPanelGain", 7);
    row("delays", [](S s) { s.outputDelays = {{1, 2, 0x1234}}; }, "delays.readOutputDelays", "output2.delay", 0x1234);
    row("output patch", [](S s) { s.outputPatches = {{1, 0, 2}}; }, "patch.readOutputPatch", "output0.patch", 1);
    row("pre-processing patch", [](S s) { s.preProcessingPatches = {{0x05, 0x12}}; }, "patch.readPreProcessingPatch",
        "preProc1", 0x12);
    row("compressor", [](S s) { s.compressors[1].ratio = 6; }, "compressor.read", "output1.compressionRatio", 6);
    row("speaker preset", [](S s) { s.subPreset = "AS2"; }, "speaker.readSpeakerPreset", "output1.speakerId", "AS2");
    row("speaker mode", [](S s) { s.subMode = 2; }, "speaker.readSpeakerMode", "output1.speakerVariant", 2);
    row("digital input", [](S s) { s.digitalMux = 2; }, "mux.readDigitalMuxStatus", "digitalMux", 2);
}

void TestControl::wiring()
{
    QFETCH(DeviceEdit, device);
    QFETCH(QString, read);
    QFETCH(QString, shown);
    QFETCH(QString, value);
    m_ahead += 1000; // past the hold on device reports a model keeps after its creation
    V::update(device);
    m_rig->call(read);
    QVERIFY(m_rig->settle());
    WdxModel *m = m_rig->model;
    const int row = shown.section('.', 0, 0).right(1).toInt();
    const QVariant held = shown.startsWith(QLatin1String("preProc")) ? QVariant(m->getPreProc(row)->patchValue())
        : shown.contains('.') ? m->getOutput(row)->property(qPrintable(shown.section('.', 1))) : m->property(qPrintable(shown));
    QCOMPARE((held.userType() == QMetaType::UChar ? QVariant(held.toUInt()) : held).toString(), value); // not as a char
}

// An edit in the model reaches the device as its write.
void TestControl::modelEditReachesDevice()
{
    m_rig->model->getOutput(0)->setPatch(2);
    QTRY_COMPARE_WITH_TIMEOUT(sent(0x01, 0x05), QList<QByteArray>{"40 02"}, kWait);
    QVERIFY(m_rig->settle());
    QCOMPARE(V::state().outputPatches[0], std::uint8_t(2));
}

VELA_TEST_MAIN_CORE(TestControl)
#include "tst_control.moc"
