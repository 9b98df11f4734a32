// The virtual bridge and Wdx where the application's tests could not see them go wrong: the UART
// gate, the line timing, the bytes the device decodes and encodes, what it refuses, its boot
// loader and firmware checks, the fault knobs, answer rules and the request spacing it flags.

#include "SimLink.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

using Probe = QList<int> (*)(const DeviceState &);
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Probe)
Q_DECLARE_METATYPE(AnswerRule)
Q_DECLARE_METATYPE(Faults)

namespace {
const Bytes kNullRead{0x55, 0x00, 0x02, 0x00, 0x00, 0xFF, 0xA9};
const Bytes kNullAnswer{0x55, 0x00, 0x02, 0x80, 0x00, 0xFF, 0x29};
const Bytes kStatusAnswer = request(0x80, 0x01, text(0x04, "main mode"));

Bytes eqBands(std::size_t count)
{
    Bytes out;
    for (std::size_t i = 0; i < count; ++i)
        out = out + Bytes{0x00, 0, 36, 20};
    return out;
}

AnswerRule aimedAt(int cmd, int op, int subCode, int count, AnswerRule::Action action = AnswerRule::Action::ErrorBit)
{
    AnswerRule r;
    r.cmd = cmd, r.op = op, r.subCode = subCode, r.count = count, r.action = action;
    return r;
}
} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

    SimLink link;

    Bytes ask(std::uint8_t cmd, std::uint8_t op, const Bytes &data, int timeoutMs = 2000)
    {
        return link.transact(request(cmd, op, data), timeoutMs);
    }
    // Waits for the bridge back from its `n`th restart and opens it again.
    void reopenAfter(int n)
    {
        link.close();
        QTRY_VERIFY_WITH_TIMEOUT(countEvents("bridge back on the bus") >= n && status().enumerated, 5000);
        QVERIFY(link.open());
    }
    bool writeBlock(std::uint8_t sub, std::uint8_t id, const Bytes &bytes)
    {
        return ask(0x01, 0x02, Bytes{sub, id} + bytes) == request(0x81, 0x02, {sub, id});
    }
    // Not answered, as the upload worker expects.
    void closeDownload(std::uint8_t sub, std::uint8_t closing, std::uint16_t size)
    {
        link.send(request(0x01, 0x02, {sub, closing, std::uint8_t(size >> 8), std::uint8_t(size), 0xDE, 0xAD, 0xBE, 0xEF}));
    }

private slots:
    void init()
    {
        reset();
        Timing t = Timing::instant();
        t.bootWindowMs = 300;
        setTiming(t);
        plug();
        QVERIFY(link.open());
    }
    void cleanup() { link.close(); }

    // Bytes reach the device only while feature report 0x41 has the UART on.
    void uartGatesTheBytes()
    {
        QVERIFY(link.setUart(false));
        QVERIFY(link.transact(kNullRead, 50).empty());
        QCOMPARE(countEvents("UART disabled: 7 bytes lost"), 1);
        QVERIFY(link.setUart(true));
        QCOMPARE(link.transact(kNullRead), kNullAnswer);
    }

    // The line other tests time themselves by: 115200 baud, 1 ms latency, a 1 ms USB frame grid.
    void lineTiming()
    {
        setTiming(Timing());
        const auto byteTime = std::chrono::nanoseconds(86806);
        ask(0x01, 0x02, {0x02, 0x01});
        QCOMPARE(dataOf(ask(0x01, 0x02, Bytes{0x03, 0x00} + Bytes(512, 0x5A))), (Bytes{0x03, 0x00}));
        const WireEntry in = frames(Direction::ToDevice, 0x01, 0x02, 0x03).at(0);
        const WireEntry out = frames(Direction::FromDevice, 0x81, 0x02, 0x03).at(0);
        QVERIFY(in.end - in.begin >= 520 * byteTime);
        QCOMPARE(out.begin - in.end, Clock::duration(std::chrono::microseconds(1000)));
        QCOMPARE(out.end - out.begin, 9 * byteTime);   // the 9-byte acknowledgement
        for (const UsbEvent &e : usbLog())
            if (e.kind == UsbKind::Out || e.kind == UsbKind::In)
                QCOMPARE(e.time.time_since_epoch() % std::chrono::milliseconds(1), Clock::duration::zero());
    }

    // Frames with a wrong checksum or no end are no requests; noise before a frame is skipped.
    void onlyWholeValidFramesAreRequests()
    {
        Bytes bad = request(0x00, 0x00);
        bad.back() ^= 0x01;
        QVERIFY(link.transact(bad, 50).empty());
        QCOMPARE(wireLog().back().kind, Kind::BadChecksum);
        const Bytes gains = request(0x01, 0x03, {0x40, 48, 36, 36});
        QCOMPARE(link.transact(Bytes{0x00, 0x12, 0x34} + gains), request(0x81, 0x03, {0x40}));
        link.send(Bytes{0x55, 0x00, 0x03, 0x00});
        QTRY_COMPARE(wireLog().back().kind, Kind::Incomplete);
        QCOMPARE(link.transact(kNullRead), kNullAnswer);
        QCOMPARE(status().requestsReceived, 2);
        QCOMPARE(frames(Direction::ToDevice, 0x01, 0x03, 0x40).at(0).bytes, gains);
    }

    // Writes, some as whole frames spelled out byte by byte, land in the fields they name, and
    // reads give them back big-endian in the layouts the controllers decode.
    void writesDecodeTheWire_data()
    {
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<Probe>("probe");
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<Bytes>("readBack");   // empty: the write's own data
        QTest::newRow("output delays") << request(0x01, 0x04, {0x40, 0x01, 0x00, 0x00, 0x02, 0x08, 0xE8})
            << +[](const DeviceState &s) { return QList<int>(s.outputDelays.begin(), s.outputDelays.end()); } << QList<int>{256, 2, 2280} << Bytes{};
        QTest::newRow("EQ") << Bytes{0x55, 0x00, 0x08, 0x01, 0x06, 0x30, 0x01, 0xC1, 0x0A, 0x24, 0x14, 0xFE, 0x68}
            << +[](const DeviceState &s) {
                   const EqBand &a = s.eqs[0].bands[0];
                   return QList<int>{s.eqs[0].enabled, a.control, a.frequency, a.gain, a.qualityFactor, s.eqs[0].bands[1].control};
               }
            << QList<int>{1, 0xC1, 10, 36, 20, 0} << Bytes{0x30, 0x01, 0xC1, 0x0A, 0x24, 0x14} + eqBands(7);
        QTest::newRow("second compressor") << Bytes{0x55, 0x00, 0x07, 0x01, 0x07, 0x41, 0x03, 0x04, 0x05, 0x01, 0xFF, 0x4E}
            << +[](const DeviceState &s) {
                   const Compressor &c = s.compressors[1];
                   return QList<int>{c.ratio, c.decay, c.threshold, c.enabled, s.compressors[0].ratio};
               }
            << QList<int>{3, 4, 5, 1, 0} << Bytes{};
        QTest::newRow("network delay compensation") << Bytes{0x55, 0x00, 0x05, 0x01, 0xFD, 0x01, 0x01, 0x2C, 0xFE, 0x7A}
            << +[](const DeviceState &s) { return QList<int>{s.networkDelayCompensation}; } << QList<int>{300} << Bytes{};
    }

    void writesDecodeTheWire()
    {
        QFETCH(Bytes, frame);
        QFETCH(Probe, probe);
        QFETCH(QList<int>, expected);
        QFETCH(Bytes, readBack);
        QCOMPARE(link.transact(frame), request(0x81, frame[4], {frame[5]}));
        QCOMPARE(probe(state()), expected);
        QCOMPARE(dataOf(ask(0x00, frame[4], {frame[5]})), readBack.empty() ? dataOf(frame) : readBack);
    }

    // Each limit of a write from both sides: the last value taken, the first refused.
    void refusals_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<bool>("taken");
        auto pair = [](const char *what, int op, const Bytes &last, const Bytes &first) {
            QTest::addRow("%s, last taken", what) << op << last << true;
            QTest::addRow("%s, first refused", what) << op << first << false;
        };
        pair("gain", 0x03, {0x40, 36, 36, 72}, {0x40, 36, 36, 73});
        pair("delay", 0x04, {0x40, 0, 0, 0, 0, 0x08, 0xE8}, {0x40, 0, 0, 0, 0, 0x08, 0xE9});
        pair("EQ frequency", 0x06, {0x31, 1, 0xC1, 120, 36, 20}, {0x31, 1, 0xC1, 121, 36, 20});
        pair("EQ gain", 0x06, {0x31, 1, 0xC1, 10, 72, 20}, {0x31, 1, 0xC1, 10, 73, 20});
        pair("EQ Q", 0x06, {0x31, 1, 0xC1, 10, 36, 40}, {0x31, 1, 0xC1, 10, 36, 41});
        pair("EQ band type", 0x06, {0x31, 1, 0xC7, 10, 36, 20}, {0x31, 1, 0xC8, 10, 36, 20});
        pair("EQ bands", 0x06, Bytes{0x30, 1} + eqBands(8), Bytes{0x30, 1} + eqBands(9));
        pair("EQ enable", 0x06, {0x31, 1}, {0x31, 2});
        pair("ratio", 0x07, {0x42, 10, 0, 0, 1}, {0x42, 11, 0, 0, 1});
        pair("threshold", 0x07, {0x42, 0, 0, 120, 1}, {0x42, 0, 0, 121, 1});
        QTest::newRow("two gains") << 0x03 << Bytes{0x40, 36, 36} << false;
        QTest::newRow("EQ partial band") << 0x06 << Bytes{0x30, 0x01, 0xC1, 0x0A, 0x24} << false;
        QTest::newRow("short compressor") << 0x07 << Bytes{0x40, 0, 0, 0} << false;
        QTest::newRow("main image in main mode") << 0x02 << Bytes{0x00, 0x01} << false;
    }

    void refusals()
    {
        QFETCH(int, op);
        QFETCH(Bytes, data);
        QFETCH(bool, taken);
        QCOMPARE(ask(0x01, std::uint8_t(op), data), request(taken ? 0x81 : 0xC1, std::uint8_t(op), {data[0]}));
    }

    // After a restart the boot loader waits for a Null Command read: without one the main
    // firmware starts when the window closes, with one it holds.
    void bootWindow()
    {
        QVERIFY(ask(0x01, 0x00, {}, 20).empty());   // the reboot request is not answered
        reopenAfter(1);
        QCOMPARE(ask(0x00, 0x01, {0x04}), request(0x80, 0x01, text(0x04, "boot mode")));
        QCOMPARE(ask(0x00, 0x03, {0x40}), request(0xC0, 0x03, {0x40}));
        QTRY_COMPARE_WITH_TIMEOUT(status().mode, RunMode::Main, 5000);
        QCOMPARE(ask(0x00, 0x01, {0x04}), kStatusAnswer);
        reboot();
        reopenAfter(2);
        QCOMPARE(link.transact(kNullRead), kNullAnswer);
        QTest::qWait(timing().bootWindowMs + 200);
        QCOMPARE(ask(0x00, 0x01, {0x04}), request(0x80, 0x01, text(0x04, "boot mode")));
    }

    // A download is discarded unless its closing matches its opening and its size.
    void downloadsDiscarded()
    {
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        QVERIFY(writeBlock(0x03, 0, Bytes(16, 1)));
        closeDownload(0x02, 0x82, 16);
        QTRY_COMPARE(countEvents("closing 0x82 does not match opening 0x01"), 1);
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        QVERIFY(writeBlock(0x03, 0, Bytes(16, 1)));
        closeDownload(0x02, 0x81, 17);
        QTRY_COMPARE(countEvents("size 17 but 16 bytes received"), 1);
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        QVERIFY(writeBlock(0x03, 0, Bytes(16, 2)));
        closeDownload(0x02, 0x81, 16);
        QTRY_VERIFY(image(ImageKind::Dsp).present);
    }

    // Every random answer fault at probability 1, as the host and the wire log see it.
    void answerFaults_data()
    {
        QTest::addColumn<Faults>("faults");
        QTest::addColumn<int>("sub");
        QTest::addColumn<Bytes>("received");
        QTest::addColumn<int>("flag");
        Bytes corrupt = kStatusAnswer;
        corrupt.back() = std::uint8_t(corrupt.back() + 1);
        Faults f[6];
        f[0].dropReply = f[1].corruptChecksum = f[2].errorBit = f[3].splitReply = f[4].noise = 1;
        f[5].silentStatus = true;
        QTest::newRow("dropReply") << f[0] << 0x04 << Bytes{} << int(Dropped);
        QTest::newRow("corruptChecksum") << f[1] << 0x04 << corrupt << int(CorruptChecksum);
        QTest::newRow("errorBit") << f[2] << 0x04 << request(0xC0, 0x01, text(0x04, "main mode")) << int(ErrorBit);
        QTest::newRow("splitReply") << f[3] << 0x04 << kStatusAnswer << int(Split);
        QTest::newRow("noise") << f[4] << 0x04 << kStatusAnswer << 0;
        QTest::newRow("silentStatus") << f[5] << 0x04 << Bytes{} << int(Unanswered);
        QTest::newRow("silentStatus, security") << f[5] << 0x05 << request(0x80, 0x01, text(0x05, "unlocked")) << 0;
    }

    void answerFaults()
    {
        QFETCH(Faults, faults);
        QFETCH(int, sub);
        QFETCH(Bytes, received);
        QFETCH(int, flag);
        Timing t = Timing::instant();
        t.usbIntervalUs = 1000;   // reports form on the grid, whatever the reader does
        setTiming(t);
        setFaults(faults);
        QCOMPARE(ask(0x00, 0x01, {std::uint8_t(sub)}, received.empty() ? 50 : 2000), received);
        const WireEntry last = wireLog().back();
        QCOMPARE(last.flags, unsigned(flag));
        QCOMPARE(frames(Direction::FromDevice).size(), std::size_t(received.empty() ? 0 : 1));
        QCOMPARE(link.reportSizes.size(), std::size_t(flag == int(Split) ? 2 : received.empty() ? 0 : 1));
        if (flag == int(Split))   // two pieces 20 ms apart
            QCOMPARE(last.end - last.begin, Clock::duration(std::chrono::milliseconds(faults.splitGapMs)));
        QCOMPARE(link.skipped.empty(), faults.noise == 0);   // 1..3 bytes, none of them a start
        QVERIFY(link.skipped.size() <= 3 && std::count(link.skipped.begin(), link.skipped.end(), 0x55) == 0);
    }

    // A rule aimed by kind, OP and sub-code takes exactly the answers it matches, `count` of them.
    void answerRuleHitsOnlyItsTarget_data()
    {
        QTest::addColumn<AnswerRule>("rule");
        QTest::addColumn<QString>("hits");   // one mark per request of the traffic below
        QTest::newRow("gains reads of 0x40, twice") << aimedAt(0, 0x03, 0x40, 2) << "x...x..";
        QTest::newRow("gains reads of 0x40, every one") << aimedAt(0, 0x03, 0x40, -1) << "x...x.x";
        QTest::newRow("OP 0x03, any kind and sub-code") << aimedAt(-1, 0x03, -1, -1) << "xxx.x.x";
        QTest::newRow("writes") << aimedAt(1, -1, -1, -1) << "..x....";
        QTest::newRow("next three answers") << aimedAt(-1, -1, -1, 3) << "xxx....";
        QTest::newRow("sub-code 0x40 of any OP") << aimedAt(-1, -1, 0x40, -1) << "x.xxx.x";
    }

    void answerRuleHitsOnlyItsTarget()
    {
        QFETCH(AnswerRule, rule);
        QFETCH(QString, hits);
        const std::vector<Bytes> traffic = {
            request(0x00, 0x03, {0x40}), request(0x00, 0x03, {0x80}), request(0x01, 0x03, {0x40, 48, 36, 36}),
            request(0x00, 0x04, {0x40}), request(0x00, 0x03, {0x40}), request(0x00, 0x01, {0x04}),
            request(0x10, 0x03, {0x40}),   // a read by its low four bits, refused
        };
        addAnswerRule(rule);
        for (std::size_t i = 0; i < traffic.size(); ++i) {
            QVERIFY(!link.transact(traffic[i]).empty());
            QVERIFY2(wireLog().back().has(ErrorBit) == (hits[int(i)] == QLatin1Char('x')), qPrintable(QString::number(i)));
        }
    }

    // Requests whose starts lie closer than 9 ms are flagged: one write at a baud rate that
    // makes the first frame last `gapUs`, or two writes back to back or a wait apart.
    void crowdedRequests_data()
    {
        QTest::addColumn<int>("gapUs");
        QTest::addColumn<int>("writes");
        QTest::addColumn<bool>("crowded");
        QTest::newRow("8.8 ms apart") << 8800 << 1 << true;
        QTest::newRow("9.2 ms apart") << 9200 << 1 << false;
        QTest::newRow("two writes at once") << 0 << 2 << true;
        QTest::newRow("two writes 15 ms apart") << 15000 << 2 << false;
    }

    void crowdedRequests()
    {
        QFETCH(int, gapUs);
        QFETCH(int, writes);
        QFETCH(bool, crowded);
        Timing t = Timing::instant();
        if (writes == 1)
            t.baud = int(std::lround(1e6 * t.bitsPerByte * 7 / gapUs));
        setTiming(t);
        link.send(writes == 1 ? kNullRead + kNullRead : kNullRead);
        if (writes == 2) {
            QTest::qWait(gapUs / 1000);
            link.send(kNullRead);
        }
        QTRY_COMPARE(frames(Direction::ToDevice).size(), std::size_t(2));
        const std::vector<WireEntry> in = frames(Direction::ToDevice);
        QVERIFY(!in[0].has(Crowded));
        QCOMPARE(in[1].has(Crowded), crowded);
        QCOMPARE(crowdedFrames(), crowded ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_sim_device.moc"
