#include "VelaTestMain.h"

#include "protocol/QRawData.h"

#include <functional>
#include <stdexcept>

static QRawData hex(const char *text) { return QRawData(QString::fromLatin1(text)); }

// A range error writes the warning first, then throws std::invalid_argument: its text, or "none".
template <typename F> static QString rangeError(const char *warning, F operation)
{
    QTest::ignoreMessage(QtWarningMsg, warning);
    try { operation(); } catch (const std::invalid_argument &e) { return QString::fromLatin1(e.what()); }
    return QStringLiteral("none");
}
#define EXPECT_RANGE_ERROR(expr, warning, error) QCOMPARE(rangeError(warning, [&] { expr; }), QStringLiteral(error))
#define GET_VAL_ERROR(expr) EXPECT_RANGE_ERROR(expr, "RawData.getBitVal Invalid len!", "RawData.getBitVal -> Invalid len.")
#define SET_VAL_ERROR(expr, kind) \
    EXPECT_RANGE_ERROR(expr, "RawData::setVal(int, int, " kind ") error", "RawData::setVal(int, int, " kind ") error")

class TstQRawData : public QObject
{
    Q_OBJECT

private slots:
    void registeredByNameBeforeAnyUse()
    {
        // Queued connections look the type up by name; nothing in this test has named it yet.
        QVERIFY(QMetaType::type("QRawData") != QMetaType::UnknownType);
    }

    void constructionAndCopies()
    {
        const QByteArray bytes = QByteArray::fromHex("0102030405");
        const QStringList built{QRawData().toHex(), QRawData(3).toHex(), QRawData(3, 0x1AB).toHex(),
                                QRawData(bytes, 2).toHex(), QRawData(bytes, 1, 2).toHex(),
                                QRawData("\x55\x00\x02\x7f", 3).toHex(), hex("0a0B").toHex()};
        QCOMPARE(built.join(' '), QStringLiteral(" 000000 ababab 030405 0203 550002 0a0b"));
        QRawData copy(hex("0a0b0c")), other(copy);
        other.setAt(0, 0xFF), other.append(quint8(0x55)), other.append(QByteArray::fromHex("0102")), other.append(hex("aabb"));
        other.appendHex(QStringLiteral("0C0d"));
        QCOMPARE(other.toHex() + ' ' + copy.toHex(), QStringLiteral("ff0b0c550102aabb0c0d 0a0b0c")); // copies do not share writes
        other.resize(0);
        QVERIFY(other.isEmpty());
    }

    void setAtBounds()
    {
        QRawData data(hex("0102"));
        data.setAt(1, 0xEE), data.setAt(0, 0xDD);
        EXPECT_RANGE_ERROR(data.setAt(2, 0), "RawData::setAt(int) error", "RawData::setAt(int) error");
        EXPECT_RANGE_ERROR(data.setAt(-1, 0), "RawData::setAt(int) error", "RawData::setAt(int) error");
        QCOMPARE(data.toHex(), QStringLiteral("ddee"));
    }

    void texts()
    {
        // Printable is 0x20..0x7F inclusive; the neighbours are written as hex.
        QCOMPARE(hex("41007e80").toPrintable() + ' ' + hex("1f207fff").toPrintable(), QStringLiteral("A00~80 1f \x7f" "ff"));
        const QRawData latin(hex("41e94243"));
        QCOMPARE(latin.toText() + latin.toText(1, 2) + latin.toText(2, 2) + latin.toText(4), QString::fromLatin1("A\xe9" "BC\xe9" "BBC"));
        GET_VAL_ERROR(latin.toText(2, 3));
        GET_VAL_ERROR(latin.toText(5));
        const QRawData utf16(hex("4100e9003a26"));
        QCOMPARE(utf16.toUtf16Text(0, 6) + utf16.toUtf16Text(4, 2), QStringLiteral("A\u00e9\u263a\u263a"));
        GET_VAL_ERROR(utf16.toUtf16Text(4, 4));
    }

    void numbers()
    {
        // bytes pos len order -> getVal getUVal (order 1: little-endian)
        for (const QString c : {"1234 0 2 0 -> 4660 4660", "1234 0 2 1 -> 13330 13330", "00123456 1 3 0 -> 1193046 1193046",
                                "00123456 1 3 1 -> 5649426 5649426", "1234 1 1 0 -> 52 52", "fffe 0 2 0 -> 65534 65534",
                                "7fffffff 0 4 0 -> 2147483647 2147483647", "80000000 0 4 0 -> 0 2147483648",
                                "ffffffff 0 4 0 -> 0 4294967295", "00ffffffff 0 5 0 -> 0 4294967295", "0100000000 0 5 0 -> 0 0",
                                "0102 2 0 0 -> 0 0"}) {
            const QStringList in = c.split(' ');
            const QRawData data(in[0]);
            const int pos = in[1].toInt(), len = in[2].toInt(), order = in[3].toInt();
            QCOMPARE(QStringLiteral("%1 %2 %3 %4 -> %5 %6").arg(in[0], in[1], in[2], in[3]).arg(data.getVal(pos, len, order)).arg(data.getUVal(pos, len, order)), c);
        }
    }

    void setValAndRangeErrors()
    {
        // Each step's bytes: the least significant byte last, signed values sign-extended.
        QRawData data(4), wide(10);
        QStringList steps;
        for (const auto &step : std::initializer_list<std::function<void()>>{
                 [&] { data.setVal(0, 2, 0x1234), data.setVal(2, 2, -2); }, [&] { data.setVal(0, 3, qint8(-1)); },
                 [&] { data.setVal(0, 3, quint8(0xFF)); }, [&] { data.setVal(1, 3, quint32(0xAABBCCDD)); }})
            step(), steps << data.toHex();
        wide.setVal(0, 10, qint64(-2)), steps << wide.toHex();
        wide.setVal(0, 10, quint64(0x8000000000000001ull)), steps << wide.toHex();
        QCOMPARE(steps.join(' '), QStringLiteral("1234fffe fffffffe 0000fffe 00bbccdd fffffffffffffffffffe 00008000000000000001"));
        // A range error changes nothing, the length included; a field that ends at the end fits.
        QRawData two(hex("abcd"));
        SET_VAL_ERROR(two.setVal(1, 2, 5), "qint64");
        SET_VAL_ERROR(two.setVal(1, 2, quint16(5)), "quint64");
        SET_VAL_ERROR(two.setVal(-1, 1, qint64(5)), "qint64");
        GET_VAL_ERROR(two.getVal(1, 2));
        GET_VAL_ERROR(two.getUVal(0, 3, 1));
        GET_VAL_ERROR(two.getVal(3, 0));
        QCOMPARE(two.toHex(), QStringLiteral("abcd"));
        two.setVal(1, 1, 5), two.setVal(2, 0, 7);
        QCOMPARE(two.toHex(), QStringLiteral("ab05"));
    }

    void setValText()
    {
        QRawData data(6);
        data.setVal(0, 6, QStringLiteral("AB"));
        const QString padded = data.toHex();
        data.setVal(1, 4, QStringLiteral("7"), QLatin1Char('0'));
        QCOMPARE(padded + ' ' + data.toHex(), QStringLiteral("202020204142 203030303742"));
        data.setVal(0, 2, QStringLiteral("XYZ"));
        data.setVal(3, 3, QStringLiteral("\u00e9\u263a!"));
        QCOMPARE(data.toHex(), QStringLiteral("585930e90021"));
        EXPECT_RANGE_ERROR(data.setVal(4, 3, QStringLiteral("abc")), "RawData::setVal(int, int, QString char) error", "RawData::setVal(int, int, QString, QChar) error");
        QCOMPARE(data.toHex(), QStringLiteral("585930e90021"));
    }

    void slices()
    {
        const QRawData data(hex("01020304"));
        const QStringList parts{data.right(1).toHex(), data.right(3).toHex(), data.right(0).toHex(), data.right(9).toHex(),
                                data.GetRange(2, 10).toHex(), data.GetRange(1).toHex(), data.GetRange(1, 2).toHex(),
                                data.GetRange(4).toHex()};
        QCOMPARE(parts.join(' '), QStringLiteral("04 020304  01020304 0304 020304 0203 "));
        EXPECT_RANGE_ERROR(data.right(-1), "RawData.right() Invalid len!", "RawData.right -> Invalid len.");
        EXPECT_RANGE_ERROR(data.GetRange(5, 1), "RawData.GetRange() Invalid range!", "RawData.GetRange -> Invalid range.");
    }

    void xorAlignsAtTheLastByte()
    {
        QRawData a(hex("0ff0")), longer(hex("112233")), shorter(hex("aa"));
        a.xorWith(hex("010f"));
        longer.xorWith(hex("f00f"));
        shorter.xorWith(hex("0102"));
        QCOMPARE(a.toHex() + ' ' + longer.toHex() + ' ' + shorter.toHex(), QStringLiteral("0eff 11d23c a8"));
    }

    void comparisons()
    {
        // As numbers, leading zero bytes do not count; == compares the bytes.
        QVERIFY(hex("0102") == hex("0102") && hex("0102") != hex("0201") && hex("0001") != hex("01"));
        QVERIFY(hex("0001") <= hex("01") && hex("0001") >= hex("01") && !(hex("0001") < hex("01")) && !(hex("01") > hex("0001")));
        QVERIFY(hex("02") < hex("0100") && !(hex("0100") < hex("02")) && hex("00ff00") > hex("ff") && hex("ff") <= hex("00ff00"));
        QVERIFY(hex("1234") < hex("1243") && hex("1243") >= hex("1234") && hex("0001") > QRawData() && QRawData() <= hex("0000"));
    }
};

VELA_TEST_MAIN_CORE(TstQRawData)
#include "tst_qrawdata.moc"
