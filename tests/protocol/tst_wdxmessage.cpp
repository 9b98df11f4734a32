#include "VelaTestMain.h"

#include "protocol/WdxMessageGeneric.h"

#include <utility>

static QRawData hex(const char *text) { return QRawData(QString::fromLatin1(text)); }

// Every change signal of a message, by name without "Changed", in emission order.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(WdxMessageGeneric &m)
    {
        const QMetaObject *mo = m.metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
            if (mo->method(i).methodType() == QMetaMethod::Signal)
                connect(&m, mo->method(i), this, metaObject()->method(metaObject()->indexOfSlot("hit()")));
    }
    QString take() { return std::exchange(names, QString()).trimmed(); }
    QString names;
public slots:
    void hit() { names += ' ' + QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name().chopped(7)); }
};

class TstWdxMessage : public QObject
{
    Q_OBJECT

private slots:
    void checksumAndFrame()
    {
        // The sum wraps at 16 bits: 300 x 0xFF = 0x12AD4 (checksum 0xD52C); 257 x 0xFF + 1 = 0x10000.
        QCOMPARE(QList<quint16>({WdxMessageGeneric::frameChecksum(QRawData()), WdxMessageGeneric::frameChecksum(hex("5500020000")),
                                 WdxMessageGeneric::frameChecksum(QRawData(300, 0xFF)), WdxMessageGeneric::frameChecksum(QRawData(QString(514, 'f') + "01"))}),
                 QList<quint16>({0, 0xFFA9, 0xD52C, 0}));

        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::buildFrame(m).toHex(), QStringLiteral("0000020000fffe"));
        m.setStartOfFrame(0x55), m.setOperationCode(0x01), m.setData(hex("00"));
        QVERIFY(WdxMessageGeneric::buildFrame(m).toHex() == "550003000100ffa7" && m.checksum() == 0); // building stores nothing
        m.setNumberOfBytes(0x0109); // the stored NB is written as it is, high byte first
        QCOMPARE(WdxMessageGeneric::buildFrame(m).toHex(), QStringLiteral("550109000100ffa0"));
    }

    void parse_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<int>("consumed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("fields"); // SOF NB CMD OP DATA CHECKSUM as toString() writes them
        QTest::newRow("ack, no data") << "55000280 00ff29" << 7 << true << "55 0002 80 00 - ff29";
        QTest::newRow("0xAA start, data") << "aa000481 034005 fe89" << 9 << true << "aa 0004 81 03 4005 fe89";
        QTest::newRow("nack") << "550002c1 05 fee3" << 7 << true << "55 0002 c1 05 - fee3";
        QTest::newRow("checksum off by one") << "55000200 00ffaa" << 7 << false << "55 0002 00 00 - ffaa";
        QTest::newRow("checksum bytes swapped") << "55000200 00a9ff" << 7 << false << "55 0002 00 00 - a9ff";
        QTest::newRow("two trailing bytes") << "55000200 00ffa9 1234" << 7 << true << "55 0002 00 00 - ffa9";
        QTest::newRow("second frame trailing") << "55000300 0100ffa7 55000200 00ffa9" << 8 << true << "55 0003 00 01 00 ffa7";
        QTest::newRow("NB 0: checksum after CMD") << "55000080 ff2b" << 6 << true << "55 0000 80 00 - ff2b";
        QTest::newRow("NB 1: checksum after CMD") << "55000180 ff2a 99" << 6 << true << "55 0001 80 00 - ff2a";
        QTest::newRow("NB 0x0103") << QStringLiteral("55010301 04%1 0000").arg(QString(0x101 * 2, '0')) << 264
                                   << false << QStringLiteral("55 0103 01 04 %1 0000").arg(QString(0x101 * 2, '0'));
        QTest::newRow("0x54") << "54000200 00ffa9" << 1 << false << "";
        QTest::newRow("0x56") << "56" << 1 << false << "";
        QTest::newRow("0xA9") << "a9000200 00ffa9" << 1 << false << "";
        QTest::newRow("four bytes") << "55000200" << -1 << false << "";
        QTest::newRow("six of seven bytes") << "55000200 00ff" << -1 << false << "";
        QTest::newRow("data missing") << "55000501 0340" << -1 << false << "";
        QTest::newRow("NB 0, five bytes") << "55000080 ff" << -1 << false << "";
        QTest::newRow("NB 0x0100, high byte counts") << "55010001 0200ff" << -1 << false << "";
    }

    void parse()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, fields);
        WdxMessageGeneric m; // a previous good parse must not leave it valid
        QVERIFY(WdxMessageGeneric::parse(hex("55000280 00ff29"), m) == 7 && m.isValid());
        QTEST(WdxMessageGeneric::parse(QRawData(bytes), m), "consumed");
        QTEST(m.isValid(), "valid");
        if (fields.isEmpty())
            return;
        const QStringList f = fields.split(' ');
        QCOMPARE(m.toString(), QStringLiteral("SOF: [%1]\nNB: [%2]\nCMD: [%3]\nOP: [%4]\nDATA: [%5]\nCHECKSUM: [%6]\n")
                                   .arg(f[0], f[1], f[2], f[3], f[4] == "-" ? QString() : f[4], f[5]));
        QCOMPARE(m.isSlaveMessage(), f[2].startsWith('8') || f[2].startsWith('c'));
        QCOMPARE(m.hasError(), f[2].startsWith('c'));
    }

    void parsePartsAndNothing()
    {
        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034005 fede"), m), 9);
        SignalLog log(m);
        QCOMPARE(WdxMessageGeneric::parse(QRawData(), m), -1);
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034005 fede"), m), 9);
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034006 fedd"), m), 9);
        QCOMPARE(log.take(), QStringLiteral("data message checksum message")); // nothing for the same frame
        QCOMPARE(WdxMessageGeneric::parse(hex("aa000900"), m), -1); // four bytes leave the header alone
        QCOMPARE(m.startOfFrame(), quint8(0x55));
        QCOMPARE(WdxMessageGeneric::parse(hex("55000080 ff2b"), m), 6); // NB below 2 keeps the payload it had
        QCOMPARE(m.data().toHex(), QStringLiteral("4006"));
    }

    void setterSignalOrder()
    {
        // Each group of calls sets one value twice: the second call changes nothing and signals nothing.
        WdxMessageGeneric m;
        SignalLog log(m);
        QStringList steps;
        auto step = [&] { steps << QStringLiteral("%1 %2: %3").arg(m.numberOfBytes()).arg(m.commandType(), 2, 16, QLatin1Char('0')).arg(log.take()); };
        m.setData(hex("400102")), m.setData(hex("400102")), step();
        m.setData(hex("400103")), step();
        m.setCommandType(0x80), m.setCommandType(0x80), step();
        m.setHasError(true), m.setHasError(true), step();
        m.setIsSlaveMessage(false), m.setIsSlaveMessage(false), step();
        m.setStartOfFrame(0x55), m.setStartOfFrame(0x55), m.setNumberOfBytes(9), m.setNumberOfBytes(9), m.setOperationCode(3), m.setOperationCode(3);
        m.setChecksum(0xABCD), m.setChecksum(0xABCD), m.setIsValid(true), m.setIsValid(true), step();
        QCOMPARE(steps, QStringList({"5 00: numberOfBytes message data message", "5 00: data message",
                                     "5 80: commandType hasError isSlaveMessage message", "5 c0: commandType hasError message",
                                     "5 40: commandType isSlaveMessage message",
                                     "9 40: startOfFrame message numberOfBytes message operationCode message checksum message isValid message"}));
    }

    void assignmentAndCopy()
    {
        WdxMessageGeneric source, target;
        QCOMPARE(WdxMessageGeneric::parse(hex("aa000481 034005 fe89"), source), 9);
        SignalLog log(target);
        target = source, target = source; // the second assignment changes nothing
        QCOMPARE(log.take(), QStringLiteral("startOfFrame message numberOfBytes message commandType hasError isSlaveMessage message "
                                            "operationCode message data message checksum message isValid message"));
        const WdxMessageGeneric copy(source);
        for (const WdxMessageGeneric *m : std::initializer_list<const WdxMessageGeneric *>{&target, &copy})
            QVERIFY(m->isValid() && m->toString() == "SOF: [aa]\nNB: [0004]\nCMD: [81]\nOP: [03]\nDATA: [4005]\nCHECKSUM: [fe89]\n");
    }

    void isSameRequest()
    {
        auto make = [](const char *text) {
            const QRawData bytes(QString::fromLatin1(text));
            WdxMessageGeneric m;
            m.setStartOfFrame(bytes.at(0)), m.setCommandType(bytes.at(1)), m.setOperationCode(bytes.at(2));
            m.setData(bytes.GetRange(3));
            return m;
        };
        // SOF CMD OP DATA against 55 01 03 400a0b0c: only other values of the same length are the same request.
        for (const char *other : {"550103 40242424", "550103 400a0b", "550103 410a0b0c", "550003 400a0b0c", "550104 400a0b0c", "aa0103 400a0b0c"}) {
            const bool same = other == QLatin1String("550103 40242424");
            QVERIFY2(make("550103 400a0b0c").isSameRequest(make(other)) == same && make(other).isSameRequest(make("550103 400a0b0c")) == same, other);
        }
        QVERIFY(make("550000").isSameRequest(make("550000")));
    }

    void names_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        // 0xC0DE: command type CODE; 0x0F00 | OP: operation OP; 0xOPSU: sub-code SU of operation OP.
        const QList<QPair<int, const char *>> names = {
            {0xC000, "Read"}, {0xC001, "Write"}, {0xC080, "Ack Read"}, {0xC081, "Ack Write"}, {0xC0C0, "Nack Read"},
            {0xC0C1, "Nack Write"}, {0xC040, "Unknown"}, {0xC002, "Unknown"}, {0xC041, "Unknown"}, {0xF00, "Null Command"},
            {0xF01, "Device Info"}, {0xF02, "Device Firmware"}, {0xF03, "Gain Settings"}, {0xF04, "Delay Settings"},
            {0xF05, "Patch Settings"}, {0xF06, "Eq Settings"}, {0xF07, "Compressor Settings"}, {0xF08, "Speaker Mode Settings"},
            {0xF09, "Security Settings"}, {0xF0A, "Unknown"}, {0xFFC, "Unknown"}, {0xFFD, "Device Specific Functions"},
            {0xFFE, "Firmware Update"}, {0xFFF, "Unknown"}, {0x0100, "Device Type"}, {0x0109, "Modes Number"}, {0x010A, "Dsp Version"},
            {0x010B, ""}, {0x011F, ""}, {0x0120, "Input #0 Name"}, {0x012F, "Input #15 Name"}, {0x0131, "Preproc #1 Name"},
            {0x0142, "Output #2 Name"}, {0x0153, "Mode #3 Name"}, {0x0160, ""}, {0x0180, "Input Meters"},
            {0x0186, "Output User Compressor Meters"}, {0x0188, "In/Out Compressor In/Out Meters"}, {0x0189, ""},
            {0x0200, "Main Status"}, {0x0203, "Dsp Block"}, {0x0204, ""}, {0x0300, "Info"}, {0x0320, "Input Gains"},
            {0x0340, "Output Gains"}, {0x0341, ""}, {0x03FF, "All Gains"}, {0x0380, ""}, {0x0420, "Input Delays"},
            {0x0440, "Output Delays"}, {0x04FF, "All Delays"}, {0x0500, "Info"}, {0x0520, ""}, {0x0531, "Preproc #1 Patch"},
            {0x0542, "Output #2 Patch"}, {0x0631, "Preproc #1 Eq Settings"}, {0x0640, ""}, {0x0700, "Info"},
            {0x0742, "Output #2 Compressor Settings"}, {0x0731, ""}, {0x0801, "Mode Settings"}, {0x0802, ""}, {0x0900, ""},
            {0xFD00, "Digital Mux Status"}, {0xFD01, "Network Delay Compensation"}, {0xFE00, ""}};
        for (const auto &n : names)
            QTest::addRow("%04x", n.first) << n.first << n.second;
    }

    void names()
    {
        QFETCH(int, code);
        const quint8 high = quint8(code >> 8), low = quint8(code);
        QTEST(high == 0xC0 ? WdxMessageGeneric::commandTypeName(low)
                  : high == 0x0F ? WdxMessageGeneric::operationCodeName(low) : WdxMessageGeneric::subCodeName(high, low), "name");
    }
};

VELA_TEST_MAIN_CORE(TstWdxMessage)
#include "tst_wdxmessage.moc"
