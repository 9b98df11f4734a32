#include "VelaTestMain.h"

#include "protocol/QRawData.h"

#include <QSignalSpy>
#include <stdexcept>

namespace {

QRawData hex(const char *text)
{
    return QRawData(QString::fromLatin1(text));
}

} // namespace

// A range error writes the warning, throws std::invalid_argument with the error text, and
// the caller checks afterwards that nothing changed.
#define EXPECT_RANGE_ERROR(expr, warning, error)                                                  \
    do {                                                                                          \
        QTest::ignoreMessage(QtWarningMsg, warning);                                              \
        bool thrown = false;                                                                      \
        try {                                                                                     \
            expr;                                                                                 \
        } catch (const std::invalid_argument &e) {                                                \
            thrown = true;                                                                        \
            QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral(error));                       \
        }                                                                                         \
        QVERIFY2(thrown, #expr " did not throw");                                                 \
    } while (0)

#define GET_VAL_ERROR(expr) EXPECT_RANGE_ERROR(expr, "RawData.getBitVal Invalid len!", "RawData.getBitVal -> Invalid len.")

class RawDataSender : public QObject
{
    Q_OBJECT
signals:
    void send(QRawData data);
};

class RawDataReceiver : public QObject
{
    Q_OBJECT
public:
    QRawData received;
    bool done = false;
public slots:
    void onSend(QRawData data)
    {
        received = data;
        done = true;
    }
};

class TstQRawData : public QObject
{
    Q_OBJECT

private slots:
    void constructors()
    {
        QCOMPARE(QRawData().byteLen(), 0);
        QCOMPARE(QRawData(3).toHex(), QStringLiteral("000000"));
        QCOMPARE(QRawData(3, 0xAB).toHex(), QStringLiteral("ababab"));
        QCOMPARE(QRawData(2, 0x1FF).toHex(), QStringLiteral("ffff"));
        QCOMPARE(QRawData(-1).byteLen(), 0);

        const QByteArray bytes = QByteArray::fromHex("0102030405");
        QCOMPARE(QRawData(bytes, 2).toHex(), QStringLiteral("030405"));
        QCOMPARE(QRawData(bytes, 1, 2).toHex(), QStringLiteral("0203"));
        QCOMPARE(QRawData(bytes, 3, 10).toHex(), QStringLiteral("0405"));
        QCOMPARE(QRawData(bytes, 9).byteLen(), 0);

        const char chars[] = {'\x55', '\x00', '\x02', '\x7f'};
        QCOMPARE(QRawData(chars, 3).toHex(), QStringLiteral("550002"));
        QCOMPARE(hex("55 00 02 00 00 ff a9").toHex(), QStringLiteral("55000200 00ffa9").remove(' '));

        QObject owner;
        QRawData *child = new QRawData(4, 0x11, &owner);
        QCOMPARE(child->parent(), &owner);
        QCOMPARE(child->toHex(), QStringLiteral("11111111"));
    }

    void copiesShareUntilWritten()
    {
        QObject owner;
        QRawData original(hex("0a0b0c"));
        original.setParent(&owner);
        QRawData copy(original);
        QCOMPARE(copy.parent(), nullptr);
        QCOMPARE(copy.constData(), original.constData());

        copy.setAt(0, 0xFF);
        QCOMPARE(original.toHex(), QStringLiteral("0a0b0c"));
        QCOMPARE(copy.toHex(), QStringLiteral("ff0b0c"));

        QRawData assigned;
        assigned = original;
        QCOMPARE(assigned.constData(), original.constData());
        assigned.resize(1);
        QCOMPARE(original.toHex(), QStringLiteral("0a0b0c"));
        QCOMPARE(assigned.toHex(), QStringLiteral("0a"));

        QRawData moved(std::move(copy));
        QCOMPARE(moved.toHex(), QStringLiteral("ff0b0c"));
    }

    void setAtChecksItsRange()
    {
        QRawData data(hex("0102"));
        data.setAt(1, 0xEE);
        QCOMPARE(data.toHex(), QStringLiteral("01ee"));
        EXPECT_RANGE_ERROR(data.setAt(2, 0), "RawData::setAt(int) error", "RawData::setAt(int) error");
        EXPECT_RANGE_ERROR(data.setAt(-1, 0), "RawData::setAt(int) error", "RawData::setAt(int) error");
        QCOMPARE(data.toHex(), QStringLiteral("01ee"));
    }

    void appendForms()
    {
        QRawData data;
        data.append(quint8(0x55));
        data.append(QByteArray::fromHex("0102"));
        data.append(hex("aabb"));
        data.appendHex(QStringLiteral("0C0d"));
        QCOMPARE(data.toHex(), QStringLiteral("550102aabb0c0d"));
    }

    void resizeFillsAddedBytesWithZeros()
    {
        // Shrinking keeps the old bytes in the allocation; growing again must not expose them.
        QRawData data(8, 0xFF);
        data.resize(2);
        QCOMPARE(data.toHex(), QStringLiteral("ffff"));
        data.resize(6);
        QCOMPARE(data.toHex(), QStringLiteral("ffff00000000"));

        QRawData shared(4, 0x77);
        QRawData copy(shared);
        copy.resize(1);
        copy.resize(3);
        QCOMPARE(copy.toHex(), QStringLiteral("770000"));
        QCOMPARE(shared.toHex(), QStringLiteral("77777777"));

        data.resize(0);
        QVERIFY(data.isEmpty());
        data.resize(300);
        for (int i = 0; i < data.byteLen(); ++i)
            QCOMPARE(data.at(i), quint8(0));
        data.resize(-5);
        QCOMPARE(data.byteLen(), 0);
    }

    void setDataReusesOrCopies()
    {
        QRawData data(hex("010203040506"));
        const QRawData before(data);
        const char bytes[] = {'\x0a', '\x0b'};
        data.setData(bytes, 2);
        QCOMPARE(data.toHex(), QStringLiteral("0a0b"));
        QCOMPARE(before.toHex(), QStringLiteral("010203040506"));

        // A slice of its own bytes.
        QRawData self(hex("0102030405"));
        self.setData(self.constData() + 1, 3);
        QCOMPARE(self.toHex(), QStringLiteral("020304"));
        self.setData(QByteArray::fromHex("ff"));
        QCOMPARE(self.toHex(), QStringLiteral("ff"));
    }

    void hexText()
    {
        QRawData data;
        data.setHex(QStringLiteral("0a0B"));
        QCOMPARE(data.byteLen(), 2);
        QCOMPARE(data.at(0), quint8(0x0A));
        QCOMPARE(data.at(1), quint8(0x0B));
        QCOMPARE(data.toHex(), QStringLiteral("0a0b"));
        data.setHex(QString());
        QVERIFY(data.isEmpty());
    }

    void printableText()
    {
        QCOMPARE(hex("41007e80").toPrintable(), QStringLiteral("A00~80"));
        QCOMPARE(hex("1f207f").toPrintable(), QStringLiteral("1f \x7f"));
        QCOMPARE(hex("0aff").toPrintable(), QStringLiteral("0aff"));
    }

    void latin1Text()
    {
        const QRawData data(hex("41e9 4243"));
        QCOMPARE(data.toText(), QString::fromLatin1("A\xe9" "BC"));
        QCOMPARE(data.toText(1), QString::fromLatin1("\xe9" "BC"));
        QCOMPARE(data.toText(1, 2), QString::fromLatin1("\xe9" "B"));
        QCOMPARE(data.toText(4), QString());
        GET_VAL_ERROR(data.toText(2, 3));
        GET_VAL_ERROR(data.toText(5));
        GET_VAL_ERROR(data.toText(-1, 1));
    }

    void utf16Text()
    {
        const QRawData data(hex("4100 e900 3a26 00"));
        QCOMPARE(data.toUtf16Text(0, 6), QStringLiteral("A\u00e9\u263a"));
        QCOMPARE(data.toUtf16Text(2, 2), QStringLiteral("\u00e9"));
        GET_VAL_ERROR(data.toUtf16Text(4, 4));
    }

    void numbersBigAndLittleEndian()
    {
        QRawData data(2);
        data.setVal(0, 2, 0x1234);
        QCOMPARE(data.toHex(), QStringLiteral("1234"));
        QCOMPARE(data.getVal(0, 2), 0x1234);
        QCOMPARE(data.getVal(0, 2, 1), 0x3412);
        QCOMPARE(data.getUVal(1, 1), 0x34u);

        data.setVal(0, 2, -2);
        QCOMPARE(data.toHex(), QStringLiteral("fffe"));
        QCOMPARE(data.getVal(0, 2), 65534);

        const QRawData ones(hex("ffffffff"));
        QCOMPARE(ones.getVal(0, 4), 0);
        QCOMPARE(ones.getUVal(0, 4), 4294967295u);
        QCOMPARE(hex("7fffffff").getVal(0, 4), 0x7FFFFFFF);
        QCOMPARE(hex("80000000").getVal(0, 4), 0);
        QCOMPARE(hex("0000000001").getUVal(0, 5), 1u);
        QCOMPARE(hex("0100000000").getUVal(0, 5), 0u);
        // Wider than 64 bits: only leading zeros keep the value.
        QCOMPARE(hex("00 00 00000000000000 05").getUVal(0, 10), 5u);
        QCOMPARE(hex("01 00 00000000000000 05").getUVal(0, 10), 0u);
        QCOMPARE(hex("0102").getVal(1, 0), 0);

        GET_VAL_ERROR(data.getVal(1, 2));
        GET_VAL_ERROR(data.getUVal(0, 3, 1));
        GET_VAL_ERROR(data.getVal(-1, 1));
        GET_VAL_ERROR(data.getVal(0, -1));
    }

    void setValWidthsAndSigns()
    {
        QRawData data(4);
        data.setVal(0, 3, qint8(-1));
        QCOMPARE(data.toHex(), QStringLiteral("ffffff00"));
        data.setVal(0, 3, quint8(0xFF));
        QCOMPARE(data.toHex(), QStringLiteral("0000ff00"));
        data.setVal(1, 3, quint32(0xAABBCCDD));
        QCOMPARE(data.toHex(), QStringLiteral("00bbccdd"));
        data.setVal(0, 4, qint16(-3));
        QCOMPARE(data.toHex(), QStringLiteral("fffffffd"));
        data.setVal(0, 4, quint16(0x8001));
        QCOMPARE(data.toHex(), QStringLiteral("00008001"));

        QRawData wide(10);
        wide.setVal(0, 10, qint64(-1));
        QCOMPARE(wide.toHex(), QStringLiteral("ffffffffffffffffffff"));
        wide.setVal(0, 10, quint64(0x8000000000000001ull));
        QCOMPARE(wide.toHex(), QStringLiteral("00008000000000000001"));
        wide.setVal(0, 10, qint64(0x0102030405060708ll));
        QCOMPARE(wide.toHex(), QStringLiteral("00000102030405060708"));

        // The length never changes; a range error leaves the bytes as they were.
        QRawData two(hex("abcd"));
        EXPECT_RANGE_ERROR(two.setVal(1, 2, 5), "RawData::setVal(int, int, qint64) error",
                           "RawData::setVal(int, int, qint64) error");
        EXPECT_RANGE_ERROR(two.setVal(1, 2, quint16(5)), "RawData::setVal(int, int, quint64) error",
                           "RawData::setVal(int, int, quint64) error");
        EXPECT_RANGE_ERROR(two.setVal(-1, 1, qint64(5)), "RawData::setVal(int, int, qint64) error",
                           "RawData::setVal(int, int, qint64) error");
        QCOMPARE(two.toHex(), QStringLiteral("abcd"));
        two.setVal(2, 0, 7);
        QCOMPARE(two.toHex(), QStringLiteral("abcd"));
    }

    void setValText()
    {
        QRawData data(6);
        data.setVal(0, 6, QStringLiteral("AB"));
        QCOMPARE(data.toHex(), QStringLiteral("202020204142"));
        data.setVal(1, 4, QStringLiteral("7"), QLatin1Char('0'));
        QCOMPARE(data.toHex(), QStringLiteral("203030303742"));
        data.setVal(0, 2, QStringLiteral("XYZ"));
        QCOMPARE(data.toHex(), QStringLiteral("585930303742"));
        data.setVal(0, 3, QStringLiteral("\u00e9\u263a!"));
        QCOMPARE(data.toHex(), QStringLiteral("e90021303742"));

        EXPECT_RANGE_ERROR(data.setVal(4, 3, QStringLiteral("abc")), "RawData::setVal(int, int, QString char) error",
                           "RawData::setVal(int, int, QString, QChar) error");
        QCOMPARE(data.toHex(), QStringLiteral("e90021303742"));
    }

    void rightAndRange()
    {
        const QRawData data(hex("01020304"));
        QCOMPARE(data.right(1).toHex(), QStringLiteral("04"));
        QCOMPARE(data.right(0).byteLen(), 0);
        QCOMPARE(data.right(9).toHex(), QStringLiteral("01020304"));
        EXPECT_RANGE_ERROR(data.right(-1), "RawData.right() Invalid len!", "RawData.right -> Invalid len.");

        QCOMPARE(data.GetRange(2, 10).toHex(), QStringLiteral("0304"));
        QCOMPARE(data.GetRange(1).toHex(), QStringLiteral("020304"));
        QCOMPARE(data.GetRange(1, 2).toHex(), QStringLiteral("0203"));
        QCOMPARE(data.GetRange(4).byteLen(), 0);
        EXPECT_RANGE_ERROR(data.GetRange(5, 1), "RawData.GetRange() Invalid range!", "RawData.GetRange -> Invalid range.");
        EXPECT_RANGE_ERROR(data.GetRange(-1), "RawData.GetRange() Invalid range!", "RawData.GetRange -> Invalid range.");
    }

    void xorAlignsAtTheLastByte()
    {
        QRawData a(hex("0ff0"));
        a.xorWith(hex("010f"));
        QCOMPARE(a.toHex(), QStringLiteral("0eff"));

        QRawData longer(hex("112233"));
        longer.xorWith(hex("ff"));
        QCOMPARE(longer.toHex(), QStringLiteral("1122cc"));

        QRawData shorter(hex("aa"));
        shorter.xorWith(hex("0102"));
        QCOMPARE(shorter.toHex(), QStringLiteral("a8"));

        QRawData empty;
        empty.xorWith(hex("01"));
        QVERIFY(empty.isEmpty());
    }

    void comparisons()
    {
        QVERIFY(hex("0102") == hex("0102"));
        QVERIFY(hex("0102") != hex("0103"));
        QVERIFY(hex("0001") != hex("01"));

        // As numbers, leading zeros do not count.
        QVERIFY(hex("0001") <= hex("01"));
        QVERIFY(hex("0001") >= hex("01"));
        QVERIFY(!(hex("0001") < hex("01")));
        QVERIFY(!(hex("01") > hex("0001")));
        QVERIFY(hex("02") < hex("0100"));
        QVERIFY(hex("00ff00") > hex("ff"));
        QVERIFY(hex("fe") < hex("ff"));
        QVERIFY(QRawData() <= hex("0000"));
        QVERIFY(hex("0000") >= QRawData());
        QVERIFY(hex("0001") > QRawData());
    }

    void metaTypeByName()
    {
        const int id = QMetaType::type("QRawData");
        QVERIFY(id != QMetaType::UnknownType);
        QCOMPARE(id, qMetaTypeId<QRawData>());

        const QVariant v = QVariant::fromValue(hex("c0ffee"));
        QCOMPARE(v.value<QRawData>().toHex(), QStringLiteral("c0ffee"));
    }

    void travelsByQueuedSignal()
    {
        // A queued call copies the argument through the meta-type system, looked up by name
        // for a string-based connection; the receiver's thread does not matter for that.
        RawDataSender sender;
        RawDataReceiver receiver;
        QVERIFY(connect(&sender, SIGNAL(send(QRawData)), &receiver, SLOT(onSend(QRawData)), Qt::QueuedConnection));

        QRawData data(hex("55000200 00ffa9"));
        emit sender.send(data);
        data.setAt(0, 0);
        QVERIFY(!receiver.done);
        QTRY_VERIFY_WITH_TIMEOUT(receiver.done, 10000);
        QCOMPARE(receiver.received.toHex(), QStringLiteral("5500020000ffa9"));
    }
};

VELA_TEST_MAIN_CORE(TstQRawData)
#include "tst_qrawdata.moc"
