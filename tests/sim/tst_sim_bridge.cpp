// The virtual CP2110 bridge as the application sees it: hidapi calls alone, their return values,
// time-outs, the UART gate, pacing, unplugging and two threads on one handle.

#include "SimLink.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace VirtualWdx;

namespace {
const Bytes kNullRead{0x55, 0x00, 0x02, 0x00, 0x00, 0xFF, 0xA9};
const Bytes kNullAnswer{0x55, 0x00, 0x02, 0x80, 0x00, 0xFF, 0x29};
const Bytes kTypeRead{0x55, 0x00, 0x03, 0x00, 0x01, 0x00, 0xFF, 0xA7};
const Bytes kTypeAnswer{0x55, 0x00, 0x0A, 0x80, 0x01, 0x00, 'W', 'D', 'X', '-', 'T', '-', 'N', 0xFD, 0x31};

Clock::duration byteTime()
{
    return std::chrono::nanoseconds(86806);   // 10 bits at 115200 baud
}

int countEvents(const std::string &text)
{
    int n = 0;
    for (const WireEntry &e : wireLog())
        n += e.kind == Kind::Event && e.text.find(text) != std::string::npos;
    return n;
}
} // namespace

class TestSimBridge : public QObject
{
    Q_OBJECT

private slots:
    void init() { reset(); }
    void cleanupTestCase() { reset(); }

    void enumerationByIds()
    {
        QVERIFY(hid_enumerate(kVendorId, 0x0046) == nullptr);   // nothing plugged
        plug(kVendorId, 0x0046);
        hid_device_info *found = hid_enumerate(kVendorId, 0x0046);
        QVERIFY(found);
        QCOMPARE(found->vendor_id, kVendorId);
        QCOMPARE(found->product_id, std::uint16_t(0x0046));
        QVERIFY(found->next == nullptr);
        hid_free_enumeration(found);
        QVERIFY(hid_enumerate(kVendorId, 0x0045) == nullptr);
        QVERIFY(hid_enumerate(0x10C4, 0x0046) == nullptr);
        hid_device_info *any = hid_enumerate(0, 0);
        QVERIFY(any);
        hid_free_enumeration(any);
        QVERIFY(hid_open(kVendorId, 0x0045, nullptr) == nullptr);
        QVERIFY(std::wcslen(hid_error(nullptr)) > 0);

        const std::vector<UsbEvent> log = usbLog();
        std::vector<std::uint16_t> asked;
        for (const UsbEvent &e : log)
            if (e.kind == UsbKind::Enumerate)
                asked.push_back(e.productId);
        QCOMPARE(asked, (std::vector<std::uint16_t>{0x0046, 0x0046, 0x0045, 0x0046, 0}));

        unplug();
        QVERIFY(hid_enumerate(0, 0) == nullptr);
    }

    void uartGatesTheBytes()
    {
        plug();
        SimLink link;
        QVERIFY(link.open(false));
        unsigned char state[2] = {0x41, 0xFF};
        QCOMPARE(hid_get_feature_report(link.dev, state, sizeof state), 2);
        QCOMPARE(state[1], std::uint8_t(0));

        QCOMPARE(link.send(kNullRead), 7);
        QVERIFY(link.receiveFrame(200).empty());
        QVERIFY(frames(Direction::ToDevice).empty());
        QCOMPARE(countEvents("UART disabled: 7 bytes lost"), 1);

        QVERIFY(link.setUart(true));
        QCOMPARE(hid_get_feature_report(link.dev, state, sizeof state), 2);
        QCOMPARE(state[1], std::uint8_t(1));
        QCOMPARE(link.transact(kNullRead), kNullAnswer);

        QVERIFY(link.setUart(false));
        link.send(kNullRead);
        QVERIFY(link.receiveFrame(200).empty());
        QCOMPARE(frames(Direction::ToDevice).size(), std::size_t(1));
    }

    void requestsAreAnsweredByteExact()
    {
        plug();
        SimLink link;
        QVERIFY(link.open());
        QCOMPARE(link.transact(kNullRead), kNullAnswer);
        QCOMPARE(link.transact(kTypeRead), kTypeAnswer);
        // The wire log holds both exchanges in order, as they travelled.
        const std::vector<WireEntry> all = frames(Direction::ToDevice);
        QCOMPARE(all.size(), std::size_t(2));
        QCOMPARE(all[1].bytes, kTypeRead);
        QCOMPARE(frames(Direction::FromDevice, 0x80, 0x01, 0x00).at(0).bytes, kTypeAnswer);
    }

    void longAnswerComesInReportsOfAtMost63_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::newRow("instant") << false;
        QTest::newRow("115200 baud") << true;
    }

    void longAnswerComesInReportsOfAtMost63()
    {
        QFETCH(bool, paced);
        if (!paced)
            setTiming(Timing::instant());
        plug();
        SimLink link;
        QVERIFY(link.open());
        // A DSP block of 121 bytes read back makes a 130-byte answer.
        QCOMPARE(dataOf(link.transact(request(0x01, 0x02, {0x02, 0x01}))), (Bytes{0x02, 0x01}));
        Bytes block{0x03, 0x07};
        for (int i = 0; i < 121; ++i)
            block.push_back(std::uint8_t(i * 3));
        QCOMPARE(dataOf(link.transact(request(0x01, 0x02, block))), (Bytes{0x03, 0x07}));
        link.reportSizes.clear();
        const Bytes answer = link.transact(request(0x00, 0x02, {0x03, 0x07}));
        QCOMPARE(answer.size(), std::size_t(130));
        QCOMPARE(answer, request(0x80, 0x02, block));
        int total = 0;
        for (int n : link.reportSizes) {
            QVERIFY(n >= 1 && n <= 63);
            total += n;
        }
        QCOMPARE(total, 130);
        if (!paced) {
            QCOMPARE(link.reportSizes, (std::vector<int>{63, 63, 4}));
        } else {
            // Bytes trickle in at the baud rate: a 1 ms USB frame carries at most 12 of them.
            QVERIFY(link.reportSizes.size() >= 11);
            for (int n : link.reportSizes)
                QVERIFY2(n <= 12, qPrintable(QString::number(n)));
        }
    }

    void readWithNothingToReadTimesOut()
    {
        plug();
        SimLink link;
        QVERIFY(link.open());
        unsigned char report[64];
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(hid_read_timeout(link.dev, report, sizeof report, 150), 0);
        QVERIFY(clock.elapsed() >= 149);
        QCOMPARE(hid_set_nonblocking(link.dev, 1), 0);
        QCOMPARE(hid_read(link.dev, report, sizeof report), 0);
        QCOMPARE(hid_read_timeout(link.dev, report, sizeof report, 0), 0);
    }

    void unplugKillsTheHandle()
    {
        plug();
        SimLink link;
        QVERIFY(link.open());
        std::atomic<int> result{1};
        std::thread reader([&] {
            unsigned char report[64];
            result = hid_read_timeout(link.dev, report, sizeof report, -1);
        });
        QTest::qWait(50);
        QCOMPARE(result.load(), 1);   // still blocked
        unplug();
        reader.join();
        QCOMPARE(result.load(), -1);
        QVERIFY(hid_enumerate(kVendorId, kProductId) == nullptr);
        unsigned char report[64] = {7};
        QCOMPARE(hid_write(link.dev, report, sizeof report), -1);
        QCOMPARE(hid_read_timeout(link.dev, report, sizeof report, 10), -1);
        const unsigned char enable[2] = {0x41, 1};
        QCOMPARE(hid_send_feature_report(link.dev, enable, 2), -1);
        QVERIFY(std::wcscmp(hid_error(link.dev), L"Success") != 0);

        // Plugged back in, the old handle stays dead; a new one works.
        plug();
        QCOMPARE(hid_read_timeout(link.dev, report, sizeof report, 10), -1);
        SimLink again;
        QVERIFY(again.open());
        QCOMPARE(again.transact(kNullRead), kNullAnswer);
    }

    void closeReleasesABlockedReader()
    {
        plug();
        hid_device *dev = hid_open(kVendorId, kProductId, nullptr);
        QVERIFY(dev);
        std::atomic<int> result{1};
        std::thread reader([&] {
            unsigned char report[64];
            result = hid_read_timeout(dev, report, sizeof report, -1);
        });
        QTest::qWait(30);
        hid_close(dev);
        reader.join();
        QCOMPARE(result.load(), -1);
        QCOMPARE(status().openHandles, 0);
    }

    void bridgeResetEnumeratesAgainWithUartOff()
    {
        plug();
        SimLink link;
        QVERIFY(link.open());
        const unsigned char reset[2] = {0x40, 0x00};
        QCOMPARE(hid_send_feature_report(link.dev, reset, 2), 2);
        unsigned char report[64];
        QCOMPARE(hid_read_timeout(link.dev, report, sizeof report, 10), -1);
        QVERIFY(!status().enumerated);
        QTRY_VERIFY_WITH_TIMEOUT(status().enumerated, 5000);
        SimLink again;
        QVERIFY(again.open(false));
        unsigned char state[2] = {0x41, 0xFF};
        QCOMPARE(hid_get_feature_report(again.dev, state, 2), 2);
        QCOMPARE(state[1], std::uint8_t(0));
    }

    void baudRatePacesBothWays()
    {
        plug();
        SimLink link;
        QVERIFY(link.open());
        link.transact(request(0x01, 0x02, {0x02, 0x01}));
        Bytes block{0x03, 0x00};
        block.resize(2 + 512, 0x5A);
        const Bytes blockWrite = request(0x01, 0x02, block);
        QCOMPARE(blockWrite.size(), std::size_t(521));
        QCOMPARE(dataOf(link.transact(blockWrite)), (Bytes{0x03, 0x00}));

        const WireEntry in = frames(Direction::ToDevice, 0x01, 0x02, 0x03).at(0);
        const WireEntry out = frames(Direction::FromDevice, 0x81, 0x02, 0x03).at(0);
        // 521 bytes on the line take 520 byte times between first and last (more if the writer lagged).
        QVERIFY(in.end - in.begin >= 520 * byteTime());
        // The answer starts one device latency after the request's last byte, and its 9 bytes follow.
        QCOMPARE(out.begin - in.end, Clock::duration(std::chrono::microseconds(1000)));
        QCOMPARE(out.end - out.begin, 9 * byteTime());
        // Interrupt transfers happen on the 1 ms USB frame grid.
        for (const UsbEvent &e : usbLog())
            if (e.kind == UsbKind::Out || e.kind == UsbKind::In)
                QCOMPARE(e.time.time_since_epoch() % std::chrono::milliseconds(1), Clock::duration::zero());
    }

    void shortWriteLeavesAnIncompleteFrame()
    {
        setTiming(Timing::instant());
        plug();
        SimLink link;
        QVERIFY(link.open());
        Faults f;
        f.shortWrites = 1;
        setFaults(f);
        unsigned char report[64] = {7};
        std::memcpy(report + 1, kNullRead.data(), 7);
        QCOMPARE(hid_write(link.dev, report, sizeof report), 4);   // 4 of the 8 report bytes
        QCOMPARE(faults().shortWrites, 0);
        QCOMPARE(countEvents("shortWrites fault: 4 of 8"), 1);
        QVERIFY(link.receiveFrame(100).empty());
        auto incomplete = [] {
            for (const WireEntry &e : wireLog())
                if (e.kind == Kind::Incomplete && e.bytes == Bytes{0x55, 0x00, 0x02})
                    return true;
            return false;
        };
        QTRY_VERIFY(incomplete());
        QCOMPARE(link.transact(kNullRead), kNullAnswer);
    }

    void malformedCallsFail()
    {
        plug();
        SimLink link;
        QVERIFY(link.open());
        unsigned char bad[64] = {0};   // report id 0 carries no UART data
        QCOMPARE(hid_write(link.dev, bad, sizeof bad), -1);
        bad[0] = 64;
        QCOMPARE(hid_write(link.dev, bad, sizeof bad), -1);
        unsigned char shortReport[3] = {5, 1, 2};   // claims 5 bytes, carries 2
        QCOMPARE(hid_write(link.dev, shortReport, sizeof shortReport), -1);
        unsigned char feature[2] = {0x50, 0};
        QCOMPARE(hid_get_feature_report(link.dev, feature, 2), -1);
        QCOMPARE(hid_send_feature_report(link.dev, feature, 2), -1);
        QVERIFY(std::wcscmp(hid_error(link.dev), L"Success") != 0);
        const unsigned char enableTwo[2] = {0x41, 2};
        QCOMPARE(hid_send_feature_report(link.dev, enableTwo, 2), -1);

        Faults f;
        f.uartEnableFails = true;
        setFaults(f);
        QVERIFY(!link.setUart(true));
        QCOMPARE(countEvents("uartEnableFails fault"), 1);
        f = Faults();
        f.openFails = true;
        setFaults(f);
        hid_device_info *listed = hid_enumerate(kVendorId, kProductId);
        QVERIFY(listed);
        hid_free_enumeration(listed);
        QVERIFY(hid_open(kVendorId, kProductId, nullptr) == nullptr);
        const UsbEvent refused = usbLog().back();
        QCOMPARE(refused.kind, UsbKind::Open);
        QCOMPARE(refused.result, -1);
    }

    // A reader thread and a writer thread on one handle, as the application runs them.
    void readerAndWriterThreads_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::newRow("instant") << false;
        QTest::newRow("115200 baud") << true;
    }

    void readerAndWriterThreads()
    {
        QFETCH(bool, paced);
        if (!paced)
            setTiming(Timing::instant());
        plug();
        SimLink link;
        QVERIFY(link.open());
        constexpr int kRequests = 150;
        std::atomic<bool> stop{false};
        std::atomic<int> answers{0};
        std::thread reader([&] {
            Bytes pending;
            unsigned char report[64];
            while (!stop && answers < kRequests) {
                const int n = hid_read_timeout(link.dev, report, sizeof report, 50);
                if (n < 0)
                    break;
                if (n == 0)
                    continue;
                pending.insert(pending.end(), report + 1, report + 1 + report[0]);
                while (pending.size() >= 7 && Bytes(pending.begin(), pending.begin() + 7) == kNullAnswer) {
                    pending.erase(pending.begin(), pending.begin() + 7);
                    ++answers;
                }
            }
        });
        int sent = 0;
        std::thread writer([&] {
            for (int i = 0; i < kRequests && link.send(kNullRead) == 7; ++i)
                ++sent;
        });
        writer.join();
        QTRY_COMPARE_WITH_TIMEOUT(answers.load(), kRequests, 20000);
        stop = true;
        reader.join();
        QCOMPARE(sent, kRequests);
        QCOMPARE(status().requestsReceived, kRequests);
    }
};

QTEST_GUILESS_MAIN(TestSimBridge)
#include "tst_sim_bridge.moc"
