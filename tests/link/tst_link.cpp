// The device link against the virtual Wdx: the listener's report queue, the CP2110 driver's
// reports and life cycle, and the connection monitor's id polling and frame parser running on a
// thread of its own, as the request processor runs it.

#include "VelaTestMain.h"
#include "VirtualWdx.h"

#include "link/UsbHidUart.h"
#include "link/UsbHidUartListener_Desktop.h"
#include "logger/QLoggerManager.h"
#include "protocol/UsbHidId.h"
#include "protocol/WdxMonitor.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace VirtualWdx;

namespace {

// Collects the logger's console lines from every thread; other messages go to Qt Test.
class LogCapture
{
public:
    struct Line
    {
        QString level, module, function, message;
    };

    static LogCapture &instance()
    {
        static LogCapture capture;
        return capture;
    }

    void install()
    {
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    void uninstall() { qInstallMessageHandler(m_previous); }

    void clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lines.clear();
    }

    std::vector<Line> lines() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }

    int count(const QString &level, const QString &module, const QString &function, const QString &message) const
    {
        int n = 0;
        for (const Line &l : lines())
            n += l.level == level && l.module == module && l.function == function && l.message == message;
        return n;
    }

    int countContaining(const QString &module, const QString &text) const
    {
        int n = 0;
        for (const Line &l : lines())
            n += l.module == module && l.message.contains(text);
        return n;
    }

    // Messages seen so far, counted as they come in: cheap enough to spin on.
    int messageCount() const { return m_messageCount.load(); }

    // Position of the first matching line at or after `from`, or -1.
    int indexOf(const QString &module, const QString &message, int from = 0) const
    {
        const std::vector<Line> all = lines();
        for (int i = from; i < int(all.size()); ++i)
            if (all[i].module == module && all[i].message == message)
                return i;
        return -1;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        static const QRegularExpression format(
            QStringLiteral("^\\S+ \\S+ \\[(\\w+)\\]\\[[0-9a-f]{8}\\]\\[([^\\]]*)\\]\\[([^\\]]*)\\] (.*)$"),
            QRegularExpression::DotMatchesEverythingOption);
        instance().m_messageCount.fetch_add(1);
        const QRegularExpressionMatch m = format.match(text);
        if (type == QtDebugMsg && m.hasMatch()) {
            LogCapture &self = instance();
            std::lock_guard<std::mutex> lock(self.m_lock);
            self.m_lines.push_back({m.captured(1), m.captured(2), m.captured(3), m.captured(4)});
            return;
        }
        if (instance().m_previous)
            instance().m_previous(type, context, text);
    }

    mutable std::mutex m_lock;
    std::vector<Line> m_lines;
    std::atomic<int> m_messageCount{0};
    QtMessageHandler m_previous = nullptr;
};

LogCapture &logs()
{
    return LogCapture::instance();
}

QByteArray toQt(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

Bytes toBytes(const QByteArray &bytes)
{
    return Bytes(bytes.begin(), bytes.end());
}

QRawData raw(const Bytes &bytes)
{
    return QRawData(toQt(bytes));
}

QString hexOf(const Bytes &bytes)
{
    return QString::fromLatin1(toQt(bytes).toHex());
}

Bytes sequence(int n, int first = 1)
{
    Bytes b;
    for (int i = 0; i < n; ++i)
        b.push_back(std::uint8_t(first + i));
    return b;
}

std::vector<UsbEvent> usbEvents(UsbKind kind)
{
    std::vector<UsbEvent> out;
    for (const UsbEvent &e : usbLog())
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Lets queued work on other threads and timers run for a while, with the main loop spinning.
void settle(int ms)
{
    QTest::qWait(ms);
}

// A 64-byte input report as the bridge sends it: count byte, payload, zero filler.
QByteArray inputReport(quint8 countByte, const Bytes &payload)
{
    QByteArray r(UsbHidUartListener_Desktop::kReportSize, '\0');
    r[0] = char(countByte);
    for (int i = 0; i < int(payload.size()) && i + 1 < r.size(); ++i)
        r[i + 1] = char(payload[std::size_t(i)]);
    return r;
}

const QString kListener = QStringLiteral("UsbHidUartListener_Desktop");
const QString kDriver = QStringLiteral("UsbHidUart");
const QString kMonitor = QStringLiteral("WdxMonitor");

// Receives the monitor's signals on the test's thread, as the request processor would on its own.
class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList messages;   // "cmd op data" per delivered frame, in arrival order
    int connected = 0;
    int disconnected = 0;
    int errors = 0;

public slots:
    void onMessage(WdxMessageGeneric m)
    {
        messages << QStringLiteral("%1 %2 %3")
                        .arg(m.commandType(), 2, 16, QLatin1Char('0'))
                        .arg(m.operationCode(), 2, 16, QLatin1Char('0'))
                        .arg(m.data().toHex());
        QVERIFY(m.isValid());
    }
    void onConnected() { ++connected; }
    void onDisconnected() { ++disconnected; }
    void onError() { ++errors; }
};

QString messageText(std::uint8_t cmd, std::uint8_t op, const Bytes &data)
{
    return QStringLiteral("%1 %2 %3")
        .arg(cmd, 2, 16, QLatin1Char('0'))
        .arg(op, 2, 16, QLatin1Char('0'))
        .arg(hexOf(data));
}

// The monitor on its own thread, the way the request processor owns it.
class MonitorRig
{
public:
    explicit MonitorRig(bool extendedIds = false)
    {
        monitor = new WdxMonitor(extendedIds);
        monitor->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, monitor, &WdxMonitor::initialize);
        QObject::connect(monitor, &WdxMonitor::messageArrived, &receiver, &Receiver::onMessage, Qt::QueuedConnection);
        QObject::connect(monitor, &WdxMonitor::wdxConnected, &receiver, &Receiver::onConnected, Qt::QueuedConnection);
        QObject::connect(monitor, &WdxMonitor::wdxDisconnected, &receiver, &Receiver::onDisconnected, Qt::QueuedConnection);
        QObject::connect(monitor, &WdxMonitor::error, &receiver, &Receiver::onError, Qt::QueuedConnection);
        thread.start();
    }
    ~MonitorRig()
    {
        monitor->deleteLater();
        thread.quit();
        thread.wait();
    }

    bool initialized() const { return monitor->bridge() != nullptr; }

    // Runs a slot on the monitor's thread and waits for it.
    void call(const char *slot)
    {
        QMetaObject::invokeMethod(monitor, slot, Qt::BlockingQueuedConnection);
    }

    QThread thread;
    WdxMonitor *monitor = nullptr;
    Receiver receiver;
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        logs().install();
        reset();
    }
    void cleanupTestCase()
    {
        reset();
        logs().uninstall();
    }
    void init()
    {
        reset();
        logs().clear();
    }
    void cleanup() { reset(); }

    // --- Listener: the report queue ------------------------------------------------------

    void listenerQueuesWholeReportsAndCountsTheirBytes()
    {
        UsbHidUartListener_Desktop listener(nullptr);
        QCOMPARE(listener.dequeueReport().byteLen(), 0);
        QCOMPARE(listener.bytesAvailable(), 0);

        listener.enqueueReport(inputReport(5, {1, 2, 3, 4, 5}));
        listener.enqueueReport(inputReport(3, {6, 7, 8}));
        QCOMPARE(listener.bytesAvailable(), 8);
        const QRawData all = listener.read();
        QCOMPARE(all.toHex(), QStringLiteral("0102030405060708"));
        QCOMPARE(listener.bytesAvailable(), 0);
        QCOMPARE(listener.queuedReports(), 0);

        // Every report is logged whole; the collected bytes once.
        QCOMPARE(logs().count("Info", kListener, "dequeueReport", "<-- [" + QString::fromLatin1(inputReport(5, {1, 2, 3, 4, 5}).toHex()) + "]"), 1);
        QCOMPARE(logs().count("Debug", kListener, "read", "<-- 0102030405060708"), 1);

        // Nothing queued: nothing read, count untouched.
        QCOMPARE(listener.read().byteLen(), 0);
        QCOMPARE(listener.dequeueReport().byteLen(), 0);
        QCOMPARE(listener.bytesAvailable(), 0);

        // A report without bytes counts nothing; a short one is kept as a whole 64-byte one.
        listener.enqueueReport(inputReport(0, {}));
        QCOMPARE(listener.bytesAvailable(), 0);
        QCOMPARE(listener.dequeueReport().byteLen(), 0);
        listener.enqueueReport(QByteArray::fromHex("02c1c2"));
        QCOMPARE(listener.read().toHex(), QStringLiteral("c1c2"));
        QCOMPARE(logs().count("Info", kListener, "dequeueReport", "<-- [02c1c2" + QString(122, '0') + "]"), 1);
    }

    // A count byte above 63 claims more than a 64-byte report holds: it counts as 63.
    void listenerCapsCountByte_data()
    {
        QTest::addColumn<int>("countByte");
        QTest::newRow("63") << 63;
        QTest::newRow("64") << 64;
        QTest::newRow("claims 200") << 200;
        QTest::newRow("255") << 255;
    }
    void listenerCapsCountByte()
    {
        QFETCH(int, countByte);
        UsbHidUartListener_Desktop listener(nullptr);
        const Bytes payload = sequence(63, 0x10);
        listener.enqueueReport(inputReport(quint8(countByte), payload));
        QCOMPARE(listener.bytesAvailable(), 63);

        const QRawData first = listener.dequeueReport();
        QCOMPARE(first.byteLen(), 63);
        QCOMPARE(toBytes(first.toByteArray()), payload);
        QCOMPARE(listener.bytesAvailable(), 0);

        // The count stays right for what follows: a bad report next to good ones.
        listener.enqueueReport(inputReport(2, {0xA1, 0xA2}));
        listener.enqueueReport(inputReport(quint8(countByte), payload));
        listener.enqueueReport(inputReport(1, {0xB1}));
        QCOMPARE(listener.bytesAvailable(), 2 + 63 + 1);
        const QRawData all = listener.read();
        QCOMPARE(all.byteLen(), 66);
        QCOMPARE(all.at(0), quint8(0xA1));
        QCOMPARE(all.at(2), quint8(0x10));
        QCOMPARE(all.at(64), quint8(0x4E));
        QCOMPARE(all.at(65), quint8(0xB1));
        QCOMPARE(listener.bytesAvailable(), 0);
        QCOMPARE(listener.queuedReports(), 0);
    }

    void listenerStopIsLoggedOnceAndWinsOverALateStart()
    {
        UsbHidUartListener_Desktop listener(nullptr);
        listener.setIsAlive(true);
        QVERIFY(listener.isAlive());
        listener.stop();
        listener.stop();
        QVERIFY(!listener.isAlive());
        QCOMPARE(logs().count("Info", kListener, "setIsAlive", "Enabling"), 1);
        QCOMPARE(logs().count("Info", kListener, "setIsAlive", "Stopping"), 1);

        // Stopped before its loop ever ran (the driver closing right after opening): the loop
        // must end at once instead of reading forever.
        UsbHidUartListener_Desktop early(nullptr);
        QSignalSpy finished(&early, &UsbHidUartListener_Desktop::finished);
        early.stop();
        early.listen();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!early.isAlive());
        QCOMPARE(logs().count("Info", kListener, "listen", "Exited"), 1);
        QCOMPARE(logs().count("Trace", kListener, "listen", "Listening"), 0);
    }

    // The driver closing while its listener's loop is just starting: a stop that is lost there
    // keeps the loop reading until the bridge fails, and close() waits for it forever. Two more
    // threads read the byte count meanwhile, as the driver does, so that the listener's lock
    // changes hands between the loop's first steps.
    void listenerStopAtStartIsNeverLost()
    {
        setTiming(Timing::instant());
        plug();
        hid_device *device = hid_open(kVendorId, kProductId, nullptr);
        QVERIFY(device);
        const unsigned char uartOn[] = {UsbHidUart::kReportUartEnable, 0x01};
        QCOMPARE(hid_send_feature_report(device, uartOn, sizeof uartOn), int(sizeof uartOn));
        constexpr int kRounds = 200;
        std::atomic<int> lostIn{-1};
        std::atomic<bool> done{false};
        std::thread rig([&] {
            for (int round = 0; round < kRounds && lostIn.load() < 0; ++round) {
                UsbHidUartListener_Desktop listener(device);
                std::atomic<bool> go{false};
                std::atomic<bool> ended{false};
                std::thread loop([&] {
                    while (!go.load()) {
                    }
                    listener.listen();
                    ended.store(true);
                });
                auto read = [&] {
                    while (!ended.load())
                        listener.bytesAvailable();
                };
                std::thread reader(read);
                std::thread reader2(read);
                // The loop's first line is "Started"; stop a little later each round.
                const int before = logs().messageCount();
                go.store(true);
                while (logs().messageCount() == before) {
                }
                for (volatile int spin = 0; spin < (round % 50) * 20; ++spin) {
                }
                listener.stop();
                // A byte from the device ends a read the loop may already be waiting in.
                injectFromDevice({0x00});
                if (!QTest::qWaitFor([&] { return ended.load(); }, 30000)) {
                    lostIn.store(round);
                    // Only a failing bridge ends that loop now.
                    unplug();
                }
                loop.join();
                reader.join();
                reader2.join();
            }
            done.store(true);
        });
        // A last guard, should a round hang in a way the rig does not see.
        if (!QTest::qWaitFor([&] { return done.load(); }, 600000))
            unplug();
        rig.join();
        hid_close(device);
        QVERIFY2(lostIn.load() < 0, qPrintable(QStringLiteral("stop lost in round %1").arg(lostIn.load())));
        QCOMPARE(logs().count("Info", kListener, "listen", "Exited"), kRounds);
    }

    // --- Driver ---------------------------------------------------------------------------

    void driverWritesReportsOfAtMost63Bytes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<int>>("reportIds");
        QTest::newRow("empty") << 0 << QList<int>{};
        QTest::newRow("63") << 63 << QList<int>{63};
        QTest::newRow("64") << 64 << QList<int>{63, 1};
        QTest::newRow("130") << 130 << QList<int>{63, 63, 4};
    }
    void driverWritesReportsOfAtMost63Bytes()
    {
        QFETCH(int, length);
        QFETCH(QList<int>, reportIds);
        plug();
        UsbHidUart driver;
        QVERIFY(driver.initialize(kVendorId, kProductId));
        clearLogs();
        logs().clear();

        const Bytes payload = sequence(length);
        QCOMPARE(driver.write(raw(payload), 250), length);

        const std::vector<UsbEvent> outs = usbEvents(UsbKind::Out);
        QCOMPARE(int(outs.size()), reportIds.size());
        Bytes sent;
        for (int i = 0; i < int(outs.size()); ++i) {
            const Bytes &r = outs[std::size_t(i)].bytes;
            QCOMPARE(int(r.size()), 64);
            QCOMPARE(int(r[0]), reportIds.at(i));
            sent.insert(sent.end(), r.begin() + 1, r.begin() + 1 + r[0]);
            for (std::size_t k = std::size_t(r[0]) + 1; k < r.size(); ++k)
                QCOMPARE(int(r[k]), 0);
            Bytes report(r.begin(), r.begin() + 1 + r[0]);
            QCOMPARE(logs().count("Trace", kDriver, "write", "--> [" + hexOf(report) + "]"), 1);
        }
        QCOMPARE(sent, payload);
        QCOMPARE(logs().count("Trace", kDriver, "write", "Write done"), 1);
    }

    void driverOpensOnceAndEnablesTheUart()
    {
        plug();
        UsbHidUart driver;
        QVERIFY(!driver.isOpen());
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QVERIFY(driver.isOpen());
        QVERIFY(driver.listener() != nullptr);
        QVERIFY(status().uartEnabled);
        QVERIFY(driver.getUartEnable());
        QCOMPARE(logs().count("Trace", kDriver, "setUartEnable", "--> 4101"), 1);
        QCOMPARE(logs().count("Trace", kDriver, "setUartEnable", "Done"), 1);
        QCOMPARE(logs().count("Debug", kDriver, "initialize", "Starting listener"), 1);

        QVERIFY(driver.initialize(kVendorId, kProductId));
        QCOMPARE(logs().count("Warning", kDriver, "initialize", "Device already initialized"), 1);
        QCOMPARE(int(usbEvents(UsbKind::Open).size()), 1);
        QCOMPARE(status().openHandles, 1);

        driver.close();
        QVERIFY(!driver.isOpen());
        QVERIFY(driver.listener() == nullptr);
        QCOMPARE(status().openHandles, 0);
        QCOMPARE(logs().count("Info", kDriver, "close", "Listener thread stopped"), 1);
        QCOMPARE(logs().count("Debug", kDriver, "close", "Device closed"), 1);
    }

    void driverFailedOpenOrUartEnableLeavesNothingBehind()
    {
        plug();
        Faults f;
        f.uartEnableFails = true;
        setFaults(f);
        UsbHidUart driver;
        QSignalSpy errors(&driver, &UsbHidUart::error);
        QVERIFY(!driver.initialize(kVendorId, kProductId));
        QVERIFY(!driver.isOpen());
        QVERIFY(driver.listener() == nullptr);
        QCOMPARE(status().openHandles, 0);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(logs().count("Error", kDriver, "setUartEnable", "Error setting uart enable"), 1);
        QCOMPARE(logs().count("Error", kDriver, "initialize", "Error enabling uart"), 1);
        QCOMPARE(logs().count("Debug", kDriver, "initialize", "Starting listener"), 0);

        f.uartEnableFails = false;
        f.openFails = true;
        setFaults(f);
        QVERIFY(!driver.initialize(kVendorId, kProductId));
        QVERIFY(!driver.isOpen());
        QCOMPARE(logs().count("Error", kDriver, "initialize", "error opening device"), 1);

        // Once the bridge behaves, the same driver opens.
        setFaults(Faults());
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QVERIFY(driver.isOpen());
    }

    void driverWithoutDevice()
    {
        UsbHidUart driver;
        QSignalSpy errors(&driver, &UsbHidUart::error);
        driver.close();
        driver.close();
        QCOMPARE(logs().count("Trace", kDriver, "close", "Device already closed"), 2);
        QCOMPARE(driver.write(raw({1, 2, 3}), 250), -1);
        QRawData untouched(QStringLiteral("abcd"));
        QCOMPARE(driver.read(untouched), 0);
        QCOMPARE(untouched.toHex(), QStringLiteral("abcd"));
        QCOMPARE(driver.bytesAvailable(), 0);
        QCOMPARE(errors.count(), 0);
        QVERIFY(!driver.reset());
        QCOMPARE(errors.count(), 1);
        QVERIFY(!driver.setUartEnable(true));
        QCOMPARE(errors.count(), 2);
        QVERIFY(usbLog().empty());
    }

    void driverChecksPresenceWithoutOpening()
    {
        UsbHidUart driver;
        QVERIFY(!driver.checkIsConnected(0x2B42, 0x0045));
        QCOMPARE(logs().count("Info", kDriver, "checkIsConnected", "Looking for vid[2b42],pid[0045]"), 1);
        QCOMPARE(logs().count("Info", kDriver, "checkIsConnected", "Returning 0"), 1);
        plug(kVendorId, 0x0043);
        QVERIFY(!driver.checkIsConnected(0x2B42, 0x0045));
        QVERIFY(driver.checkIsConnected(0x2B42, 0x0043));
        QCOMPARE(logs().count("Info", kDriver, "checkIsConnected", "Returning 1"), 1);
        QVERIFY(usbEvents(UsbKind::Open).empty());
        QVERIFY(!driver.isOpen());
    }

    void driverShortWriteStopsTheTransfer()
    {
        plug();
        UsbHidUart driver;
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QSignalSpy errors(&driver, &UsbHidUart::error);
        Faults f;
        f.shortWrites = 1;
        setFaults(f);
        clearLogs();
        // The first report goes out short: nothing counts as sent and the rest is not tried.
        QCOMPARE(driver.write(raw(sequence(100)), 250), 0);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(int(usbEvents(UsbKind::Out).size()), 1);
        QCOMPARE(logs().count("Error", kDriver, "write", "Error writing, 32 bytes written on 64 bytes to write"), 1);
        QCOMPARE(logs().count("Trace", kDriver, "write", "Write done"), 0);

    }

    void driverReadsWhatTheListenerQueued()
    {
        Timing t = Timing::instant();
        setTiming(t);
        plug();
        UsbHidUart driver;
        QSignalSpy ready(&driver, &UsbHidUart::readyRead);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        const Bytes bytes = sequence(70, 0x20);   // two input reports: 63 + 7
        injectFromDevice(bytes);
        QTRY_COMPARE_WITH_TIMEOUT(driver.bytesAvailable(), 70, 10000);
        QTRY_VERIFY(ready.count() >= 1);
        QRawData got;
        QCOMPARE(driver.read(got), 70);
        QCOMPARE(toBytes(got.toByteArray()), bytes);
        QCOMPARE(driver.bytesAvailable(), 0);
        QCOMPARE(logs().count("Trace", kDriver, "read", "<-- " + hexOf(bytes)), 1);
        QCOMPARE(logs().countContaining(kListener, "Data arrived"), int(usbEvents(UsbKind::In).size()));
    }

    void driverReportsAVanishedBridgeOnceAfterClosing()
    {
        plug();
        UsbHidUart driver;
        QVERIFY(driver.initialize(kVendorId, kProductId));
        int disconnects = 0;
        bool openAtSignal = true;
        int handlesAtSignal = -1;
        connect(&driver, &UsbHidUart::disconnected, this, [&] {
            ++disconnects;
            openAtSignal = driver.isOpen();
            handlesAtSignal = status().openHandles;
        });
        unplug();
        QTRY_COMPARE_WITH_TIMEOUT(disconnects, 1, 10000);
        QVERIFY(!openAtSignal);
        QCOMPARE(handlesAtSignal, 0);
        QVERIFY(driver.listener() == nullptr);
        settle(300);
        QCOMPARE(disconnects, 1);

        QCOMPARE(logs().count("Error", kListener, "listen", "Device disconnected, returned -1"), 1);
        const int exiting = logs().indexOf(kListener, "Exiting from listening loop");
        QVERIFY(exiting >= 0);
        QVERIFY(logs().indexOf(kListener, "Exited", exiting) > exiting);
        QVERIFY(logs().indexOf(kDriver, "Device closed") > exiting);

        // Back on the bus, the same driver opens again and a later close is silent.
        plug();
        QVERIFY(driver.initialize(kVendorId, kProductId));
        driver.close();
        settle(100);
        QCOMPARE(disconnects, 1);
    }

    void driverResetsTheBridge()
    {
        Timing t;
        t.bridgeResetMs = 100;
        setTiming(t);
        plug();
        UsbHidUart driver;
        QSignalSpy disconnected(&driver, &UsbHidUart::disconnected);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QVERIFY(driver.reset());
        QCOMPARE(logs().count("Trace", kDriver, "reset", "--> 4000"), 1);
        // The bridge drops off the bus and comes back with its UART off.
        QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(status().enumerated, 10000);
        QVERIFY(!status().uartEnabled);
        QVERIFY(driver.initialize(kVendorId, kProductId));
        QVERIFY(status().uartEnabled);
    }

    // --- Monitor: connection polling ---------------------------------------------------------

    void monitorTriesOneIdPerTick()
    {
        MonitorRig rig;
        QTRY_VERIFY(rig.initialized());
        QCOMPARE(rig.monitor->idList().size(), 4);
        rig.monitor->enable();   // from another thread, as the processor may call it
        QTRY_VERIFY_WITH_TIMEOUT(usbEvents(UsbKind::Enumerate).size() >= 5, 10000);
        const std::vector<UsbEvent> tried = usbEvents(UsbKind::Enumerate);
        const std::vector<std::uint16_t> expected{0x0045, 0x0046, 0x0043, 0x0044, 0x0045};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(tried[i].vendorId, std::uint16_t(0x2B42));
            QCOMPARE(tried[i].productId, expected[i]);
            // One id per 250 ms tick (the lower bound only: a loaded machine may be late).
            if (i > 0)
                QVERIFY(tried[i].time - tried[i - 1].time >= std::chrono::milliseconds(200));
        }
        QVERIFY(logs().count("Info", kDriver, "checkIsConnected", "Looking for vid[2b42],pid[0044]") >= 1);
        QVERIFY(usbEvents(UsbKind::Open).empty());

        rig.call("disable");
        settle(50);
        const std::size_t afterDisable = usbEvents(UsbKind::Enumerate).size();
        settle(700);
        QCOMPARE(usbEvents(UsbKind::Enumerate).size(), afterDisable);
        QVERIFY(!rig.monitor->isCheckingEnabled());
    }

    void monitorExtendedIdsComeFirst()
    {
        auto rigOwner = std::make_unique<MonitorRig>(true);
        MonitorRig &rig = *rigOwner;
        QTRY_VERIFY(rig.initialized());
        const QList<UsbHidId *> &ids = rig.monitor->idList();
        const QList<QPair<int, int>> expected{{0x10C4, 0xEAB0}, {0x2B42, 0x0064}, {0x2B42, 0x0050}, {0x2B42, 0x0045},
                                              {0x2B42, 0x0046}, {0x2B42, 0x0043}, {0x2B42, 0x0044}};
        QCOMPARE(ids.size(), expected.size());
        for (int i = 0; i < ids.size(); ++i) {
            QCOMPARE(int(ids[i]->vendorId()), expected[i].first);
            QCOMPARE(int(ids[i]->productId()), expected[i].second);
        }
        // An extended id is found like any other.
        plug(0x2B42, 0x0050);
        rig.monitor->enable();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.connected, 1, 10000);
        QCOMPARE(rig.monitor->currentIdIndex(), 2);
        QCOMPARE(status().openHandles, 1);

        // A monitor going away with its thread closes the bridge it holds.
        rigOwner.reset();
        QCOMPARE(status().openHandles, 0);
    }

    void monitorConnectsAndFollowsTheBridge()
    {
        plug(kVendorId, 0x0043);
        MonitorRig rig;
        QTRY_VERIFY(rig.initialized());
        rig.monitor->enable();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.connected, 1, 10000);
        QVERIFY(rig.monitor->isConnected());
        QVERIFY(rig.monitor->bridge()->isOpen());
        std::vector<std::uint16_t> tried;
        for (const UsbEvent &e : usbEvents(UsbKind::Enumerate))
            tried.push_back(e.productId);
        QCOMPARE(tried, (std::vector<std::uint16_t>{0x0045, 0x0046, 0x0043}));
        QCOMPARE(logs().count("Debug", kMonitor, "checkIsConnected", "Device connected, initialize id"), 1);
        QCOMPARE(logs().count("Debug", kMonitor, "setIsConnected", "Wdx connected"), 1);

        // While connected the connection timer is stopped and a check does nothing.
        settle(600);
        rig.call("checkIsConnected");
        QCOMPARE(int(usbEvents(UsbKind::Enumerate).size()), 3);
        QCOMPARE(rig.receiver.connected, 1);

        // The bridge vanishes: the driver closes and the monitor says so, once.
        unplug();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.disconnected, 1, 10000);
        QVERIFY(!rig.monitor->isConnected());
        QCOMPARE(status().openHandles, 0);
        QCOMPARE(logs().count("Debug", kMonitor, "setIsConnected", "Wdx disconnected"), 1);

        // Polling has started again and finds the bridge under another id.
        plug(kVendorId, 0x0046);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.connected, 2, 10000);
        settle(100);
        QCOMPARE(rig.receiver.disconnected, 1);
    }

    void monitorPauseClosesAndResumeReconnects()
    {
        plug();
        MonitorRig rig;
        QTRY_VERIFY(rig.initialized());
        rig.monitor->enable();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.connected, 1, 10000);

        rig.monitor->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.disconnected, 1, 10000);
        QCOMPARE(logs().count("Debug", kMonitor, "closeConnection", "Device disconnected, close it"), 1);
        QCOMPARE(status().openHandles, 0);
        QVERIFY(!rig.monitor->isCheckingEnabled());
        const std::size_t enumerated = usbEvents(UsbKind::Enumerate).size();
        settle(700);
        QCOMPARE(usbEvents(UsbKind::Enumerate).size(), enumerated);
        QCOMPARE(rig.receiver.connected, 1);

        rig.monitor->resume();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.connected, 2, 10000);
        QVERIFY(rig.monitor->bridge()->isOpen());
    }

    void monitorWriteResults()
    {
        // Before initialize there is no driver at all.
        {
            WdxMonitor bare;
            QCOMPARE(bare.write(raw({0x55, 0x00, 0x02, 0x00, 0x00, 0xFF, 0xA9})), WdxMonitor::enErrCode_NotConnected);
        }
        setTiming(Timing::instant());
        MonitorRig rig;
        QTRY_VERIFY(rig.initialized());
        const QRawData nullRead = raw({0x55, 0x00, 0x02, 0x00, 0x00, 0xFF, 0xA9});
        QCOMPARE(rig.monitor->write(nullRead), WdxMonitor::enErrCode_NotConnected);
        // Closing with nothing open still says so, but there was no connection to end.
        rig.call("closeConnection");
        QCOMPARE(logs().count("Debug", kMonitor, "closeConnection", "Wdx disconnected"), 1);
        QCOMPARE(logs().count("Debug", kMonitor, "closeConnection", "Device disconnected, close it"), 0);

        plug();
        rig.monitor->enable();
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.connected, 1, 10000);
        // Written from this thread, as the request processor does; the answer comes back parsed.
        QCOMPARE(rig.monitor->write(nullRead), WdxMonitor::enErrCode_Ok);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages, QStringList{messageText(0x80, 0x00, {})}, 10000);
        QCOMPARE(int(frames(Direction::ToDevice, 0x00, 0x00).size()), 1);

        Faults f;
        f.shortWrites = 1;
        setFaults(f);
        QCOMPARE(rig.monitor->write(nullRead), WdxMonitor::enErrCode_CommunicationError);
        QCOMPARE(logs().count("Error", kMonitor, "write", "Error writing to usb hid device"), 1);
        QTRY_COMPARE(rig.receiver.errors, 1);
        QCOMPARE(rig.receiver.disconnected, 0);
    }

    // --- Monitor: the frame parser ---------------------------------------------------------

    void parserDeliversEveryFrameOfOneRead()
    {
        MonitorRig rig;
        QVERIFY(connectRig(rig));
        const Bytes a = frame(0x80, 0x01, {0x00, 'W', 'D', 'X'});
        const Bytes b = frame(0x81, 0x03, {0x40});
        Bytes both = a;
        both.insert(both.end(), b.begin(), b.end());
        injectFromDevice(both);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages.size(), 2, 10000);
        QCOMPARE(rig.receiver.messages,
                 (QStringList{messageText(0x80, 0x01, {0x00, 'W', 'D', 'X'}), messageText(0x81, 0x03, {0x40})}));
        // Both came in one input report, so one parse pass cut both out.
        QCOMPARE(int(usbEvents(UsbKind::In).size()), 1);
        QCOMPARE(logs().count("Trace", kMonitor, "onParsingStateEntered", "message arrived"), 2);
        // Nothing was left over for the parse timer to clear.
        settle(200);
        QCOMPARE(logs().countContaining(kMonitor, "Timeout on parsing"), 0);
        QVERIFY(logs().count("Trace", kMonitor, "onIdleStateEntered", "Idle") >= 1);
    }

    void parserJoinsAFrameSplitBriefly()
    {
        MonitorRig rig;
        QVERIFY(connectRig(rig));
        const Bytes f = frame(0x80, 0x03, {0x40, 36, 36, 36});
        injectFromDevice(Bytes(f.begin(), f.begin() + 4));
        sleepMs(10);
        injectFromDevice(Bytes(f.begin() + 4, f.end()));
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages, QStringList{messageText(0x80, 0x03, {0x40, 36, 36, 36})}, 10000);
        QCOMPARE(int(usbEvents(UsbKind::In).size()), 2);
        settle(150);
        QCOMPARE(logs().countContaining(kMonitor, "Timeout on parsing"), 0);
        QCOMPARE(rig.receiver.messages.size(), 1);
    }

    void parserClearsAFrameSplitTooLong()
    {
        MonitorRig rig;
        QVERIFY(connectRig(rig));
        const Bytes f = frame(0x80, 0x03, {0x40, 36, 36, 36});
        const Bytes head(f.begin(), f.begin() + 5);
        const Bytes tail(f.begin() + 5, f.end());
        for (std::uint8_t b : tail)
            QVERIFY2(b != 0x55 && b != 0xAA, "the tail must hold no start byte");
        injectFromDevice(head);
        sleepMs(60);
        // The head is cleared once the parse timer has run out; only then does the tail come.
        const QString warning = "Timeout on parsing, clear input buffer [" + hexOf(head) + "]";
        QTRY_COMPARE_WITH_TIMEOUT(logs().count("Warning", kMonitor, "onTimeoutStateEntered", warning), 1, 10000);
        injectFromDevice(tail);
        // Every tail byte is skipped on its own.
        QTRY_COMPARE_WITH_TIMEOUT(logs().count("Trace", kMonitor, "onParsingStateEntered", "1 bytes parsed"),
                                  int(tail.size()), 10000);
        settle(150);
        QVERIFY(rig.receiver.messages.isEmpty());
        QCOMPARE(logs().countContaining(kMonitor, "Timeout on parsing"), 1);

        // The parser is back in shape for the next frame.
        injectFromDevice(f);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages.size(), 1, 10000);
    }

    void parserSkipsNoiseAndBadFrames()
    {
        MonitorRig rig;
        QVERIFY(connectRig(rig));
        const Bytes good = frame(0x81, 0x05, {0x41});
        Bytes noisy{0x01, 0x7E, 0xFF};
        noisy.insert(noisy.end(), good.begin(), good.end());
        injectFromDevice(noisy);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages, QStringList{messageText(0x81, 0x05, {0x41})}, 10000);
        QCOMPARE(logs().count("Trace", kMonitor, "onParsingStateEntered", "1 bytes parsed"), 3);

        // A frame whose checksum is off by one, then a good one, in the same read.
        rig.receiver.messages.clear();
        Bytes bad = frame(0x80, 0x01, {0x05, 0x01});
        bad.back() = std::uint8_t(bad.back() + 1);
        Bytes pair = bad;
        const Bytes next = frame(0x80, 0x01, {0x05, 0x00});
        pair.insert(pair.end(), next.begin(), next.end());
        injectFromDevice(pair);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages.size(), 1, 10000);
        settle(150);
        QCOMPARE(rig.receiver.messages, QStringList{messageText(0x80, 0x01, {0x05, 0x00})});
        QCOMPARE(logs().countContaining(kMonitor, "Timeout on parsing"), 0);
    }

    void parserDropsAPartialFrameOnBridgeError()
    {
        MonitorRig rig;
        QVERIFY(connectRig(rig));
        const Bytes f = frame(0x80, 0x03, {0x40, 36, 36, 36});
        const Bytes head(f.begin(), f.begin() + 5);
        injectFromDevice(head);
        QTRY_COMPARE_WITH_TIMEOUT(logs().count("Trace", kMonitor, "onParsingStateEntered", "buffer has 5 bytes"), 1, 10000);
        // A short write makes the driver report an error; the parser passes through Error.
        Faults faults;
        faults.shortWrites = 1;
        setFaults(faults);
        QCOMPARE(rig.monitor->write(raw({0x55, 0x00, 0x02, 0x00, 0x00, 0xFF, 0xA9})),
                 WdxMonitor::enErrCode_CommunicationError);
        QTRY_COMPARE_WITH_TIMEOUT(logs().count("Trace", kMonitor, "onErrorStateEntered", "Error"), 1, 10000);
        QTRY_COMPARE(rig.receiver.errors, 1);
        injectFromDevice(Bytes(f.begin() + 5, f.end()));
        settle(200);
        QVERIFY(rig.receiver.messages.isEmpty());
        injectFromDevice(f);
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.messages.size(), 1, 10000);
    }

private:
    // Connected monitor on an instant line, logs cleared.
    bool connectRig(MonitorRig &rig)
    {
        setTiming(Timing::instant());
        plug();
        if (!QTest::qWaitFor([&] { return rig.initialized(); }, 10000))
            return false;
        rig.monitor->enable();
        if (!QTest::qWaitFor([&] { return rig.receiver.connected == 1; }, 10000))
            return false;
        clearLogs();
        logs().clear();
        return true;
    }
};

VELA_TEST_MAIN_CORE(TestLink)
#include "tst_link.moc"
