// The device link against the virtual Wdx: listener, CP2110 driver, and the connection monitor
// on a thread of its own as the request processor runs it.

#include "LinkRig.h"

#include "link/UsbHidUart.h"
#include "link/UsbHidUartListener_Desktop.h"
#include "protocol/WdxMonitor.h"

#include <QSignalSpy>

#include <algorithm>

namespace {

const QString kDriver = QStringLiteral("UsbHidUart");
const QString kMonitor = QStringLiteral("WdxMonitor");

std::vector<UsbEvent> usbEvents(UsbKind kind)
{
    std::vector<UsbEvent> out;
    for (const UsbEvent &e : usbLog())
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

// "vendor:product" of every id the bridge was looked for with, in order.
QStringList idsLookedFor()
{
    QStringList out;
    for (const UsbEvent &e : usbEvents(UsbKind::Enumerate))
        out << QStringLiteral("%1:%2").arg(e.vendorId, 4, 16, QLatin1Char('0')).arg(e.productId, 4, 16, QLatin1Char('0'));
    return out;
}

// The monitor on its own thread, as the processor owns it; its signals counted, frames as "cmd op data".
class MonitorRig
{
public:
    explicit MonitorRig(bool extendedIds = false) : monitor(new WdxMonitor(extendedIds))
    {
        monitor->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, monitor, &WdxMonitor::initialize);
        QObject::connect(monitor, &WdxMonitor::messageArrived, &receiver, [this](WdxMessageGeneric m) {
            messages << QString::fromLatin1(raw({m.commandType(), m.operationCode()}).toByteArray().toHex(' ')) + ' '
                    + m.data().toHex();
        });
        QObject::connect(monitor, &WdxMonitor::wdxConnected, &receiver, [this] { ++connected; });
        QObject::connect(monitor, &WdxMonitor::wdxDisconnected, &receiver, [this] { ++disconnected; });
        QObject::connect(monitor, &WdxMonitor::error, &receiver, [this] { ++errors; });
        thread.start();
    }
    ~MonitorRig()
    {
        unplug();
        monitor->deleteLater();
        thread.quit();
        thread.wait();
    }
    bool initialized() { return QTest::qWaitFor([this] { return monitor->bridge() != nullptr; }, 10000); }
    // Connected on an instant line, logs cleared.
    bool connect()
    {
        setTiming(Timing::instant());
        plug();
        const bool ok = initialized() && (monitor->enable(), QTest::qWaitFor([&] { return connected == 1; }, 10000));
        clearLogs();
        logs().clear();
        return ok;
    }

    QThread thread;
    WdxMonitor *monitor;
    QObject receiver;
    QStringList messages;
    int connected = 0, disconnected = 0, errors = 0;
};

struct WriteCase
{
    int length, timeout, shortWrites, result, errors;
};

} // namespace

Q_DECLARE_METATYPE(WriteCase)

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { logs().install(); }
    void init()
    {
        reset();
        logs().clear();
    }
    void cleanup() { reset(); }

    void listenerQueuesReportsAndStops()
    {
        UsbHidUartListener_Desktop listener(nullptr);
        QSignalSpy finished(&listener, &UsbHidUartListener_Desktop::finished);
        logs().clear();
        QCOMPARE(listener.dequeueReport().byteLen(), 0);
        listener.enqueueReport(QByteArray::fromHex("050102030405") + QByteArray(58, '\0'));
        listener.enqueueReport(QByteArray::fromHex("03060708") + QByteArray(60, '\0'));
        QCOMPARE(listener.bytesAvailable(), 8);
        QCOMPARE(listener.read().toHex(), QStringLiteral("0102030405060708"));
        QVERIFY(listener.bytesAvailable() == 0 && listener.queuedReports() == 0);
        listener.setIsAlive(true);
        listener.stop();
        listener.stop();
        listener.listen();   // stopped before its loop ran: it ends at once
        QCOMPARE(finished.count(), 1);
        const QString l = "UsbHidUartListener_Desktop ";
        QCOMPARE(logs().lines(), (QStringList{"Info " + l + "dequeueReport] <-- [050102030405" + QString(116, '0') + "]",
                                              "Info " + l + "dequeueReport] <-- [03060708" + QString(120, '0') + "]",
                                              "Debug " + l + "read] <-- 0102030405060708", "Info " + l + "setIsAlive] Enabling",
                                              "Info " + l + "setIsAlive] Stopping", "Info " + l + "listen] Started",
                                              "Info " + l + "listen] Exiting from listening loop", "Info " + l + "listen] Exited"}));
    }

    // Reports of at most 63 bytes; `result` payload bytes counted as sent.
    void driverWritesReportsOfAtMost63Bytes_data()
    {
        QTest::addColumn<WriteCase>("c");
        QTest::addColumn<QList<int>>("reportIds");
        QTest::newRow("empty") << WriteCase{0, 250, 0, 0, 0} << QList<int>{};
        QTest::newRow("63") << WriteCase{63, 250, 0, 63, 0} << QList<int>{63};
        QTest::newRow("64") << WriteCase{64, 250, 0, 64, 0} << QList<int>{63, 1};
        QTest::newRow("130") << WriteCase{130, 250, 0, 130, 0} << QList<int>{63, 63, 4};
        // Out of time after the first report: fewer bytes, and no error.
        QTest::newRow("130, no time") << WriteCase{130, 0, 0, 63, 0} << QList<int>{63};
        // The first report goes out short: nothing counts as sent, the rest is not tried.
        QTest::newRow("short write") << WriteCase{100, 250, 1, 0, 1} << QList<int>{63};
    }
    void driverWritesReportsOfAtMost63Bytes()
    {
        QFETCH(WriteCase, c);
        QFETCH(QList<int>, reportIds);
        plug();
        UsbHidUart driver;
        QSignalSpy errors(&driver, &UsbHidUart::error);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        setFaults([&] { Faults f; f.shortWrites = c.shortWrites; return f; }());
        clearLogs();
        const Bytes payload = sequence(c.length);
        QCOMPARE(driver.write(raw(payload), c.timeout), c.result);
        const std::vector<UsbEvent> outs = usbEvents(UsbKind::Out);
        QCOMPARE(int(outs.size()), reportIds.size());
        for (std::size_t i = 0, offset = 0; i < outs.size(); offset += outs[i++].bytes[0]) {
            const Bytes &r = outs[i].bytes;
            QCOMPARE(int(r.size()), 64);
            QCOMPARE(int(r[0]), reportIds.at(int(i)));
            QVERIFY(std::equal(r.begin() + 1, r.begin() + 1 + r[0], payload.begin() + long(offset)));
            QVERIFY(std::all_of(r.begin() + 1 + r[0], r.end(), [](std::uint8_t b) { return b == 0; }));
            QCOMPARE(logs().count("Trace", kDriver, "write", "--> [" + hexOf(Bytes(r.begin(), r.begin() + 1 + r[0])) + "]"), 1);
        }
        QCOMPARE(logs().count("Trace", kDriver, "write", "Write done"), 1 - c.errors);
        QCOMPARE(logs().count("Error", kDriver, "write", "Error writing, 32 bytes written on 64 bytes to write"), c.errors);
        QCOMPARE(errors.count(), c.errors);
        unplug();   // ends the listener's one-second read at once
    }

    void driverOpensOnceAndReportsAVanishedBridgeOnce()
    {
        plug();
        UsbHidUart driver;
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QVERIFY(driver.isOpen() && driver.listener() && status().uartEnabled);
        QCOMPARE(logs().containing("4101"), (QStringList{"--> 4101", "<-- 4101"}));
        QCOMPARE(logs().count("Trace", kDriver, "setUartEnable", "Done"), 1);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QCOMPARE(logs().count("Warning", kDriver, "initialize", "Device already initialized"), 1);
        QCOMPARE(int(usbEvents(UsbKind::Open).size()), 1);
        driver.close();
        QVERIFY(!driver.isOpen() && !driver.listener() && status().openHandles == 0);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        int disconnects = 0, handlesAtSignal = -1;
        connect(&driver, &UsbHidUart::disconnected, this, [&] { ++disconnects, handlesAtSignal = status().openHandles; });
        logs().clear();
        QVERIFY(driver.reset());   // the bridge drops off the bus
        QTRY_COMPARE_WITH_TIMEOUT(disconnects, 1, 10000);
        QVERIFY(handlesAtSignal == 0 && !driver.listener());
        const QStringList all = logs().lines();
        const int exiting = all.indexOf("Info UsbHidUartListener_Desktop listen] Exiting from listening loop");
        const int failed = all.indexOf("Error UsbHidUartListener_Desktop listen] Device disconnected, returned -1");
        QVERIFY(all.indexOf("Trace UsbHidUart reset] --> 4000") < failed && failed >= 0 && failed < exiting);
        QVERIFY(all.indexOf("Info UsbHidUartListener_Desktop listen] Exited", exiting) > exiting);
        QVERIFY(all.indexOf("Debug UsbHidUart close] Device closed") > exiting);
        // A close after the listener ended leaves no late disconnected() behind.
        QTRY_VERIFY(status().enumerated);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        unplug();
        driver.close();
        QTest::qWait(100);
        QCOMPARE(disconnects, 1);
    }

    void driverFailedInitializeLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("errors");
        QTest::addColumn<QString>("line");
        QTest::newRow("open fails") << 0 << 0 << "error opening device";
        QTest::newRow("uart enable fails") << 1 << 1 << "Error enabling uart";
        QTest::newRow("uart read-back differs") << 2 << 0 << "Error enabling uart";
        QTest::newRow("uart state unreadable") << 3 << 1 << "Error enabling uart";
    }
    void driverFailedInitializeLeavesNothingBehind()
    {
        QFETCH(int, fault);
        QFETCH(int, errors);
        QFETCH(QString, line);
        plug();
        Faults f;
        f.openFails = fault == 0, f.uartEnableFails = fault == 1, f.uartEnableIgnored = fault == 2, f.uartStateFails = fault == 3;
        setFaults(f);
        UsbHidUart driver;
        QSignalSpy errorSpy(&driver, &UsbHidUart::error);
        QVERIFY(!driver.initialize(kVendorId, kProductId));
        QVERIFY(!driver.isOpen() && !driver.listener() && status().openHandles == 0);
        QCOMPARE(errorSpy.count(), errors);
        QCOMPARE(logs().count("Error", kDriver, "initialize", line), 1);
        QCOMPARE(logs().count("Error", kDriver, "setUartEnable", "Error setting uart enable"), int(fault == 1));
        QCOMPARE(logs().count("Trace", kDriver, "setUartEnable", "Done"), 0);
        QCOMPARE(logs().count("Debug", kDriver, "initialize", "Starting listener"), 0);
    }

    void driverWithoutDevice()
    {
        UsbHidUart driver;
        QSignalSpy errors(&driver, &UsbHidUart::error);
        driver.close();
        QCOMPARE(logs().count("Trace", kDriver, "close", "Device already closed"), 1);
        QRawData untouched(QStringLiteral("abcd"));
        QVERIFY(driver.write(raw({1, 2, 3}), 250) == -1 && driver.read(untouched) == 0 && untouched.toHex() == "abcd");
        QVERIFY(errors.isEmpty() && !driver.reset() && !driver.setUartEnable(true) && !driver.getUartEnable());
        QCOMPARE(errors.count(), 3);
    }

    // One id per 250 ms tick, wrapping from the last to the first.
    void monitorTriesOneIdPerTick_data()
    {
        QTest::addColumn<bool>("extended");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("plain") << false << QStringList{"2b42:0045", "2b42:0046", "2b42:0043", "2b42:0044", "2b42:0045"};
        QTest::newRow("extended") << true << QStringList{"10c4:eab0", "2b42:0064", "2b42:0050", "2b42:0045",
                                                          "2b42:0046", "2b42:0043", "2b42:0044", "10c4:eab0"};
    }
    void monitorTriesOneIdPerTick()
    {
        QFETCH(bool, extended);
        QFETCH(QStringList, ids);
        MonitorRig rig(extended);
        QVERIFY(rig.initialized());
        rig.monitor->enable();   // from another thread, as the processor may call it
        QTRY_VERIFY_WITH_TIMEOUT(idsLookedFor().size() >= ids.size(), 10000);
        QCOMPARE(idsLookedFor().mid(0, ids.size()), ids);
        const std::vector<UsbEvent> tried = usbEvents(UsbKind::Enumerate);
        for (std::size_t i = 1; i < tried.size(); ++i)   // a lower bound: a loaded machine may be late
            QVERIFY(tried[i].time - tried[i - 1].time >= std::chrono::milliseconds(200));
        QMetaObject::invokeMethod(rig.monitor, "disable", Qt::BlockingQueuedConnection);
        const int afterDisable = idsLookedFor().size();
        QTest::qWait(600);
        QVERIFY(idsLookedFor().size() == afterDisable && usbEvents(UsbKind::Open).empty());
    }

    void monitorConnectsAndFollowsTheBridge()
    {
        plug(kVendorId, 0x0043);
        MonitorRig rig;
        QVERIFY(rig.initialized());
        rig.monitor->enable();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connected, 1, 10000);
        QCOMPARE(idsLookedFor(), (QStringList{"2b42:0045", "2b42:0046", "2b42:0043"}));
        QCOMPARE(logs().containing("urning"), (QStringList{"Returning 0", "Returning 0", "Returning 1"}));
        QCOMPARE(logs().count("Info", kDriver, "checkIsConnected", "Looking for vid[2b42],pid[0046]"), 1);
        QCOMPARE(logs().count("Debug", kMonitor, "checkIsConnected", "Device connected, initialize id"), 1);
        QCOMPARE(logs().count("Debug", kMonitor, "setIsConnected", "Wdx connected"), 1);
        QTest::qWait(300);   // while connected the connection timer is stopped and a check does nothing
        QMetaObject::invokeMethod(rig.monitor, "checkIsConnected", Qt::BlockingQueuedConnection);
        QCOMPARE(idsLookedFor().size(), 3);
        // The bridge vanishes: the driver closes and the monitor says so, once, and looks again.
        unplug();
        QTRY_COMPARE_WITH_TIMEOUT(rig.disconnected, 1, 10000);
        QVERIFY(!rig.monitor->isConnected() && status().openHandles == 0);
        QCOMPARE(logs().count("Debug", kMonitor, "setIsConnected", "Wdx disconnected"), 1);
        plug(kVendorId, 0x0046);
        QTRY_COMPARE_WITH_TIMEOUT(rig.connected, 2, 10000);
    }

    void monitorWriteResults_data()
    {
        QTest::addColumn<WriteCase>("c");
        QTest::addColumn<bool>("connected");
        using M = WdxMonitor;
        QTest::newRow("not open") << WriteCase{7, 250, 0, M::enErrCode_NotConnected, 0} << false;
        QTest::newRow("whole") << WriteCase{130, 250, 0, M::enErrCode_Ok, 0} << true;
        QTest::newRow("short write") << WriteCase{7, 250, 1, M::enErrCode_CommunicationError, 1} << true;
        // No time left after the first report: the rest is not sent, and nothing failed.
        QTest::newRow("63, no time") << WriteCase{63, 0, 0, M::enErrCode_Ok, 0} << true;
        QTest::newRow("64, no time") << WriteCase{64, 0, 0, M::enErrCode_CommunicationError, 0} << true;
    }
    void monitorWriteResults()
    {
        QFETCH(WriteCase, c);
        QFETCH(bool, connected);
        QCOMPARE(WdxMonitor().write(raw(sequence(7))), WdxMonitor::enErrCode_NotConnected);   // no driver yet
        MonitorRig rig;
        QVERIFY(connected ? rig.connect() : rig.initialized());
        setFaults([&] { Faults f; f.shortWrites = c.shortWrites; return f; }());
        rig.monitor->setWriteTimeout(c.timeout);
        QCOMPARE(int(rig.monitor->write(raw(sequence(c.length, 0x80)))), c.result);
        QCOMPARE(logs().count("Error", kMonitor, "write", "Error writing to usb hid device"),
                 int(c.result == WdxMonitor::enErrCode_CommunicationError));
        QTest::qWait(50);
        QTRY_COMPARE(rig.errors, c.errors);
    }

    // Chunks delivered `gap` ms apart; -1: once the parse timer cleared the buffer, -2: after a bridge error.
    void parserCutsFrames_data()
    {
        const QByteArray a = QByteArray::fromHex("550006800100574458fe31"), b = QByteArray::fromHex("550003810340fee4");
        const QByteArray f = QByteArray::fromHex("550006800340242424fe76"), head = f.left(5), tail = f.mid(5);
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("skipped");
        QTest::newRow("two frames in one read") << QList<QByteArray>{a + b} << 0 << QStringList{"80 01 00574458", "81 03 40"} << 0;
        QTest::newRow("split 10 ms") << QList<QByteArray>{head, tail} << 10 << QStringList{"80 03 40242424"} << 0;
        QTest::newRow("split too long") << QList<QByteArray>{head, tail, f} << -1 << QStringList{"80 03 40242424"} << 6;
        QTest::newRow("bridge error between") << QList<QByteArray>{head, tail, f} << -2 << QStringList{"80 03 40242424"} << 6;
        QTest::newRow("noise first") << QList<QByteArray>{QByteArray::fromHex("017eff") + b} << 0 << QStringList{"81 03 40"} << 3;
        QTest::newRow("bad checksum first") << QList<QByteArray>{QByteArray::fromHex("55000480010501ff21") + a} << 0
                                            << QStringList{"80 01 00574458"} << 0;
    }
    void parserCutsFrames()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, gap);
        QFETCH(QStringList, messages);
        QFETCH(int, skipped);
        MonitorRig rig;
        QVERIFY(rig.connect());
        for (int i = 0; i < chunks.size(); ++i) {
            if (i > 0 && gap >= 0)
                QTest::qWait(gap);
            if (i == 1 && gap == -1)
                QTRY_COMPARE_WITH_TIMEOUT(logs().count("Warning", kMonitor, "onTimeoutStateEntered",
                                                       "Timeout on parsing, clear input buffer [5500068003]"), 1, 10000);
            if (i == 1 && gap == -2) {   // a short write makes the driver report an error
                QVERIFY(QTest::qWaitFor([] { return logs().count("Trace", kMonitor, "onParsingStateEntered", "buffer has 5 bytes"); }, 10000));
                setFaults([] { Faults f; f.shortWrites = 1; return f; }());
                QCOMPARE(rig.monitor->write(raw(sequence(7))), WdxMonitor::enErrCode_CommunicationError);
                QTRY_COMPARE_WITH_TIMEOUT(logs().count("Trace", kMonitor, "onErrorStateEntered", "Error"), 1, 10000);
            }
            if (i == 2)   // the tail skipped byte by byte first
                QTRY_COMPARE_WITH_TIMEOUT(logs().count("Trace", kMonitor, "onParsingStateEntered", "1 bytes parsed"), skipped, 10000);
            injectFromDevice(Bytes(chunks[i].begin(), chunks[i].end()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.messages, messages, 10000);
        QTest::qWait(150);
        QCOMPARE(rig.messages, messages);
        QCOMPARE(logs().count("Trace", kMonitor, "onParsingStateEntered", "1 bytes parsed"), skipped);
        QVERIFY(logs().containing("Timeout on parsing").size() == int(gap == -1) || gap == -2);   // -2: a race with the error
        QCOMPARE(int(usbEvents(UsbKind::In).size()), chunks.size());   // one read each
    }
};

VELA_TEST_MAIN_CORE(TestLink)
#include "tst_link.moc"
