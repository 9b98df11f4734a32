#include "VelaTestMain.h"

#include "protocol/WdxRequestBuilder.h"

#include <functional>

using namespace WdxRequestBuilder;

// Every builder's frame, byte for byte as it goes to the bridge, written out literally.
class TstWdxRequests : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QRawData &frame, const char *bytes) {
            QTest::newRow(name) << frame.toHex() << QString::fromLatin1(bytes).remove(' ').toLower();
        };
        const QRawData size = QRawData(QStringLiteral("dead"));
        WdxEqBand top, low, one;
        top.setControl(0x85), top.setFrequency(120), top.setGain(72), top.setQualityFactor(40);
        low.setControl(0x41), low.setFrequency(0), low.setGain(1), low.setQualityFactor(2);
        one.setControl(0xC1), one.setFrequency(10), one.setGain(36), one.setQualityFactor(20);

        row("readNull", readNullFrame(), "55 00 02 00 00 FF A9");
        row("writeNull", writeNullFrame(), "55 00 02 01 00 FF A8");
        row("readDeviceInfo 0x01", readDeviceInfoFrame(0x01), "55 00 03 00 01 01 FF A6");
        row("readDeviceInfo 0x86", readDeviceInfoFrame(0x86), "55 00 03 00 01 86 FF 21");
        row("readMainStatus", readMainStatusFrame(), "55 00 03 00 02 00 FF A6");
        row("writeMainStatus 0x80", writeMainStatusFrame(0x80, 0x1234, size), "55 00 04 01 02 00 80 FF 24");
        row("writeMainStatus 0x81", writeMainStatusFrame(0x81, 0x1234, size), "55 00 08 01 02 00 81 12 34 DE AD FD 4E");
        row("writeMainStatus 0x82", writeMainStatusFrame(0x82, 0x1234, size), "55 00 04 01 02 00 82 FF 22");
        row("readMainBlock", readMainBlockFrame(7), "55 00 04 00 02 01 07 FF 9D");
        row("writeMainBlock", writeMainBlockFrame(7, QRawData(QStringLiteral("abcd"))), "55 00 06 01 02 01 07 AB CD FE 22");
        row("readDspStatus", readDspStatusFrame(), "55 00 03 00 02 02 FF A4");
        row("writeDspStatus 0x80", writeDspStatusFrame(0x80, 0x1234, size), "55 00 04 01 02 02 80 FF 22");
        row("writeDspStatus 0x81", writeDspStatusFrame(0x81, 0x1234, size), "55 00 08 01 02 02 81 12 34 DE AD FD 4C");
        row("writeDspStatus 0x83", writeDspStatusFrame(0x83, 0x1234, size), "55 00 08 01 02 02 83 12 34 DE AD FD 4A");
        row("writeDspStatus 0x84", writeDspStatusFrame(0x84, 0x1234, size), "55 00 04 01 02 02 84 FF 1E");
        row("readDspBlock", readDspBlockFrame(9), "55 00 04 00 02 03 09 FF 99");
        row("writeDspBlock", writeDspBlockFrame(9, QRawData(QStringLiteral("010203"))), "55 00 07 01 02 03 09 01 02 03 FF 8F");
        row("readOutputGains", readOutputGainsFrame(), "55 00 03 00 03 40 FF 65");
        row("writeOutputGains", writeOutputGainsFrame({0x12, 0x34, 0x05}), "55 00 06 01 03 40 12 34 05 FF 16");
        row("writeOutputGains empty", writeOutputGainsFrame({}), "55 00 03 01 03 40 FF 64");
        row("readFrontPanelGains", readFrontPanelGainsFrame(), "55 00 03 00 03 80 FF 25");
        row("readInputDelays", readInputDelaysFrame(), "55 00 03 00 04 20 FF 84");
        row("writeInputDelays", writeInputDelaysFrame({0x1234, 2}), "55 00 07 01 04 20 12 34 00 02 FF 37");
        row("readOutputDelays", readOutputDelaysFrame(), "55 00 03 00 04 40 FF 64");
        row("writeOutputDelays", writeOutputDelaysFrame({256, 2}), "55 00 07 01 04 40 01 00 00 02 FF 5C");
        row("readPreProcessingPatch 1", readPreProcessingPatchFrame(1), "55 00 03 00 05 31 FF 72");
        row("writePreProcessingPatch 2", writePreProcessingPatchFrame(2, 5), "55 00 04 01 05 32 05 FF 6A");
        row("readOutputPatch 2", readOutputPatchFrame(2), "55 00 03 00 05 42 FF 61");
        row("writeOutputPatch 1", writeOutputPatchFrame(1, 6), "55 00 04 01 05 41 06 FF 5A");
        row("readEqInfo", readEqInfoFrame(), "55 00 03 00 06 00 FF A2");
        row("readEq 1", readEqFrame(1), "55 00 03 00 06 31 FF 71");
        row("writeEq one band", writeEqFrame(0, true, {&one}), "55 00 08 01 06 30 01 C1 0A 24 14 FE 68");
        row("writeEq two bands", writeEqFrame(1, false, {&top, &low}), "55 00 0C 01 06 31 00 85 78 48 28 41 00 01 02 FD B6");
        row("readCompressor 2", readCompressorFrame(2), "55 00 03 00 07 42 FF 5F");
        row("writeCompressor 1", writeCompressorFrame(1, 3, 4, 5, true), "55 00 07 01 07 41 03 04 05 01 FF 4E");
        row("readSpeakerPreset", readSpeakerPresetFrame(), "55 00 03 00 08 00 FF A0");
        row("readSpeakerMode", readSpeakerModeFrame(), "55 00 03 00 08 01 FF 9F");
        row("writeSpeakerVariant", writeSpeakerVariantFrame(2, 3), "55 00 05 01 08 01 02 03 FF 97");
        row("unlock", unlockFrame(QStringLiteral("1234")), "55 00 08 01 09 00 04 31 32 33 34 FE CB");
        row("unlock empty", unlockFrame(QString()), "55 00 04 01 09 00 00 FF 9D");
        row("lock, Latin-1 and beyond", lockFrame(QStringLiteral("\u00e9\u263a")), "55 00 06 01 09 01 02 E9 00 FE AF");
        row("readDigitalMuxStatus", readDigitalMuxStatusFrame(), "55 00 03 00 FD 00 FE AB");
        row("writeDigitalMuxStatus", writeDigitalMuxStatusFrame(1), "55 00 04 01 FD 00 01 FE A8");
        row("readNetworkDelayCompensation", readNetworkDelayCompensationFrame(), "55 00 03 00 FD 01 FE AA");
        row("writeNetworkDelayCompensation 300", writeNetworkDelayCompensationFrame(300), "55 00 05 01 FD 01 01 2C FE 7A");
        row("writeNetworkDelayCompensation 0x1234", writeNetworkDelayCompensationFrame(0x1234), "55 00 05 01 FD 01 12 34 FE 61");
    }

    void frames()
    {
        QFETCH(QString, frame);
        QTEST(frame, "expected");
    }

    void eqBandBitFields()
    {
        WdxEqBand band;
        QStringList controls;
        for (const auto &change : std::initializer_list<std::function<void()>>{
                 [&] { band.setType(0x3F); }, [&] { band.setEnabled(true); }, [&] { band.setType(0xC5); }, // only bits 0-5 are the type
                 [&] { band.setUsed(true); }, [&] { band.setEnabled(false); }, [&] { band.setUsed(false); }, [&] { band.setControl(0x85); }})
            change(), controls << QString::number(band.control(), 16);
        QCOMPARE(controls.join(' '), QStringLiteral("3f 7f 45 c5 85 5 85"));
        QVERIFY(!band.isEnabled() && band.isUsed() && band.type() == 0x05);
        band.setFrequency(7), band.setGain(8), band.setQualityFactor(9), band.clear();
        QCOMPARE(band.control() | band.frequency() | band.gain() | band.qualityFactor(), 0);
    }
};

VELA_TEST_MAIN_CORE(TstWdxRequests)
#include "tst_wdxrequests.moc"
