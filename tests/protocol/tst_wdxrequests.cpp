#include "VelaTestMain.h"

#include "protocol/WdxRequestBuilder.h"

#include <QRandomGenerator>
#include <functional>

using namespace WdxRequestBuilder;

namespace {

QString hexOf(const char *spaced)
{
    return QString::fromLatin1(spaced).remove(QLatin1Char(' ')).toLower();
}

QRawData bytesOf(const QByteArray &bytes)
{
    return QRawData(bytes);
}

// The payload layouts written out byte by byte, independently of the builders.
QByteArray be16(quint16 v)
{
    QByteArray out;
    out.append(char(v >> 8));
    out.append(char(v & 0xFF));
    return out;
}

QByteArray latin1Count(const QString &text)
{
    const QString cut = text.left(255);
    QByteArray out;
    out.append(char(cut.size()));
    for (QChar c : cut)
        out.append(char(c.unicode() < 256 ? c.unicode() : 0));
    return out;
}

struct Expected
{
    QString name;
    quint8 cmd;
    quint8 op;
    QByteArray data;
};

} // namespace

class TstWdxRequests : public QObject
{
    Q_OBJECT

    QRandomGenerator m_rng;
    int m_frames = 0;
    int m_mutations = 0;

    quint8 u8() { return quint8(m_rng.bounded(256)); }
    quint16 u16() { return quint16(m_rng.bounded(65536)); }
    bool flag() { return m_rng.bounded(2) == 1; }
    QByteArray randomBytes(int maxLen)
    {
        QByteArray out(int(m_rng.bounded(maxLen + 1)), Qt::Uninitialized);
        for (char &c : out)
            c = char(u8());
        return out;
    }
    QString randomPassword()
    {
        // Mostly PIN-like; sometimes Latin-1 letters, characters outside Latin-1, or too long.
        const int kind = int(m_rng.bounded(10));
        const int len = kind == 9 ? 250 + int(m_rng.bounded(20)) : int(m_rng.bounded(13));
        QString out;
        for (int i = 0; i < len; ++i) {
            if (kind == 7)
                out.append(QChar(ushort(0xA0 + m_rng.bounded(0x60))));
            else if (kind == 8 && i == 0)
                out.append(QChar(ushort(0x263A)));
            else
                out.append(QChar(ushort('0' + m_rng.bounded(10))));
        }
        return out;
    }

    // Checks one built request: header fields, payload layout, twin, parse round trip, and
    // that no single-byte change of the frame parses back as the same valid message.
    void check(const Expected &e, const WdxMessageGeneric &m, const QRawData &twin)
    {
        const QString where = e.name;
        QVERIFY2(m.startOfFrame() == 0x55, qPrintable(where));
        QVERIFY2(m.commandType() == e.cmd, qPrintable(where));
        QVERIFY2(m.operationCode() == e.op, qPrintable(where));
        QVERIFY2(m.data().toByteArray() == e.data,
                 qPrintable(where + ": " + m.data().toHex() + " != " + QString::fromLatin1(e.data.toHex())));
        QVERIFY2(m.numberOfBytes() == e.data.size() + 2, qPrintable(where));
        QVERIFY2(!m.isValid() && m.checksum() == 0, qPrintable(where));

        const QRawData frame = WdxMessageGeneric::buildFrame(m);
        QVERIFY2(frame == twin, qPrintable(where + ": twin " + twin.toHex() + " != " + frame.toHex()));
        QCOMPARE(frame.byteLen(), e.data.size() + 7);

        QRawData withTail(frame);
        withTail.append(QByteArray(int(m_rng.bounded(3)), '\x55'));
        WdxMessageGeneric parsed;
        QVERIFY2(WdxMessageGeneric::parse(withTail, parsed) == frame.byteLen(), qPrintable(where));
        QVERIFY2(parsed.isValid(), qPrintable(where));
        QVERIFY2(parsed.startOfFrame() == m.startOfFrame() && parsed.numberOfBytes() == m.numberOfBytes()
                     && parsed.commandType() == m.commandType() && parsed.operationCode() == m.operationCode()
                     && parsed.data() == m.data(),
                 qPrintable(where + "\n" + parsed.toString()));
        ++m_frames;

        for (int pos = 0; pos < frame.byteLen(); ++pos) {
            for (quint8 mask : {quint8(0x01), quint8(1 + m_rng.bounded(255))}) {
                QRawData mutated(frame);
                mutated.setAt(pos, frame.at(pos) ^ mask);
                WdxMessageGeneric other;
                const int consumed = WdxMessageGeneric::parse(mutated, other);
                ++m_mutations;
                if (consumed <= 1) {
                    QVERIFY2(!other.isValid(), qPrintable(where));
                    continue;
                }
                const bool same = consumed == frame.byteLen() && other.startOfFrame() == m.startOfFrame()
                    && other.numberOfBytes() == m.numberOfBytes() && other.commandType() == m.commandType()
                    && other.operationCode() == m.operationCode() && other.data() == m.data();
                QVERIFY2(!other.isValid() || !same,
                         qPrintable(QStringLiteral("%1: byte %2 ^ %3 went unnoticed").arg(where).arg(pos).arg(mask)));
            }
        }
    }

private slots:
    void initTestCase()
    {
        const quint32 seed = qEnvironmentVariableIsSet("VELA_TEST_SEED") ? quint32(qEnvironmentVariableIntValue("VELA_TEST_SEED"))
                                                                            : 20240305u;
        qInfo("random seed %u (set VELA_TEST_SEED to repeat another)", seed);
        m_rng.seed(seed);
    }

    void completeFrames_data()
    {
        QTest::addColumn<QRawData>("frame");
        QTest::addColumn<QString>("expected");

        WdxEqBand band;
        band.setControl(0xC1);
        band.setFrequency(10);
        band.setGain(36);
        band.setQualityFactor(20);

        QTest::newRow("readNull") << readNullFrame() << hexOf("55 00 02 00 00 FF A9");
        QTest::newRow("readDeviceInfo 0x01") << readDeviceInfoFrame(0x01) << hexOf("55 00 03 00 01 01 FF A6");
        QTest::newRow("readDeviceInfo status") << readDeviceInfoFrame(enDeviceInfo_DeviceStatus)
                                               << hexOf("55 00 03 00 01 04 FF A3");
        QTest::newRow("readOutputGains") << readOutputGainsFrame() << hexOf("55 00 03 00 03 40 FF 65");
        QTest::newRow("writePreProcessingPatch") << writePreProcessingPatchFrame(2, 5)
                                                 << hexOf("55 00 04 01 05 32 05 FF 6A");
        QTest::newRow("writeOutputDelays") << writeOutputDelaysFrame({256, 2})
                                           << hexOf("55 00 07 01 04 40 01 00 00 02 FF 5C");
        QTest::newRow("writeCompressor") << writeCompressorFrame(1, 3, 4, 5, true)
                                         << hexOf("55 00 07 01 07 41 03 04 05 01 FF 4E");
        QTest::newRow("writeEq") << writeEqFrame(0, true, {&band}) << hexOf("55 00 08 01 06 30 01 C1 0A 24 14 FE 68");
        QTest::newRow("writeDigitalMuxStatus") << writeDigitalMuxStatusFrame(1) << hexOf("55 00 04 01 FD 00 01 FE A8");
        QTest::newRow("writeNetworkDelayCompensation") << writeNetworkDelayCompensationFrame(300)
                                                       << hexOf("55 00 05 01 FD 01 01 2C FE 7A");
    }

    void completeFrames()
    {
        QFETCH(QRawData, frame);
        QFETCH(QString, expected);
        QCOMPARE(frame.toHex(), expected);
    }

    void firmwareStatusCarriesSizeOnlyWhenClosing()
    {
        const QRawData checksum(QByteArray::fromHex("deadbeef"));
        for (int k = 0; k < 256; ++k) {
            const quint8 state = quint8(k);
            const WdxMessageGeneric main = writeMainStatusMessage(state, 0x1234, checksum);
            const WdxMessageGeneric dsp = writeDspStatusMessage(state, 0x1234, checksum);
            const QString closing = QStringLiteral("%1 1234deadbeef").arg(k, 2, 16, QLatin1Char('0')).remove(' ');
            const QString opening = QStringLiteral("%1").arg(k, 2, 16, QLatin1Char('0'));
            QCOMPARE(main.data().toHex(), QStringLiteral("00") + (k == 0x81 ? closing : opening));
            QCOMPARE(dsp.data().toHex(), QStringLiteral("02") + (k >= 0x81 && k <= 0x83 ? closing : opening));
        }
        QCOMPARE(writeMainStatusMessage(0x01, 0xFFFF, QRawData(64)).numberOfBytes(), quint16(4));
    }

    void emptyListsAndTexts()
    {
        const WdxMessageGeneric gains = writeOutputGainsMessage({});
        QCOMPARE(gains.numberOfBytes(), quint16(3));
        QCOMPARE(gains.data().toHex(), QStringLiteral("40"));

        const WdxMessageGeneric unlock = unlockMessage(QString());
        QCOMPARE(unlock.numberOfBytes(), quint16(4));
        QCOMPARE(unlock.data().toHex(), QStringLiteral("0000"));
        QCOMPARE(lockMessage(QStringLiteral("1234")).data().toHex(), QStringLiteral("010431323334"));

        const WdxMessageGeneric eq = writeEqMessage(1, false, {});
        QCOMPARE(eq.data().toHex(), QStringLiteral("3100"));
        WdxEqBand band;
        band.setFrequency(1);
        QCOMPARE(writeEqMessage(1, true, {nullptr, &band}).data().toHex(), QStringLiteral("3101000000000001 0000").remove(' '));
    }

    void eqBandBitFields()
    {
        WdxEqBand band;
        QCOMPARE(band.control(), quint8(0));
        band.setType(0x3F);
        band.setEnabled(true);
        QCOMPARE(band.control(), quint8(0x7F));
        band.setUsed(true);
        band.setType(0x05);
        QCOMPARE(band.control(), quint8(0xC5));
        QVERIFY(band.isEnabled() && band.isUsed());
        band.setEnabled(false);
        QCOMPARE(band.control(), quint8(0x85));
        QCOMPARE(band.type(), quint8(0x05));
        band.setType(0xFF); // only bits 0-5 belong to the type
        QCOMPARE(band.control(), quint8(0xBF));
        band.setFrequency(7);
        band.setGain(8);
        band.setQualityFactor(9);
        band.clear();
        QCOMPARE(band.frequency() | band.gain() | band.control() | band.qualityFactor(), 0);
    }

    void everyBuilderRoundTrips()
    {
        using Case = std::function<void()>;
        const QList<Case> cases = {
            [&] { check({"readNull", 0x00, 0x00, {}}, readNullMessage(), readNullFrame()); },
            [&] { check({"writeNull", 0x01, 0x00, {}}, writeNullMessage(), writeNullFrame()); },
            [&] {
                const quint8 s = u8();
                check({"readDeviceInfo", 0x00, 0x01, QByteArray(1, char(s))}, readDeviceInfoMessage(s), readDeviceInfoFrame(s));
            },
            [&] { check({"readMainStatus", 0x00, 0x02, QByteArray(1, 0x00)}, readMainStatusMessage(), readMainStatusFrame()); },
            [&] {
                const quint8 k = flag() ? 0x81 : u8();
                const quint16 v = u16();
                const QByteArray p = randomBytes(8);
                QByteArray d = QByteArray::fromHex("00") + char(k);
                if (k == 0x81)
                    d += be16(v) + p;
                check({"writeMainStatus", 0x01, 0x02, d}, writeMainStatusMessage(k, v, bytesOf(p)),
                      writeMainStatusFrame(k, v, bytesOf(p)));
            },
            [&] {
                const quint8 b = u8();
                check({"readMainBlock", 0x00, 0x02, QByteArray::fromHex("01") + char(b)}, readMainBlockMessage(b),
                      readMainBlockFrame(b));
            },
            [&] {
                const quint8 b = u8();
                const QByteArray p = randomBytes(520);
                check({"writeMainBlock", 0x01, 0x02, QByteArray::fromHex("01") + char(b) + p},
                      writeMainBlockMessage(b, bytesOf(p)), writeMainBlockFrame(b, bytesOf(p)));
            },
            [&] { check({"readDspStatus", 0x00, 0x02, QByteArray(1, 0x02)}, readDspStatusMessage(), readDspStatusFrame()); },
            [&] {
                const quint8 k = flag() ? quint8(0x81 + m_rng.bounded(3)) : u8();
                const quint16 v = u16();
                const QByteArray p = randomBytes(8);
                QByteArray d = QByteArray::fromHex("02") + char(k);
                if (k >= 0x81 && k <= 0x83)
                    d += be16(v) + p;
                check({"writeDspStatus", 0x01, 0x02, d}, writeDspStatusMessage(k, v, bytesOf(p)),
                      writeDspStatusFrame(k, v, bytesOf(p)));
            },
            [&] {
                const quint8 b = u8();
                check({"readDspBlock", 0x00, 0x02, QByteArray::fromHex("03") + char(b)}, readDspBlockMessage(b),
                      readDspBlockFrame(b));
            },
            [&] {
                const quint8 b = u8();
                const QByteArray p = randomBytes(520);
                check({"writeDspBlock", 0x01, 0x02, QByteArray::fromHex("03") + char(b) + p},
                      writeDspBlockMessage(b, bytesOf(p)), writeDspBlockFrame(b, bytesOf(p)));
            },
            [&] { check({"readOutputGains", 0x00, 0x03, QByteArray(1, 0x40)}, readOutputGainsMessage(), readOutputGainsFrame()); },
            [&] {
                QList<quint8> gains;
                QByteArray d(1, 0x40);
                for (int i = int(m_rng.bounded(8)); i > 0; --i) {
                    gains << u8();
                    d += char(gains.last());
                }
                check({"writeOutputGains", 0x01, 0x03, d}, writeOutputGainsMessage(gains), writeOutputGainsFrame(gains));
            },
            [&] {
                check({"readFrontPanelGains", 0x00, 0x03, QByteArray(1, char(0x80))}, readFrontPanelGainsMessage(),
                      readFrontPanelGainsFrame());
            },
            [&] { check({"readInputDelays", 0x00, 0x04, QByteArray(1, 0x20)}, readInputDelaysMessage(), readInputDelaysFrame()); },
            [&] {
                QList<quint16> delays;
                QByteArray d(1, 0x20);
                for (int i = int(m_rng.bounded(8)); i > 0; --i) {
                    delays << u16();
                    d += be16(delays.last());
                }
                check({"writeInputDelays", 0x01, 0x04, d}, writeInputDelaysMessage(delays), writeInputDelaysFrame(delays));
            },
            [&] { check({"readOutputDelays", 0x00, 0x04, QByteArray(1, 0x40)}, readOutputDelaysMessage(), readOutputDelaysFrame()); },
            [&] {
                QList<quint16> delays;
                QByteArray d(1, 0x40);
                for (int i = int(m_rng.bounded(8)); i > 0; --i) {
                    delays << u16();
                    d += be16(delays.last());
                }
                check({"writeOutputDelays", 0x01, 0x04, d}, writeOutputDelaysMessage(delays), writeOutputDelaysFrame(delays));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16));
                check({"readPreProcessingPatch", 0x00, 0x05, QByteArray(1, char(0x30 + n))},
                      readPreProcessingPatchMessage(n), readPreProcessingPatchFrame(n));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16)), v = u8();
                check({"writePreProcessingPatch", 0x01, 0x05, QByteArray(1, char(0x30 + n)) + char(v)},
                      writePreProcessingPatchMessage(n, v), writePreProcessingPatchFrame(n, v));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16));
                check({"readOutputPatch", 0x00, 0x05, QByteArray(1, char(0x40 + n))}, readOutputPatchMessage(n),
                      readOutputPatchFrame(n));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16)), v = u8();
                check({"writeOutputPatch", 0x01, 0x05, QByteArray(1, char(0x40 + n)) + char(v)},
                      writeOutputPatchMessage(n, v), writeOutputPatchFrame(n, v));
            },
            [&] { check({"readEqInfo", 0x00, 0x06, QByteArray(1, 0x00)}, readEqInfoMessage(), readEqInfoFrame()); },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16));
                check({"readEq", 0x00, 0x06, QByteArray(1, char(0x30 + n))}, readEqMessage(n), readEqFrame(n));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16));
                const bool enabled = flag();
                QObject owner;
                QList<WdxEqBand *> bands;
                QByteArray d = QByteArray(1, char(0x30 + n)) + char(enabled ? 1 : 0);
                for (int i = int(m_rng.bounded(11)); i > 0; --i) {
                    auto *band = new WdxEqBand(&owner);
                    band->setFrequency(quint8(m_rng.bounded(121)));
                    band->setGain(quint8(m_rng.bounded(73)));
                    band->setControl(u8());
                    band->setQualityFactor(quint8(m_rng.bounded(41)));
                    bands << band;
                    d += char(band->control());
                    d += char(band->frequency());
                    d += char(band->gain());
                    d += char(band->qualityFactor());
                }
                check({"writeEq", 0x01, 0x06, d}, writeEqMessage(n, enabled, bands), writeEqFrame(n, enabled, bands));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16));
                check({"readCompressor", 0x00, 0x07, QByteArray(1, char(0x40 + n))}, readCompressorMessage(n),
                      readCompressorFrame(n));
            },
            [&] {
                const quint8 n = quint8(m_rng.bounded(16)), r = u8(), dc = u8(), t = u8();
                const bool en = flag();
                QByteArray d = QByteArray(1, char(0x40 + n)) + char(r) + char(dc) + char(t) + char(en ? 1 : 0);
                check({"writeCompressor", 0x01, 0x07, d}, writeCompressorMessage(n, r, dc, t, en),
                      writeCompressorFrame(n, r, dc, t, en));
            },
            [&] {
                check({"readSpeakerPreset", 0x00, 0x08, QByteArray(1, 0x00)}, readSpeakerPresetMessage(),
                      readSpeakerPresetFrame());
            },
            [&] { check({"readSpeakerMode", 0x00, 0x08, QByteArray(1, 0x01)}, readSpeakerModeMessage(), readSpeakerModeFrame()); },
            [&] {
                const quint8 a = u8(), b = u8();
                check({"writeSpeakerVariant", 0x01, 0x08, QByteArray(1, 0x01) + char(a) + char(b)},
                      writeSpeakerVariantMessage(a, b), writeSpeakerVariantFrame(a, b));
            },
            [&] {
                const QString pin = randomPassword();
                check({"unlock", 0x01, 0x09, QByteArray(1, 0x00) + latin1Count(pin)}, unlockMessage(pin), unlockFrame(pin));
            },
            [&] {
                const QString pin = randomPassword();
                check({"lock", 0x01, 0x09, QByteArray(1, 0x01) + latin1Count(pin)}, lockMessage(pin), lockFrame(pin));
            },
            [&] {
                check({"readDigitalMuxStatus", 0x00, 0xFD, QByteArray(1, 0x00)}, readDigitalMuxStatusMessage(),
                      readDigitalMuxStatusFrame());
            },
            [&] {
                const quint8 s = u8();
                check({"writeDigitalMuxStatus", 0x01, 0xFD, QByteArray(1, 0x00) + char(s)},
                      writeDigitalMuxStatusMessage(s), writeDigitalMuxStatusFrame(s));
            },
            [&] {
                check({"readNetworkDelayCompensation", 0x00, 0xFD, QByteArray(1, 0x01)},
                      readNetworkDelayCompensationMessage(), readNetworkDelayCompensationFrame());
            },
            [&] {
                const quint16 v = u16();
                check({"writeNetworkDelayCompensation", 0x01, 0xFD, QByteArray(1, 0x01) + be16(v)},
                      writeNetworkDelayCompensationMessage(v), writeNetworkDelayCompensationFrame(v));
            },
        };
        QCOMPARE(cases.size(), 36);

        for (int round = 0; round < 60; ++round) {
            for (const Case &c : cases) {
                c();
                if (QTest::currentTestFailed())
                    return;
            }
        }
        qInfo("%d frames round-tripped, %d single-byte changes parsed", m_frames, m_mutations);
    }
};

VELA_TEST_MAIN_CORE(TstWdxRequests)
#include "tst_wdxrequests.moc"
