// The device model's own rules: identity from the name, status and lock texts, the last
// connection text, what each device report changes, the write requests it gathers, the echo
// guards, clear(), and what the scene can reach.

#include "ModelTestSupport.h"
#include "VelaTestMain.h"
#include "models/RVEQBand.h"
#include "models/RVEq.h"
#include "models/WdxInputItem.h"
#include "models/WdxInputListModel.h"
#include "models/WdxOutputItem.h"
#include "models/WdxOutputListModel.h"
#include "models/WdxPreProcItem.h"
#include "models/WdxPreProcListModel.h"
#include "models/WdxModel.h"
#include "firmware/WdxFirmwareDb.h"

#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>

namespace {

// Every signal of one object, by name, in the order they go out.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QObject *source)
    {
        const QMetaObject *meta = source->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            m_names.append(QString::fromLatin1(method.name()));
            QMetaObject::connect(source, i, this, QObject::staticMetaObject.methodCount() + m_names.size() - 1,
                                 Qt::DirectConnection);
        }
    }
    int qt_metacall(QMetaObject::Call call, int id, void **arguments) override
    {
        id = QObject::qt_metacall(call, id, arguments);
        if (id < 0 || call != QMetaObject::InvokeMetaMethod)
            return id;
        events.append(m_names.at(id));
        return -1;
    }
    int count(const QString &name) const { return events.count(name); }
    QStringList events;

private:
    QStringList m_names;
};

QVector<quint8> bytes(std::initializer_list<int> values)
{
    QVector<quint8> out;
    for (int v : values)
        out.append(quint8(v));
    return out;
}

} // namespace

class TestWdxModel : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLogger::QLoggerManager::setOutputMode(QLogger::LogOff); }
    void identity_data();
    void identity();
    void statusTexts();
    void lockTexts();
    void readOnlyMessage_data();
    void readOnlyMessage();
    void lastConnection_data();
    void lastConnection();
    void connection();
    void vectorsOfAnyLength_data();
    void vectorsOfAnyLength();
    void echoGuard_data();
    void echoGuard();
    void sharedVariant_data();
    void sharedVariant();
    void writeRequests();
    void digitalMux();
    void speakerPresets();
    void activeScreen_data();
    void activeScreen();
    void logSwitch();
    void recoveryCode_data();
    void recoveryCode();
    void clearKeepsPresetVersion();
    void sceneReachesTheLists();
};

void TestWdxModel::identity_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typeString");
    QTest::addColumn<QString>("serial");
    QTest::newRow("T-U") << "WDX-T-U 000001" << 0 << "WDX-T-U" << "000001";
    QTest::newRow("T-N") << "WDX-T-N 004217" << 1 << "WDX-T-N" << "004217";
    QTest::newRow("I-U") << "WDX-I-U 123456" << 2 << "WDX-I-U" << "123456";
    QTest::newRow("I-N, longer") << "WDX-I-N xx 999999" << 3 << "WDX-I-N" << "999999";
    QTest::newRow("unknown code") << "WDX-X-N 123456" << 255 << "WDX-X-N" << "123456";
    QTest::newRow("lower case") << "wdx-t-n 123456" << 255 << "wdx-t-n" << "123456";
    QTest::newRow("13 characters") << "WDX-T-N 00421" << 255 << "" << "";
}

void TestWdxModel::identity()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, typeString);
    QFETCH(QString, serial);
    WdxModel model;
    SignalLog log(&model);
    model.updateDeviceName(name);
    QCOMPARE(model.name(), name);
    QCOMPARE(model.deviceType(), type);
    QCOMPARE(model.deviceTypeString(), typeString);
    QCOMPARE(model.serialNumber(), serial);
    QCOMPARE(log.events, QStringList({"nameChanged", "deviceTypeStringChanged", "deviceTypeChanged",
                                      "serialNumberChanged"}));
    model.updateDeviceName(name);
    QCOMPARE(log.events.size(), 4);
}

void TestWdxModel::statusTexts()
{
    WdxModel model;
    SignalLog log(&model);
    model.updateDeviceStatus(QStringLiteral("boot mode"));
    QCOMPARE(model.deviceStatus(), 0);
    model.updateDeviceStatus(QStringLiteral("main mode"));
    model.updateDeviceStatus(QStringLiteral("main mode"));
    QCOMPARE(model.deviceStatus(), 1);
    model.updateDeviceStatus(QStringLiteral("Main mode"));
    QCOMPARE(model.deviceStatus(), 255);
    QCOMPARE(log.events, QStringList({"deviceStatusChanged", "deviceStatusChanged", "mainReached",
                                      "deviceStatusChanged"}));
}

void TestWdxModel::lockTexts()
{
    WdxModel model;
    SignalLog log(&model);
    model.updateSecurityStatus(QStringLiteral("locked"));
    QVERIFY(model.isLocked());
    model.updateSecurityStatus(QStringLiteral("locked"));
    model.updateSecurityStatus(QStringLiteral("jammed"));
    QVERIFY(!model.isLocked());
    model.updateSecurityStatus(QStringLiteral("unlocked"));
    QCOMPARE(log.events, QStringList({"isLockedChanged", "readOnlyMessageChanged", "wdxLocked",
                                      "isLockedChanged", "readOnlyMessageChanged",
                                      "isLockedChanged", "readOnlyMessageChanged", "wdxUnlocked"}));
}

// What the scene shows when a control is touched that cannot edit now; locked wins.
void TestWdxModel::readOnlyMessage_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("hwMode");
    QTest::addColumn<QString>("expected");
    const QString locked = QStringLiteral("Device is locked. Unlock to edit settings");
    const QString hw = QStringLiteral("Device in hardware mode. Please put mode switch in USER position to edit");
    QTest::newRow("editable") << "unlocked" << false << QString();
    QTest::newRow("locked") << "locked" << false << locked;
    QTest::newRow("hardware") << "unlocked" << true << hw;
    QTest::newRow("both") << "locked" << true << locked;
    QTest::newRow("unknown lock, hardware") << "" << true << hw;
}

void TestWdxModel::readOnlyMessage()
{
    QFETCH(QString, security);
    QFETCH(bool, hwMode);
    QFETCH(QString, expected);
    WdxModel model;
    SignalLog log(&model);
    model.updateSecurityStatus(security);
    model.updateIsHwMode(hwMode);
    QCOMPARE(model.readOnlyMessage(), expected);
    QCOMPARE(log.count("readOnlyMessageChanged"), log.count("isLockedChanged") + log.count("isHwModeChanged"));
}

void TestWdxModel::lastConnection_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");
    const QDate today = QDate::currentDate();
    QTest::newRow("never") << QDateTime() << "never viewed";
    QTest::newRow("today") << QDateTime(today, QTime(0, 5)) << "last viewed today , 00:05";
    QTest::newRow("yesterday") << QDateTime(today.addDays(-1), QTime(9, 30)) << "last viewed yesterday , 09:30";
    const QDate earlier = today.addDays(-40);
    QTest::newRow("earlier") << QDateTime(earlier, QTime(23, 59))
                             << QStringLiteral("last viewed %1 %2 %3 , 23:59")
                                    .arg(earlier.day())
                                    .arg(QLocale::system().monthName(earlier.month(), QLocale::ShortFormat))
                                    .arg(earlier.year());
}

void TestWdxModel::lastConnection()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    WdxModel model;
    QSignalSpy changed(&model, &WdxModel::lastConnectionTimeStringChanged);
    model.setLastConnectionTime(time);
    QCOMPARE(model.lastConnectionTimeString(), expected);
    QCOMPARE(changed.count(), time.isNull() ? 0 : 1);
}

void TestWdxModel::connection()
{
    WdxModel model;
    SignalLog log(&model);
    model.onWdxDisconnected();
    QCOMPARE(model.lastConnectionTimeString(), QStringLiteral("never viewed"));
    model.onWdxConnected();
    model.onWdxConnected();
    QVERIFY(model.isConnected());
    model.onWdxDisconnected();
    QVERIFY(!model.isConnected());
    QVERIFY(model.lastConnectionTimeString().startsWith(QStringLiteral("last viewed today , ")));
    QCOMPARE(log.events, QStringList({"isConnectedChanged", "lastConnectionTimeStringChanged", "isConnectedChanged"}));
}

// A device may send more entries than there are rows, or fewer: each goes to its own row,
// the rest is ignored, rows without an entry keep their value.
void TestWdxModel::vectorsOfAnyLength_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QVector<quint8>>("values");
    QTest::addColumn<QVector<quint8>>("rows");
    const QVector<quint8> five = bytes({11, 12, 13, 14, 15});
    const QVector<quint8> one = bytes({11});
    for (const char *slot : {"outputMeters", "compressorMeters", "gains", "frontPanel", "delays"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, five").arg(QLatin1String(slot)))) << slot << five << bytes({11, 12, 13});
        QTest::newRow(qPrintable(QStringLiteral("%1, one").arg(QLatin1String(slot)))) << slot << one << bytes({11, 7, 7});
        QTest::newRow(qPrintable(QStringLiteral("%1, none").arg(QLatin1String(slot)))) << slot << QVector<quint8>() << bytes({7, 7, 7});
    }
    QTest::newRow("inputMeters, eight") << "inputMeters" << bytes({1, 2, 3, 4, 5, 6, 7, 8}) << bytes({1, 2, 3, 4, 5, 6});
    QTest::newRow("inputMeters, two") << "inputMeters" << bytes({1, 2}) << bytes({1, 2, 7, 7, 7, 7});
}

void TestWdxModel::vectorsOfAnyLength()
{
    QFETCH(QString, slot);
    QFETCH(QVector<quint8>, values);
    QFETCH(QVector<quint8>, rows);
    FakeClock clock;
    WdxModel model;
    clock.advance(WdxOutputItem::kEditGuardMs);
    const QVector<quint8> sevens(6, 7);
    std::map<QString, std::function<void(const QVector<quint8> &)>> deliver{
        {"outputMeters", [&](const QVector<quint8> &v) { model.updateOutputMeters(v); }},
        {"compressorMeters", [&](const QVector<quint8> &v) { model.updateCompressorMeters(v); }},
        {"gains", [&](const QVector<quint8> &v) { model.updateOutputGains(v); }},
        {"frontPanel", [&](const QVector<quint8> &v) { model.updateFrontPanelGains(v); }},
        {"inputMeters", [&](const QVector<quint8> &v) { model.updateInputMeters(v); }},
        {"delays", [&](const QVector<quint8> &v) {
             QVector<quint16> d;
             for (quint8 b : v)
                 d.append(b);
             model.updateOutputDelays(d);
         }}};
    auto value = [&](int row) -> int {
        if (slot == QLatin1String("inputMeters"))
            return model.inputList()->inputAt(row)->level();
        const WdxOutputItem *o = model.getOutput(row);
        if (slot == QLatin1String("outputMeters")) return o->outputLevel();
        if (slot == QLatin1String("compressorMeters")) return o->compressionLevel();
        if (slot == QLatin1String("gains")) return o->gain();
        if (slot == QLatin1String("frontPanel")) return o->frontPanelGain();
        return o->delay();
    };
    deliver.at(slot)(sevens);
    deliver.at(slot)(values);
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(value(row), int(rows.at(row)));
}

// A report of a value the user just edited on that output: ignored for 999 ms, applied at
// 1000 ms; other outputs are not held back.
void TestWdxModel::echoGuard_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("gain") << "gain";
    QTest::newRow("delay") << "delay";
    QTest::newRow("variant") << "variant";
    QTest::newRow("loudspeaker") << "speaker";
}

void TestWdxModel::echoGuard()
{
    QFETCH(QString, value);
    FakeClock clock;
    WdxModel model;
    clock.advance(WdxOutputItem::kEditGuardMs);
    WdxOutputItem *sub = model.getOutput(1);
    std::function<void(int)> report;
    std::function<int(const WdxOutputItem *)> shown;
    if (value == QLatin1String("gain")) {
        sub->setGain(50);
        report = [&](int v) { model.updateOutputGains(bytes({v, v, v})); };
        shown = [](const WdxOutputItem *o) { return int(o->gain()); };
    } else if (value == QLatin1String("delay")) {
        sub->setDelay(50);
        report = [&](int v) { model.updateOutputDelays({quint16(v), quint16(v), quint16(v)}); };
        shown = [](const WdxOutputItem *o) { return int(o->delay()); };
    } else if (value == QLatin1String("speaker")) {
        sub->setSpeakerId(QStringLiteral("50"));
        report = [&](int v) { model.updateSpeakerPreset(QString::number(v), QString::number(v)); };
        shown = [](const WdxOutputItem *o) { return o->speakerId().toInt(); };
    } else {
        sub->setSpeakerVariant(50);
        report = [&](int v) { model.updateSpeakerMode(1, quint8(v), quint8(v)); };
        shown = [](const WdxOutputItem *o) { return int(o->speakerVariant()); };
    }
    clock.advance(WdxOutputItem::kEditGuardMs - 1);
    report(3);
    QCOMPARE(shown(sub), 50);
    QCOMPARE(shown(model.getOutput(0)), 3);
    QCOMPARE(shown(model.getOutput(2)), 3);
    clock.advance(1);
    report(4);
    QCOMPARE(shown(sub), 4);
}

// The two main outputs share one variant: an edit of either moves the other, and a fresh
// edit holds back reports for both.
void TestWdxModel::sharedVariant_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QVector<quint8>>("after");
    QTest::addColumn<QVector<quint8>>("written");
    QTest::newRow("row 0") << 0 << bytes({2, 5, 2}) << bytes({2, 5});
    QTest::newRow("row 2") << 2 << bytes({2, 5, 2}) << bytes({2, 5});
    QTest::newRow("row 1") << 1 << bytes({1, 2, 1}) << bytes({1, 2});
}

void TestWdxModel::sharedVariant()
{
    QFETCH(int, row);
    QFETCH(QVector<quint8>, after);
    QFETCH(QVector<quint8>, written);
    FakeClock clock;
    WdxModel model;
    clock.advance(WdxOutputItem::kEditGuardMs);
    model.updateSpeakerMode(1, 1, 5);
    QSignalSpy write(&model, &WdxModel::notifyRequestToWriteSpeakerVariant);
    model.outputList()->setSpeakerVariant(row, 2);
    for (int r = 0; r < 3; ++r)
        QCOMPARE(model.getOutput(r)->speakerVariant(), after.at(r));
    QCOMPARE(write.count(), 1);
    QCOMPARE(write.at(0).at(0).value<quint8>(), written.at(0));
    QCOMPARE(write.at(0).at(1).value<quint8>(), written.at(1));
    // An old report while the edit is fresh leaves both mains as edited.
    model.updateSpeakerMode(1, 1, 5);
    for (int r = 0; r < 3; ++r)
        QCOMPARE(model.getOutput(r)->speakerVariant(), after.at(r));
}

void TestWdxModel::writeRequests()
{
    FakeClock clock;
    WdxModel model;
    clock.advance(WdxOutputItem::kEditGuardMs);
    model.updateOutputGains(bytes({1, 2, 3}));
    QSignalSpy gains(&model, &WdxModel::notifyRequestToWriteGains);
    QSignalSpy delays(&model, &WdxModel::notifyRequestToWriteDelays);
    QSignalSpy preProc(&model, &WdxModel::notifyRequestToWritePreProcessingPatch);
    QSignalSpy output(&model, &WdxModel::notifyRequestToWriteOutputPatch);
    QSignalSpy compressor(&model, &WdxModel::notifyRequestToWriteCompressor);

    model.getOutput(2)->setGain(9);
    QCOMPARE(gains.count(), 1);
    QCOMPARE(gains.at(0).at(0).value<QList<quint8>>(), (QList<quint8>{1, 2, 9}));
    model.getOutput(0)->setDelay(300);
    QCOMPARE(delays.at(0).at(0).value<QList<quint16>>(), (QList<quint16>{300, 0, 0}));
    model.preProcList()->toggleInputPatched(1, 5);
    QCOMPARE(preProc.count(), 1);
    QCOMPARE(preProc.at(0).at(0).toInt(), 1);
    QCOMPARE(preProc.at(0).at(1).value<quint8>(), quint8(0x20));
    model.getOutput(1)->setPatch(2);
    QCOMPARE(output.at(0).at(0).toInt(), 1);
    QCOMPARE(output.at(0).at(1).value<quint8>(), quint8(2));
    WdxOutputItem *o = model.getOutput(2);
    o->setIsCustomCompressionEnabled(true);
    o->setCompressionDecay(4);
    o->setCompressionThreshold(60);
    o->setCompressionRatio(7);
    const QList<QVariant> last = compressor.last();
    QCOMPARE(last.at(0).toInt(), 2);
    QCOMPARE(last.at(1).value<quint8>(), quint8(7));  // ratio
    QCOMPARE(last.at(2).value<quint8>(), quint8(4));  // decay
    QCOMPARE(last.at(3).value<quint8>(), quint8(60)); // threshold
    QCOMPARE(last.at(4).toBool(), true);
    // Without a sending item nothing goes out, except gains and delays, which read all rows.
    model.onRequestToWriteOutputPatch();
    model.onRequestToWriteCompressor();
    model.onRequestToWriteGains();
    QCOMPARE(output.count(), 1);
    QCOMPARE(gains.count(), 2);
}

// A report stores without a write; an edit writes, and holds reports back for a second and
// while the user is choosing.
void TestWdxModel::digitalMux()
{
    FakeClock clock;
    WdxModel model;
    QCOMPARE(model.digitalMux(), 1);
    clock.advance(WdxModel::kEditGuardMs);
    QSignalSpy changed(&model, &WdxModel::digitalMuxChanged);
    QSignalSpy write(&model, &WdxModel::notifyRequestToWriteDigitalMux);
    model.updateDigitalMux(2);
    model.setDigitalMux(2);
    model.setDigitalMux(3);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(write.count(), 1);
    QCOMPARE(write.at(0).at(0).value<quint8>(), quint8(3));
    clock.advance(WdxModel::kEditGuardMs - 1);
    model.updateDigitalMux(1);
    QCOMPARE(model.digitalMux(), 3);
    clock.advance(1);
    model.setIsEditingDigitalMux(true);
    model.updateDigitalMux(1);
    QCOMPARE(model.digitalMux(), 3);
    model.setIsEditingDigitalMux(false);
    model.updateDigitalMux(1);
    QCOMPARE(model.digitalMux(), 1);
    QCOMPARE(write.count(), 1);
}

void TestWdxModel::speakerPresets()
{
    WdxModel model;
    model.updateSpeakerPreset(QStringLiteral("AA1"), QStringLiteral("AS1"));
    QCOMPARE(model.getOutput(2)->speakerId(), QStringLiteral("AA1"));
    QCOMPARE(model.getOutput(1)->speakerId(), QStringLiteral("AS1"));
    QSignalSpy mainPreset(&model, &WdxModel::notifyRequestToChangeMainPreset);
    QSignalSpy subPreset(&model, &WdxModel::notifyRequestToChangeSubPreset);
    QSignalSpy upload(&model, &WdxModel::notifyRequestToUploadFirmware);

    // Without a catalogue the choice is kept but nothing is uploaded.
    model.uploadSpeakerPreset(1, QStringLiteral("CS2"));
    QCOMPARE(model.getOutput(1)->speakerId(), QStringLiteral("CS2"));
    QCOMPARE(subPreset.count(), 0);

    WdxFirmwareDb catalogue;
    model.setFirmwareDb(&catalogue);
    model.uploadSpeakerPreset(0, QStringLiteral("AA1"));
    QCOMPARE(mainPreset.count(), 0);
    model.uploadSpeakerPreset(2, QStringLiteral("CA1"));
    QCOMPARE(model.getOutput(0)->speakerId(), QStringLiteral("CA1"));
    QCOMPARE(model.getOutput(2)->speakerId(), QStringLiteral("CA1"));
    QCOMPARE(mainPreset.count(), 1);
    model.uploadSpeakerPreset(1, QStringLiteral("CS2"));
    QCOMPARE(subPreset.count(), 0);
    model.uploadSpeakerPreset(1, QStringLiteral("AS1"));
    QCOMPARE(subPreset.count(), 1);
    model.uploadFirmware();
    QCOMPARE(upload.at(0), (QList<QVariant>{QStringLiteral("CA1"), QStringLiteral("AS1")}));
}

void TestWdxModel::activeScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<int>("index");
    QTest::newRow("input") << "input" << 0;
    QTest::newRow("output") << "output" << 2;
    QTest::newRow("settings") << "settings" << 1;
}

void TestWdxModel::activeScreen()
{
    QFETCH(QString, screen);
    QFETCH(int, index);
    LogCapture capture;
    WdxModel model;
    SignalLog log(&model);
    model.setActiveScreen(screen);
    model.setActiveScreen(screen);
    QCOMPARE(model.activeViewIndex(), index);
    QCOMPARE(log.events, QStringList({"activeScreenChanged", "currentViewIndexChanged"}));
    QCOMPARE(capture.count(QStringLiteral("WdxModel"), QStringLiteral("setActiveScreen"),
                           QStringLiteral("Active screen changed from main to %1").arg(screen)),
             1);
}

void TestWdxModel::logSwitch()
{
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
    WdxModel model;
    QSignalSpy changed(&model, &WdxModel::logEnabledChanged);
    QVERIFY(model.logEnabled());
    model.setLogEnabled(true);
    QCOMPARE(changed.count(), 0);
    model.setLogEnabled(false);
    QCOMPARE(QLogger::QLoggerManager::outputMode(), int(QLogger::LogOff));
    model.setLogEnabled(true);
    QCOMPARE(QLogger::QLoggerManager::outputMode(), int(QLogger::LogConsoleAndFile));
    QCOMPARE(changed.count(), 2);
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
}

void TestWdxModel::recoveryCode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    const QString code = WdxModel::recoveryCode(QStringLiteral("004217"));
    QTest::newRow("its code") << "WDX-T-N 004217" << code << true;
    QTest::newRow("another serial") << "WDX-T-N 004218" << code << false;
    QTest::newRow("six-character name") << "004217" << code << true;
    QTest::newRow("short name") << "04217" << code << false;
    QTest::newRow("short code") << "WDX-T-N 004217" << code.left(4) << false;
    QTest::newRow("one digit off") << "WDX-T-N 004217" << code.left(7) + QChar(code.at(7) == '0' ? '1' : '0') << false;
}

void TestWdxModel::recoveryCode()
{
    QFETCH(QString, name);
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QCOMPARE(code.size() >= 4, true);
    WdxModel model;
    model.updateDeviceName(name);
    QCOMPARE(model.isValidPuk(code), valid);
}

void TestWdxModel::clearKeepsPresetVersion()
{
    FakeClock clock;
    WdxModel model;
    clock.advance(WdxOutputItem::kEditGuardMs);
    model.onWdxConnected();
    model.updateDeviceName(QStringLiteral("WDX-T-N 004217"));
    model.updateDeviceStatus(QStringLiteral("main mode"));
    model.updateSecurityStatus(QStringLiteral("locked"));
    model.updateSpeakerMode(0, 2, 2);
    model.updateMainFwVersion(QStringLiteral("2.01"));
    model.updateDspFwVersion(QStringLiteral("2.01"));
    model.updatePresetFwVersion(QStringLiteral("2.01/2.01"));
    model.updateOutputGains(bytes({40, 40, 40}));
    model.updateInputMeters(bytes({9, 9, 9, 9, 9, 9}));
    model.getPreProc(0)->updateInputPatch(0x3f);
    model.setDevModeEnabled(true);

    model.clear();
    QCOMPARE(model.deviceStatus(), 255);
    QCOMPARE(model.name(), QStringLiteral("WDX"));
    QCOMPARE(model.deviceType(), 255);
    QVERIFY(!model.isHwMode());
    QVERIFY(!model.isLocked());
    QCOMPARE(model.mainFwVersion(), QString());
    QCOMPARE(model.dspFwVersion(), QString());
    QCOMPARE(model.presetFwVersion(), QStringLiteral("2.01/2.01"));
    QCOMPARE(model.getOutput(0)->gain(), quint8(0));
    QCOMPARE(model.getOutput(0)->speakerVariant(), quint8(0));
    QCOMPARE(model.inputList()->inputAt(3)->level(), quint8(0));
    QCOMPARE(model.getPreProc(0)->patchValue(), quint8(0));
    QVERIFY(model.isConnected());
    QVERIFY(model.devModeEnabled());
}

// Every list, item and band the scene asks the model for reaches it as an object it can use,
// and stays owned by the model after the scene's garbage collection.
void TestWdxModel::sceneReachesTheLists()
{
    QStringList warnings;
    static QStringList *sink = nullptr;
    sink = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
        if (type != QtDebugMsg && sink)
            sink->append(m);
    });
    WdxModel model;
    {
        QQmlEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("wdx"), &model);
        QQmlComponent component(&engine);
        component.setData(R"(
import QtQml 2.0
QtObject {
    function run() {
        var out = [];
        out.push(wdx.inputList().count);
        out.push(wdx.preProcList().count);
        out.push(wdx.outputList().count);
        out.push(wdx.getOutput(1).name);
        out.push(wdx.getOutput(7) === null);
        out.push(wdx.getPreProc(1).name);
        out.push(wdx.getPreProc(0).inputPatches().count);
        out.push(wdx.preProcList().inputPatches(1).count);
        out.push(wdx.getPreProc(1).eq.bandListModel().count);
        out.push(wdx.getPreProc(1).getEqBand(2).deviceIndex);
        out.push(wdx.getPreProc(0).eq.bandAt(3).deviceIndex);
        return out.join(",");
    }
}
)", QUrl());
        QScopedPointer<QObject> root(component.create());
        QVERIFY2(root, qPrintable(component.errorString()));
        QVariant result;
        for (int round = 0; round < 3; ++round) {
            QVERIFY(QMetaObject::invokeMethod(root.data(), "run", Q_RETURN_ARG(QVariant, result)));
            QVERIFY2(result.toString() == QLatin1String("6,2,3,Sub,true,Right,6,6,8,2,3"),
                     qPrintable(result.toString() + QLatin1Char(' ') + warnings.join(QLatin1Char('\n'))));
            engine.collectGarbage();
            flushDeferredDeletes();
        }
    }
    qInstallMessageHandler(previous);
    sink = nullptr;
    QCOMPARE(warnings, QStringList());
    QCOMPARE(model.outputList()->rowCount(), 3);
    QVERIFY(model.getOutput(1) && model.getPreProc(1)->getEqBand(2));
}

VELA_TEST_MAIN_GUI(TestWdxModel)
#include "tst_wdxmodel.moc"
