#include "VelaTestMain.h"

#include "protocol/WdxMessageGeneric.h"

#include <QThread>
#include <atomic>


namespace {

QRawData hex(const char *text)
{
    return QRawData(QString::fromLatin1(text));
}

// Records every change signal of a message by name, in emission order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(WdxMessageGeneric &m)
    {
        watch(m, &WdxMessageGeneric::startOfFrameChanged, "sof");
        watch(m, &WdxMessageGeneric::numberOfBytesChanged, "nb");
        watch(m, &WdxMessageGeneric::commandTypeChanged, "cmd");
        watch(m, &WdxMessageGeneric::hasErrorChanged, "error");
        watch(m, &WdxMessageGeneric::isSlaveMessageChanged, "slave");
        watch(m, &WdxMessageGeneric::operationCodeChanged, "op");
        watch(m, &WdxMessageGeneric::dataChanged, "data");
        watch(m, &WdxMessageGeneric::checksumChanged, "checksum");
        watch(m, &WdxMessageGeneric::isValidChanged, "valid");
        watch(m, &WdxMessageGeneric::messageChanged, "message");
    }
    QStringList take()
    {
        QStringList out;
        out.swap(names);
        return out;
    }
    QStringList names;

private:
    void watch(WdxMessageGeneric &m, void (WdxMessageGeneric::*signal)(), const char *name)
    {
        connect(&m, signal, this, [this, name] { names << QString::fromLatin1(name); });
    }
};

QStringList seq(const char *names)
{
    return QString::fromLatin1(names).split(' ', Qt::SkipEmptyParts);
}

} // namespace

class MessageSender : public QObject
{
    Q_OBJECT
signals:
    void messageArrived(WdxMessageGeneric message);
};

class MessageReceiver : public QObject
{
    Q_OBJECT
public:
    WdxMessageGeneric received;
    std::atomic<bool> done{false};
public slots:
    void onMessageArrived(WdxMessageGeneric message)
    {
        received = message;
        done = true;
    }
};

class TstWdxMessage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As the application root does at start-up.
        qRegisterMetaType<WdxMessageGeneric>("WdxMessageGeneric");
    }

    void defaults()
    {
        const WdxMessageGeneric m;
        QCOMPARE(m.startOfFrame(), quint8(0));
        QCOMPARE(m.numberOfBytes(), quint16(2));
        QCOMPARE(m.commandType(), quint8(0));
        QCOMPARE(m.operationCode(), quint8(0));
        QVERIFY(m.data().isEmpty());
        QCOMPARE(m.checksum(), quint16(0));
        QVERIFY(!m.isValid());
        QVERIFY(!m.hasError());
        QVERIFY(!m.isSlaveMessage());
    }

    void buildFrames()
    {
        WdxMessageGeneric nullRead;
        nullRead.setStartOfFrame(0x55);
        QCOMPARE(WdxMessageGeneric::buildFrame(nullRead).toHex(), QStringLiteral("5500020000ffa9"));
        // Building does not store the checksum.
        QCOMPARE(nullRead.checksum(), quint16(0));

        WdxMessageGeneric deviceType;
        deviceType.setStartOfFrame(0x55);
        deviceType.setOperationCode(0x01);
        deviceType.setData(hex("00"));
        QCOMPARE(deviceType.numberOfBytes(), quint16(3));
        QCOMPARE(WdxMessageGeneric::buildFrame(deviceType).toHex(), QStringLiteral("550003000100ffa7"));

        // The stored NB is written as it is.
        deviceType.setNumberOfBytes(9);
        QCOMPARE(WdxMessageGeneric::buildFrame(deviceType).toHex(), QStringLiteral("550009000100ffa1"));
    }

    void frameChecksum()
    {
        QCOMPARE(WdxMessageGeneric::frameChecksum(QRawData()), quint16(0));
        QCOMPARE(WdxMessageGeneric::frameChecksum(hex("5500020000")), quint16(0xFFA9));
        QCOMPARE(WdxMessageGeneric::frameChecksum(hex("5500020000ffa9")), quint16(0xFE01));
        // The sum wraps at 16 bits: 300 bytes of 0xFF sum to 0x12AD4.
        QCOMPARE(WdxMessageGeneric::frameChecksum(QRawData(300, 0xFF)), quint16(0x10000 - 0x2AD4));
    }

    void parse_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<int>("consumed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("sof");
        QTest::addColumn<int>("nb");
        QTest::addColumn<int>("cmd");
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("checksum");

        QTest::newRow("ack, no data") << "55000280 00ff29" << 7 << true << 0x55 << 2 << 0x80 << 0 << "" << 0xFF29;
        QTest::newRow("0xAA start, data") << "aa000481 034005 fe89" << 9 << true << 0xAA << 4 << 0x81 << 3 << "4005" << 0xFE89;
        QTest::newRow("nack") << "550002c1 05 fee3" << 7 << true << 0x55 << 2 << 0xC1 << 5 << "" << 0xFEE3;
        QTest::newRow("checksum off by one") << "55000200 00ffaa" << 7 << false << 0x55 << 2 << 0 << 0 << "" << 0xFFAA;
        QTest::newRow("two trailing bytes") << "55000200 00ffa9 1234" << 7 << true << 0x55 << 2 << 0 << 0 << "" << 0xFFA9;
        QTest::newRow("second frame trailing") << "55000300 0100ffa7 55000200 00ffa9" << 8 << true << 0x55 << 3 << 0 << 1 << "00" << 0xFFA7;
        QTest::newRow("NB 0: checksum after CMD") << "55000080 ff2b" << 6 << true << 0x55 << 0 << 0x80 << 0 << "" << 0xFF2B;
        QTest::newRow("NB 1: checksum after CMD") << "55000180 ff2a 99" << 6 << true << 0x55 << 1 << 0x80 << 0 << "" << 0xFF2A;
    }

    void parse()
    {
        QFETCH(QString, bytes);
        QFETCH(int, consumed);
        QFETCH(bool, valid);

        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(QRawData(bytes), m), consumed);
        QCOMPARE(m.isValid(), valid);
        QTEST(int(m.startOfFrame()), "sof");
        QTEST(int(m.numberOfBytes()), "nb");
        QTEST(int(m.commandType()), "cmd");
        QTEST(int(m.operationCode()), "op");
        QTEST(m.data().toHex(), "data");
        QTEST(int(m.checksum()), "checksum");
        QCOMPARE(m.isSlaveMessage(), bool(m.commandType() & 0x80));
        QCOMPARE(m.hasError(), bool(m.commandType() & 0x40));
    }

    void parseNeedsMoreOrSkips_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<int>("result");

        QTest::newRow("noise") << "12550002" << 1;
        QTest::newRow("noise 0x56") << "56" << 1;
        QTest::newRow("four bytes") << "55000200" << -1;
        QTest::newRow("header, data missing") << "55000501 0340" << -1;
        QTest::newRow("checksum missing a byte") << "55000200 00ff" << -1;
        QTest::newRow("NB 0, five bytes") << "55000080 ff" << -1;
        QTest::newRow("NB 65535") << "aaffff01 02" << -1;
    }

    void parseNeedsMoreOrSkips()
    {
        QFETCH(QString, bytes);
        QFETCH(int, result);

        // A previous good parse must not leave isValid true.
        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(hex("55000280 00ff29"), m), 7);
        QVERIFY(m.isValid());
        QCOMPARE(WdxMessageGeneric::parse(QRawData(bytes), m), result);
        QVERIFY(!m.isValid());
    }

    void parseOfNothingLeavesTheMessageAlone()
    {
        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(hex("55000280 00ff29"), m), 7);
        SignalLog log(m);
        QCOMPARE(WdxMessageGeneric::parse(QRawData(), m), -1);
        QVERIFY(m.isValid());
        QCOMPARE(log.take(), QStringList());
    }

    void parseOfFourBytesLeavesTheHeaderAlone()
    {
        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(hex("aa000900"), m), -1);
        QCOMPARE(m.startOfFrame(), quint8(0));
        QCOMPARE(m.numberOfBytes(), quint16(2));
        // From five bytes on, SOF and NB are taken even though the frame is incomplete.
        QCOMPARE(WdxMessageGeneric::parse(hex("aa000900 01"), m), -1);
        QCOMPARE(m.startOfFrame(), quint8(0xAA));
        QCOMPARE(m.numberOfBytes(), quint16(9));
        QCOMPARE(m.commandType(), quint8(0));
    }

    void parseKeepsDataWhenNbBelowTwo()
    {
        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034005 fede"), m), 9);
        QCOMPARE(m.data().toHex(), QStringLiteral("4005"));
        QCOMPARE(WdxMessageGeneric::parse(hex("55000080 ff2b"), m), 6);
        QVERIFY(m.isValid());
        QCOMPARE(m.operationCode(), quint8(0));
        QCOMPARE(m.data().toHex(), QStringLiteral("4005"));
        QCOMPARE(m.numberOfBytes(), quint16(0));
    }

    void parseIntoReusedMessageSignalsOnlyChanges()
    {
        WdxMessageGeneric m;
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034005 fede"), m), 9);
        SignalLog log(m);
        // Same frame again: nothing changes.
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034005 fede"), m), 9);
        QCOMPARE(log.take(), QStringList());
        // Other value, same length: only the payload and the checksum.
        QCOMPARE(WdxMessageGeneric::parse(hex("55000481 034006 fedd"), m), 9);
        QCOMPARE(log.take(), seq("data message checksum message"));
        QCOMPARE(m.data().toHex(), QStringLiteral("4006"));
    }

    void setterSignalOrder()
    {
        WdxMessageGeneric m;
        SignalLog log(m);

        m.setData(hex("400102"));
        QCOMPARE(m.numberOfBytes(), quint16(5));
        QCOMPARE(log.take(), seq("nb message data message"));
        m.setData(hex("400102"));
        QCOMPARE(log.take(), QStringList());
        m.setData(hex("400103"));
        QCOMPARE(log.take(), seq("data message"));
        m.setData(QRawData());
        QCOMPARE(m.numberOfBytes(), quint16(2));
        QCOMPARE(log.take(), seq("nb message data message"));

        m.setCommandType(0x80);
        QCOMPARE(log.take(), seq("cmd error slave message"));
        m.setCommandType(0x80);
        QCOMPARE(log.take(), QStringList());

        m.setHasError(true);
        QCOMPARE(m.commandType(), quint8(0xC0));
        QCOMPARE(log.take(), seq("cmd error message"));
        m.setHasError(true);
        QCOMPARE(log.take(), QStringList());

        m.setIsSlaveMessage(false);
        QCOMPARE(m.commandType(), quint8(0x40));
        QCOMPARE(log.take(), seq("cmd slave message"));
        m.setIsSlaveMessage(false);
        m.setHasError(false);
        QCOMPARE(m.commandType(), quint8(0x00));
        QCOMPARE(log.take(), seq("cmd error message"));

        m.setStartOfFrame(0x55);
        m.setStartOfFrame(0x55);
        m.setNumberOfBytes(9);
        m.setNumberOfBytes(9);
        m.setOperationCode(3);
        m.setOperationCode(3);
        m.setChecksum(0xABCD);
        m.setChecksum(0xABCD);
        m.setIsValid(true);
        m.setIsValid(true);
        QCOMPARE(log.take(), seq("sof message nb message op message checksum message valid message"));
    }

    void assignmentGoesThroughSetters()
    {
        WdxMessageGeneric source;
        QVERIFY(WdxMessageGeneric::parse(hex("aa000481 034005 fe89"), source) > 0);
        QVERIFY(source.isValid());

        WdxMessageGeneric target;
        SignalLog log(target);
        target = source;
        QCOMPARE(log.take(), seq("sof message nb message cmd error slave message op message data message "
                                 "checksum message valid message"));
        QCOMPARE(WdxMessageGeneric::buildFrame(target).toHex(), QStringLiteral("aa000481034005fe89"));
        QCOMPARE(target.checksum(), quint16(0xFE89));
        QVERIFY(target.isValid());

        target = source;
        QCOMPARE(log.take(), QStringList());
    }

    void copyConstructorCopiesEveryField()
    {
        QObject owner;
        WdxMessageGeneric *source = new WdxMessageGeneric(&owner);
        QVERIFY(WdxMessageGeneric::parse(hex("550002c1 05 fee3"), *source) > 0);
        const WdxMessageGeneric copy(*source);
        QCOMPARE(copy.parent(), nullptr);
        QCOMPARE(copy.toString(), source->toString());
        QVERIFY(copy.isValid());
        QVERIFY(copy.hasError());
    }

    void isSameRequest()
    {
        auto write = [](const char *payload) {
            WdxMessageGeneric m;
            m.setStartOfFrame(0x55);
            m.setCommandType(0x01);
            m.setOperationCode(0x03);
            m.setData(hex(payload));
            return m;
        };
        QVERIFY(write("40 0a0b0c").isSameRequest(write("40 242424")));
        QVERIFY(!write("40 0a0b0c").isSameRequest(write("40 0a0b")));
        QVERIFY(!write("40 0a0b0c").isSameRequest(write("20 0a0b0c")));
        QVERIFY(write("").isSameRequest(write("")));

        WdxMessageGeneric read = write("40 0a0b0c");
        read.setCommandType(0x00);
        QVERIFY(!read.isSameRequest(write("40 0a0b0c")));
        WdxMessageGeneric otherOp = write("40 0a0b0c");
        otherOp.setOperationCode(0x04);
        QVERIFY(!otherOp.isSameRequest(write("40 0a0b0c")));
        WdxMessageGeneric otherSof = write("40 0a0b0c");
        otherSof.setStartOfFrame(0xAA);
        QVERIFY(!otherSof.isSameRequest(write("40 0a0b0c")));
    }

    void commandAndOperationNames()
    {
        QCOMPARE(WdxMessageGeneric::commandTypeName(0x00), QStringLiteral("Read"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0x01), QStringLiteral("Write"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0x80), QStringLiteral("Ack Read"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0x81), QStringLiteral("Ack Write"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0xC0), QStringLiteral("Nack Read"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0xC1), QStringLiteral("Nack Write"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0x40), QStringLiteral("Unknown"));
        QCOMPARE(WdxMessageGeneric::commandTypeName(0x02), QStringLiteral("Unknown"));

        const char *ops[] = {"Null Command", "Device Info", "Device Firmware", "Gain Settings",
                             "Delay Settings", "Patch Settings", "Eq Settings", "Compressor Settings",
                             "Speaker Mode Settings", "Security Settings"};
        for (int op = 0; op <= 0x09; ++op)
            QCOMPARE(WdxMessageGeneric::operationCodeName(quint8(op)), QString::fromLatin1(ops[op]));
        QCOMPARE(WdxMessageGeneric::operationCodeName(0xFD), QStringLiteral("Device Specific Functions"));
        QCOMPARE(WdxMessageGeneric::operationCodeName(0xFE), QStringLiteral("Firmware Update"));
        QCOMPARE(WdxMessageGeneric::operationCodeName(0x0A), QStringLiteral("Unknown"));
        QCOMPARE(WdxMessageGeneric::operationCodeName(0xFF), QStringLiteral("Unknown"));
    }

    void subCodeNames_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("sub");
        QTest::addColumn<QString>("name");

        QTest::newRow("output name") << 0x01 << 0x42 << "Output #2 Name";
        QTest::newRow("input name 15") << 0x01 << 0x2F << "Input #15 Name";
        QTest::newRow("preproc name") << 0x01 << 0x30 << "Preproc #0 Name";
        QTest::newRow("mode name") << 0x01 << 0x53 << "Mode #3 Name";
        QTest::newRow("device type") << 0x01 << 0x00 << "Device Type";
        QTest::newRow("dsp version") << 0x01 << 0x0A << "Dsp Version";
        QTest::newRow("preset version has none") << 0x01 << 0x0B << "";
        QTest::newRow("device info 0x60") << 0x01 << 0x60 << "";
        QTest::newRow("compressor meters") << 0x01 << 0x88 << "In/Out Compressor In/Out Meters";
        QTest::newRow("device info 0x89") << 0x01 << 0x89 << "";
        QTest::newRow("dsp block") << 0x02 << 0x03 << "Dsp Block";
        QTest::newRow("firmware 0x04") << 0x02 << 0x04 << "";
        QTest::newRow("gains info") << 0x03 << 0x00 << "Info";
        QTest::newRow("all gains") << 0x03 << 0xFF << "All Gains";
        QTest::newRow("front panel gains") << 0x03 << 0x80 << "";
        QTest::newRow("input delays") << 0x04 << 0x20 << "Input Delays";
        QTest::newRow("output delays") << 0x04 << 0x40 << "Output Delays";
        QTest::newRow("single output delay") << 0x04 << 0x41 << "";
        QTest::newRow("preproc patch") << 0x05 << 0x31 << "Preproc #1 Patch";
        QTest::newRow("output patch") << 0x05 << 0x42 << "Output #2 Patch";
        QTest::newRow("input patch") << 0x05 << 0x20 << "";
        QTest::newRow("preproc eq") << 0x06 << 0x31 << "Preproc #1 Eq Settings";
        QTest::newRow("output eq") << 0x06 << 0x40 << "";
        QTest::newRow("compressor") << 0x07 << 0x42 << "Output #2 Compressor Settings";
        QTest::newRow("mode settings") << 0x08 << 0x01 << "Mode Settings";
        QTest::newRow("security") << 0x09 << 0x00 << "";
        QTest::newRow("digital mux") << 0xFD << 0x00 << "Digital Mux Status";
        QTest::newRow("network delay") << 0xFD << 0x01 << "Network Delay Compensation";
        QTest::newRow("firmware update") << 0xFE << 0x00 << "";
    }

    void subCodeNames()
    {
        QFETCH(int, op);
        QFETCH(int, sub);
        QFETCH(QString, name);
        QCOMPARE(WdxMessageGeneric::subCodeName(quint8(op), quint8(sub)), name);
    }

    void toStringDump()
    {
        WdxMessageGeneric m;
        QVERIFY(WdxMessageGeneric::parse(hex("aa000481 034005 fe89"), m) > 0);
        QCOMPARE(m.toString(), QStringLiteral("SOF: [aa]\nNB: [0004]\nCMD: [81]\nOP: [03]\nDATA: [4005]\nCHECKSUM: [fe89]\n"));
        QCOMPARE(WdxMessageGeneric().toString(), QStringLiteral("SOF: [00]\nNB: [0002]\nCMD: [00]\nOP: [00]\nDATA: []\nCHECKSUM: [0000]\n"));
    }

    void registeredUnderItsOwnName()
    {
        QCOMPARE(QByteArray(QMetaType::typeName(qMetaTypeId<WdxMessageGeneric>())), QByteArray("WdxMessageGeneric"));
        QCOMPARE(QMetaType::type("WdxMessageGeneric"), qMetaTypeId<WdxMessageGeneric>());
    }

    void travelsByValueInQueuedSignals()
    {
        // Across threads, as the monitor hands messages to the request processor.
        QThread receiverThread;
        MessageSender sender;
        MessageReceiver receiver;
        receiver.moveToThread(&receiverThread);
        QVERIFY(connect(&sender, SIGNAL(messageArrived(WdxMessageGeneric)), &receiver,
                        SLOT(onMessageArrived(WdxMessageGeneric)), Qt::QueuedConnection));

        WdxMessageGeneric m;
        QVERIFY(WdxMessageGeneric::parse(hex("aa000481 034005 fe89"), m) > 0);
        emit sender.messageArrived(m);
        m.setData(hex("ff"));
        QVERIFY(!receiver.done);
        receiverThread.start();
        QTRY_VERIFY_WITH_TIMEOUT(receiver.done, 10000);
        receiverThread.quit();
        QVERIFY(receiverThread.wait(10000));
        QCOMPARE(receiver.received.data().toHex(), QStringLiteral("4005"));
        QCOMPARE(receiver.received.checksum(), quint16(0xFE89));
        QVERIFY(receiver.received.isValid());
    }
};

VELA_TEST_MAIN_CORE(TstWdxMessage)
#include "tst_wdxmessage.moc"
