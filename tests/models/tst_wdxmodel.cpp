#include "ModelTestSupport.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmwareDb.h"
#include "models/WdxInputItem.h"
#include "models/WdxInputListModel.h"
#include "models/WdxModel.h"
#include "models/WdxOutputItem.h"
#include "models/WdxOutputListModel.h"
#include "models/WdxPreProcItem.h"
#include "models/WdxPreProcListModel.h"

#include <QSignalSpy>

namespace {

// A model on the fake clock, a second past start-up so that reports are taken.
struct Rig
{
    Rig() { clock.advance(1000); }
    QList<int> outputs(int (*read)(const WdxOutputItem *)) const
    {
        return {read(model.getOutput(0)), read(model.getOutput(1)), read(model.getOutput(2))};
    }
    FakeClock clock;
    WdxModel model;
};

} // namespace

class TestWdxModel : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLogger::QLoggerManager::setOutputMode(QLogger::LogOff); }

    void identity_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("typeString");
        QTest::addColumn<QString>("serial");
        QTest::newRow("T-U") << "WDX-T-U 000001" << 0 << "WDX-T-U" << "000001";
        QTest::newRow("T-N") << "WDX-T-N 004217" << 1 << "WDX-T-N" << "004217";
        QTest::newRow("I-U") << "WDX-I-U 123456" << 2 << "WDX-I-U" << "123456";
        QTest::newRow("I-N, longer") << "WDX-I-N xx 999999" << 3 << "WDX-I-N" << "999999";
        QTest::newRow("code past the type") << "WDXX-T-N 12345" << 255 << "WDXX-T-" << " 12345";
        QTest::newRow("lower case") << "wdx-t-n 123456" << 255 << "wdx-t-n" << "123456";
        QTest::newRow("13 characters") << "WDX-T-N 00421" << 255 << "" << "";
    }
    void identity()
    {
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QString, typeString);
        QFETCH(QString, serial);
        WdxModel model;
        SignalTrace trace(&model);
        model.updateDeviceName(name);
        model.updateDeviceName(name);
        QCOMPARE((QVariantList{model.name(), model.deviceType(), model.deviceTypeString(), model.serialNumber()}),
                 (QVariantList{name, type, typeString, serial}));
        QCOMPARE(trace.events, QStringList({"nameChanged", "deviceTypeStringChanged", "deviceTypeChanged", "serialNumberChanged"}));
    }

    void statusAndLockTexts()
    {
        WdxModel model;
        SignalTrace trace(&model);
        for (const char *text : {"boot mode", "main mode", "main mode", "Main mode"})
            model.updateDeviceStatus(QLatin1String(text));
        QCOMPARE(model.deviceStatus(), 255);
        QCOMPARE(trace.events, QStringList({"deviceStatusChanged", "deviceStatusChanged", "mainReached", "deviceStatusChanged"}));
        model.updateDeviceStatus(QStringLiteral("boot mode"));
        QCOMPARE(model.deviceStatus(), 0);
        trace.events.clear();
        model.updateSecurityStatus(QStringLiteral("locked"));
        QVERIFY(model.isLocked());
        model.updateSecurityStatus(QStringLiteral("locked"));
        model.updateSecurityStatus(QStringLiteral("jammed"));
        QVERIFY(!model.isLocked());
        model.updateSecurityStatus(QStringLiteral("unlocked"));
        trace.events.removeAll(QStringLiteral("readOnlyMessageChanged"));
        QCOMPARE(trace.events, QStringList({"isLockedChanged", "wdxLocked", "isLockedChanged", "isLockedChanged", "wdxUnlocked"}));
    }

    void lastConnection_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");
        const QDate today = QDate::currentDate();
        const QDate earlier = today.addDays(-2);
        QTest::newRow("never") << QDateTime() << "never viewed";
        QTest::newRow("today") << QDateTime(today, QTime(0, 5)) << "last viewed today , 00:05";
        QTest::newRow("yesterday") << QDateTime(today.addDays(-1), QTime(9, 30)) << "last viewed yesterday , 09:30";
        QTest::newRow("two days") << QDateTime(earlier, QTime(23, 59))
                                  << QStringLiteral("last viewed %1 %2 %3 , 23:59")
                                         .arg(earlier.day())
                                         .arg(QLocale::system().monthName(earlier.month(), QLocale::ShortFormat))
                                         .arg(earlier.year());
    }
    void lastConnection()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        WdxModel model;
        QSignalSpy changed(&model, &WdxModel::lastConnectionTimeStringChanged);
        model.setLastConnectionTime(time);
        QCOMPARE(model.lastConnectionTimeString(), expected);
        QCOMPARE(changed.count(), time.isNull() ? 0 : 1);
    }

    void connection()
    {
        WdxModel model;
        SignalTrace trace(&model);
        model.onWdxDisconnected();
        QCOMPARE(model.lastConnectionTimeString(), QStringLiteral("never viewed"));
        model.onWdxConnected();
        model.onWdxConnected();
        QVERIFY(model.isConnected());
        model.onWdxDisconnected();
        QVERIFY(!model.isConnected());
        QVERIFY(model.lastConnectionTimeString().startsWith(QStringLiteral("last viewed today , ")));
        QCOMPARE(trace.events, QStringList({"isConnectedChanged", "lastConnectionTimeStringChanged", "isConnectedChanged"}));
    }

    // Entry i goes to row i; extra entries are ignored, rows without an entry keep their value.
    void reportsReachTheirRows()
    {
        Rig r;
        WdxModel &m = r.model;
        m.updateOutputMeters({11, 12, 13, 14});
        m.updateCompressorMeters({21, 22, 23});
        m.updateOutputGains({31, 32, 33});
        m.updateFrontPanelGains({41, 42, 43});
        m.updateOutputDelays({2280, 1, 2});
        m.updateInputMeters({1, 2, 3, 4, 5, 6, 7});
        m.updateOutputGains({70});
        m.updateInputMeters({9});
        QCOMPARE(r.outputs([](const WdxOutputItem *o) { return int(o->outputLevel()); }), (QList<int>{11, 12, 13}));
        QCOMPARE(r.outputs([](const WdxOutputItem *o) { return int(o->compressionLevel()); }), (QList<int>{21, 22, 23}));
        QCOMPARE(r.outputs([](const WdxOutputItem *o) { return int(o->gain()); }), (QList<int>{70, 32, 33}));
        QCOMPARE(r.outputs([](const WdxOutputItem *o) { return int(o->frontPanelGain()); }), (QList<int>{41, 42, 43}));
        QCOMPARE(r.outputs([](const WdxOutputItem *o) { return int(o->delay()); }), (QList<int>{2280, 1, 2}));
        QList<int> levels;
        for (int row = 0; row < 6; ++row)
            levels << m.inputList()->inputAt(row)->level();
        QCOMPARE(levels, (QList<int>{9, 2, 3, 4, 5, 6}));
        // Mode and preset: the sub (channel 1) takes its own, the mains the main one.
        m.updateSpeakerMode(2, 4, 5);
        m.updateSpeakerPreset(QStringLiteral("AA1"), QStringLiteral("AS1"));
        QCOMPARE(r.outputs([](const WdxOutputItem *o) { return int(o->speakerVariant()); }), (QList<int>{4, 5, 4}));
        QCOMPARE(m.getOutput(1)->speakerId(), QStringLiteral("AS1"));
        QCOMPARE(m.getOutput(2)->speakerId(), QStringLiteral("AA1"));
        QVERIFY(m.isHwMode()); // mode switch reported other than 1 (USER)
        m.updateSpeakerMode(1, 4, 5);
        QVERIFY(!m.isHwMode());
    }

    // A report of a value the user just edited on an output is ignored on that output for
    // 999 ms and applied at 1000 ms. The edit timers start with the model, so reports are held
    // back for its first 999 ms too, except the loudspeaker, which nobody has chosen yet.
    void echoGuard_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("heldAtStart");
        QTest::newRow("gain") << 0 << true;
        QTest::newRow("delay") << 1 << true;
        QTest::newRow("variant") << 2 << true;
        QTest::newRow("loudspeaker") << 3 << false;
        QTest::newRow("compressor") << 4 << true;
        QTest::newRow("patch") << 5 << true;
    }
    void echoGuard()
    {
        QFETCH(int, kind);
        QFETCH(bool, heldAtStart);
        FakeClock clock;
        WdxModel m;
        SignalTrace trace(&m);
        // Reports v to row 0, v + 1 to row 1 (the sub) and v + 2 to row 2, except the main
        // variant and preset, which rows 0 and 2 share.
        const std::function<void(int)> report[] = {
            [&](int v) { m.updateOutputGains({quint8(v), quint8(v + 1), quint8(v + 2)}); },
            [&](int v) { m.updateOutputDelays({quint16(v), quint16(v + 1), quint16(v + 2)}); },
            [&](int v) { m.updateSpeakerMode(1, quint8(v), quint8(v + 1)); },
            [&](int v) { m.updateSpeakerPreset(QString::number(v), QString::number(v + 1)); },
            [&](int v) { for (int c = 0; c < 3; ++c) emit m.compressorRead(c, quint8(v + c), 0, 18, false); },
            [&](int v) { for (int c = 0; c < 3; ++c) emit m.outputPatchRead(c, quint8(v + c)); }};
        int (*const shown[])(const WdxOutputItem *) = {
            [](const WdxOutputItem *o) { return int(o->gain()); }, [](const WdxOutputItem *o) { return int(o->delay()); },
            [](const WdxOutputItem *o) { return int(o->speakerVariant()); }, [](const WdxOutputItem *o) { return o->speakerId().toInt(); },
            [](const WdxOutputItem *o) { return int(o->compressionRatio()); }, [](const WdxOutputItem *o) { return int(o->patch()); }};
        auto rows = [&] { return QList<int>{shown[kind](m.getOutput(0)), shown[kind](m.getOutput(1)), shown[kind](m.getOutput(2))}; };
        auto sent = [&](int v, int sub) { return QList<int>{v, sub, kind == 2 || kind == 3 ? v : v + 2}; };
        clock.advance(999);
        report[kind](10);
        QCOMPARE(rows(), heldAtStart ? QList<int>({0, 0, 0}) : sent(10, 11));
        clock.advance(1);
        report[kind](20);
        QCOMPARE(rows(), sent(20, 21));
        WdxOutputItem *sub = m.getOutput(1);
        const std::function<void()> edit[] = {[&] { sub->setGain(50); }, [&] { sub->setDelay(50); },
                                              [&] { sub->setSpeakerVariant(50); }, [&] { sub->setSpeakerId(QStringLiteral("50")); },
                                              [&] { sub->setCompressionRatio(50); }, [&] { sub->setPatch(50); }};
        edit[kind]();
        clock.advance(999);
        report[kind](30);
        QCOMPARE(rows(), sent(30, 50));
        clock.advance(1);
        report[kind](40);
        QCOMPARE(rows(), sent(40, 41));
        QCOMPARE(trace.events.filter(QStringLiteral("notifyRequest")).size(), kind == 3 ? 0 : 1); // reports never write
    }

    // The two main outputs share one variant: an edit of either moves the other, and a fresh
    // edit holds back reports for both.
    void sharedVariant_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<int>>("after");
        QTest::newRow("row 0") << 0 << QList<int>{2, 5, 2};
        QTest::newRow("row 2") << 2 << QList<int>{2, 5, 2};
        QTest::newRow("row 1") << 1 << QList<int>{1, 2, 1};
    }
    void sharedVariant()
    {
        QFETCH(int, row);
        QFETCH(QList<int>, after);
        Rig r;
        r.model.updateSpeakerMode(1, 1, 5);
        QSignalSpy write(&r.model, &WdxModel::notifyRequestToWriteSpeakerVariant);
        r.model.outputList()->setSpeakerVariant(row, 2);
        auto variants = [](const WdxOutputItem *o) { return int(o->speakerVariant()); };
        QCOMPARE(r.outputs(variants), after);
        QCOMPARE(write.count(), 1);
        QCOMPARE((QList<int>{write.at(0).at(0).value<quint8>(), write.at(0).at(1).value<quint8>()}), after.mid(0, 2));
        r.model.updateSpeakerMode(1, 1, 5); // an old report while the edit is fresh
        QCOMPARE(r.outputs(variants), after);
    }

    // Each edit sends one request with the values the protocol writes together; without a
    // sending item only the gains and delays, which read all rows, go out.
    void writeRequests()
    {
        Rig r;
        WdxModel &m = r.model;
        m.updateOutputGains({1, 2, 3});
        m.updateOutputDelays({4, 5, 6});
        QStringList sent;
        auto text = [](const char *what, QList<int> values) {
            QStringList parts{QLatin1String(what)};
            for (int v : values)
                parts << QString::number(v);
            return parts.join(QLatin1Char(' '));
        };
        connect(&m, &WdxModel::notifyRequestToWriteGains, this, [&](QList<quint8> v) { sent << text("gains", {v[0], v[1], v[2]}); });
        connect(&m, &WdxModel::notifyRequestToWriteDelays, this, [&](QList<quint16> v) { sent << text("delays", {v[0], v[1], v[2]}); });
        connect(&m, &WdxModel::notifyRequestToWritePreProcessingPatch, this, [&](int c, quint8 v) { sent << text("input patch", {c, v}); });
        connect(&m, &WdxModel::notifyRequestToWriteOutputPatch, this, [&](int c, quint8 v) { sent << text("output patch", {c, v}); });
        connect(&m, &WdxModel::notifyRequestToWriteCompressor, this,
                [&](int c, quint8 ratio, quint8 decay, quint8 threshold, bool on) { sent << text("compressor", {c, ratio, decay, threshold, on}); });
        m.getOutput(2)->setGain(9);
        m.getOutput(1)->setDelay(2280);
        m.preProcList()->toggleInputPatched(1, 5);
        m.getOutput(2)->setPatch(2);
        m.getOutput(1)->setCompressionDecay(4);
        m.getOutput(1)->setCompressionThreshold(60);
        m.getOutput(1)->setCompressionRatio(7);
        m.getOutput(1)->setIsCustomCompressionEnabled(true);
        m.onRequestToWriteOutputPatch();
        m.onRequestToWriteCompressor();
        m.onRequestToWritePreProcessingPatch();
        m.onRequestToWriteDelays();
        QCOMPARE(sent, QStringList({"gains 1 2 9", "delays 4 2280 6", "input patch 1 32", "output patch 2 2",
                                    "compressor 1 0 4 18 0", "compressor 1 0 4 60 0", "compressor 1 7 4 60 0",
                                    "compressor 1 7 4 60 1", "delays 4 2280 6"}));
    }

    // A report stores without a write; an edit writes, and holds reports back for 999 ms and
    // while the user is choosing.
    void digitalMux()
    {
        Rig r;
        QSignalSpy changed(&r.model, &WdxModel::digitalMuxChanged);
        QSignalSpy write(&r.model, &WdxModel::notifyRequestToWriteDigitalMux);
        QList<int> shown;
        for (int step = 0; step < 4; ++step) { // at 0, 999, 1000 (choosing) and 1000 ms
            r.model.setIsEditingDigitalMux(step == 2);
            r.model.updateDigitalMux(quint8(10 + step));
            shown << r.model.digitalMux();
            if (step == 0)
                r.model.setDigitalMux(3);
            r.clock.advance(step == 0 ? 999 : step == 1 ? 1 : 0);
        }
        QCOMPARE(shown, (QList<int>{10, 3, 3, 13}));
        QCOMPARE(changed.count(), 3);
        QCOMPARE(write.count(), 1);
        QCOMPARE(write.at(0).at(0).value<quint8>(), quint8(3));
    }

    void speakerPresetsAndFirmwareChecks()
    {
        Rig r;
        WdxModel &m = r.model;
        m.updateSpeakerPreset(QStringLiteral("AA1"), QStringLiteral("AS1"));
        QSignalSpy mainPreset(&m, &WdxModel::notifyRequestToChangeMainPreset);
        QSignalSpy subPreset(&m, &WdxModel::notifyRequestToChangeSubPreset);
        m.uploadSpeakerPreset(1, QStringLiteral("CS2")); // without a catalogue: kept, not uploaded
        QCOMPARE(m.getOutput(1)->speakerId(), QStringLiteral("CS2"));
        WdxFirmwareDb catalogue;
        m.setFirmwareDb(&catalogue);
        m.uploadSpeakerPreset(0, QStringLiteral("AA1")); // both mains hold it already
        m.uploadSpeakerPreset(1, QStringLiteral("CS2"));
        QCOMPARE(mainPreset.count() + subPreset.count(), 0);
        m.getOutput(0)->updateSpeakerId(QStringLiteral("CA1"));
        m.uploadSpeakerPreset(2, QStringLiteral("CA1")); // row 2 still differs
        m.uploadSpeakerPreset(1, QStringLiteral("AS1"));
        QCOMPARE(m.getOutput(2)->speakerId(), QStringLiteral("CA1"));
        QCOMPARE(mainPreset.count(), 1);
        QCOMPARE(subPreset.count(), 1);
        QCOMPARE(subPreset.at(0).at(0).toString(), QStringLiteral("AS1"));
        QSignalSpy upload(&m, &WdxModel::notifyRequestToUploadFirmware);
        m.uploadFirmware();
        QCOMPARE(upload.at(0), (QList<QVariant>{QStringLiteral("CA1"), QStringLiteral("AS1")}));

        // Versions are compared with the catalogue's (empty here) on every report; the
        // catalogue's own change checks the main and DSP versions again.
        SignalTrace trace(&m);
        m.updateMainFwVersion(QString());
        m.updateDspFwVersion(QStringLiteral("2.01"));
        m.updateDspFwVersion(QStringLiteral("2.01"));
        m.updatePresetFwVersion(QString());
        emit catalogue.dataChanged();
        QCOMPARE(trace.events, QStringList({"mainFwChecked", "dspFwVersionChanged", "dspFwMismatch", "dspFwMismatch",
                                            "presetFwChecked", "mainFwChecked", "dspFwMismatch"}));
    }

    void applicationFlags()
    {
        LogCapture capture;
        WdxModel model;
        SignalTrace trace(&model);
        QList<int> views;
        for (const char *screen : {"input", "input", "output", "settings", "main"}) {
            model.setActiveScreen(QLatin1String(screen));
            views << model.activeViewIndex();
        }
        QCOMPARE(views, (QList<int>{0, 0, 2, 1, 1}));
        QCOMPARE(trace.count("activeScreenChanged") + trace.count("currentViewIndexChanged"), 8);
        QCOMPARE(capture.count("WdxModel", "setActiveScreen", "Active screen changed from input to output"), 1);
        model.setIsAbsoluteLink(true);
        model.setIsAbsoluteLink(true);
        QVERIFY(model.outputList()->absoluteLink());
        model.setLogEnabled(true);
        model.setLogEnabled(false);
        QCOMPARE(QLogger::QLoggerManager::outputMode(), int(QLogger::LogOff));
        model.setLogEnabled(true);
        QCOMPARE(QLogger::QLoggerManager::outputMode(), int(QLogger::LogConsoleAndFile));
        QCOMPARE(trace.count("logEnabledChanged") + trace.count("isAbsoluteLinkChanged"), 3);
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void clearKeepsPresetVersion()
    {
        Rig r;
        WdxModel &m = r.model;
        m.onWdxConnected();
        m.updateDeviceName(QStringLiteral("WDX-T-N 004217"));
        m.updateDeviceStatus(QStringLiteral("main mode"));
        m.updateSecurityStatus(QStringLiteral("locked"));
        m.updateSpeakerMode(0, 2, 2);
        m.updateMainFwVersion(QStringLiteral("2.01"));
        m.updateDspFwVersion(QStringLiteral("2.01"));
        m.updatePresetFwVersion(QStringLiteral("2.01/2.01"));
        m.updateOutputGains({40, 40, 40});
        m.updateInputMeters({9, 9, 9, 9, 9, 9});
        m.getPreProc(1)->updateInputPatch(0x3f);
        m.setDevModeEnabled(true);
        m.clear();
        QCOMPARE((QVariantList{m.deviceStatus(), m.name(), m.deviceType(), m.isHwMode(), m.isLocked(),
                               m.mainFwVersion(), m.dspFwVersion(), m.presetFwVersion()}),
                 (QVariantList{255, "WDX", 255, false, false, "", "", "2.01/2.01"}));
        QCOMPARE((QList<int>{m.getOutput(2)->gain(), m.getOutput(2)->speakerVariant(), m.inputList()->inputAt(5)->level(),
                             m.getPreProc(1)->patchValue()}),
                 (QList<int>{0, 0, 0, 0}));
        QVERIFY(m.isConnected() && m.devModeEnabled());
    }

};

VELA_TEST_MAIN_GUI(TestWdxModel)
#include "tst_wdxmodel.moc"
