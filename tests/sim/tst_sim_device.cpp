// The virtual Wdx behind the bridge: its answers family by family, its refusals, the lock, the
// boot loader, the firmware channels, and every fault knob as the wire log shows it.

#include "SimLink.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>

using namespace VirtualWdx;

Q_DECLARE_METATYPE(VirtualWdx::Bytes)
Q_DECLARE_METATYPE(VirtualWdx::AnswerRule)

namespace {
Bytes settingsFingerprint(const DeviceState &s)
{
    Bytes b(s.outputGains.begin(), s.outputGains.end());
    for (std::uint16_t d : s.outputDelays) {
        b.push_back(std::uint8_t(d >> 8));
        b.push_back(std::uint8_t(d));
    }
    b.insert(b.end(), s.preProcessingPatches.begin(), s.preProcessingPatches.end());
    b.insert(b.end(), s.outputPatches.begin(), s.outputPatches.end());
    for (const Eq &eq : s.eqs) {
        b.push_back(eq.enabled);
        for (const EqBand &band : eq.bands)
            b.insert(b.end(), {band.control, band.frequency, band.gain, band.qualityFactor});
    }
    for (const Compressor &c : s.compressors)
        b.insert(b.end(), {c.ratio, c.decay, c.threshold, std::uint8_t(c.enabled)});
    b.insert(b.end(), {s.hwMode, s.mainMode, s.subMode, s.digitalMux, std::uint8_t(s.locked)});
    return b;
}

int countEvents(const std::string &text)
{
    int n = 0;
    for (const WireEntry &e : wireLog())
        n += e.kind == Kind::Event && e.text.find(text) != std::string::npos;
    return n;
}

bool hasEvent(const std::string &text)
{
    return countEvents(text) > 0;
}

std::string statusText()
{
    return status().mode == RunMode::Boot ? "boot mode" : status().mode == RunMode::Main ? "main mode" : "restarting";
}

AnswerRule aimedAt(int cmd, int op, int subCode, int count, AnswerRule::Action action)
{
    AnswerRule r;
    r.cmd = cmd;
    r.op = op;
    r.subCode = subCode;
    r.count = count;
    r.action = action;
    return r;
}

Bytes block(std::size_t size, std::uint8_t seed, const std::string &inside = {}, std::size_t at = 0)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = std::uint8_t(seed + i * 7);
    std::copy(inside.begin(), inside.end(), b.begin() + std::ptrdiff_t(at));
    return b;
}
} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

    SimLink link;

    Bytes ask(std::uint8_t cmd, std::uint8_t op, const Bytes &data, int timeoutMs = 2000)
    {
        return link.ask(cmd, op, data, timeoutMs);
    }

    // Waits for the bridge to have come back after a restart that began after `returns` returns.
    void reopenAfter(int returns)
    {
        link.close();
        QTRY_VERIFY_WITH_TIMEOUT(countEvents("bridge back on the bus") > returns && status().enumerated, 5000);
        QVERIFY(link.open());
    }

private slots:
    void init()
    {
        reset();
        setTiming(Timing::instant());
        plug();
        QVERIFY(link.open());
    }
    void cleanup() { link.close(); }
    void cleanupTestCase() { reset(); }

    void identityStatusAndVersions()
    {
        const DeviceState s = state();
        QVERIFY(s.name.size() >= 14);
        QCOMPARE(s.name.substr(0, 7), s.type);
        QCOMPARE(s.name.substr(s.name.size() - 6), s.serial);
        QCOMPARE(ask(0x00, 0x01, {0x01}), request(0x80, 0x01, textData(0x01, s.name)));
        QCOMPARE(ask(0x00, 0x01, {0x02}), request(0x80, 0x01, textData(0x02, "004217")));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x03})), textData(0x03, "2.01"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x0A})), textData(0x0A, "2.01"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x0B})), textData(0x0B, "2.01/2.01"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "main mode"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x05})), textData(0x05, "unlocked"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x42})), textData(0x42, "Main B"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x06})), (Bytes{0x06, 6}));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x80})).size(), std::size_t(7));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x81})).size(), std::size_t(4));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x86})).size(), std::size_t(4));

        // The knob that makes the versions differ from the application's package.
        update([](DeviceState &d) {
            d.mainVersion = "2.00";
            d.subPresetVersion = "1.90";
        });
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x03})), textData(0x03, "2.00"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x0B})), textData(0x0B, "2.01/1.90"));
    }

    void readsAnswerTheState()
    {
        update([](DeviceState &s) {
            s.outputGains = {{48, 0, 72}};
            s.frontPanelGains = {{1, 2, 3}};
            s.outputDelays = {{12, 2280, 0}};
            s.preProcessingPatches = {{0x09, 0x30}};
            s.outputPatches = {{2, 0, 1}};
            s.eqs[1].enabled = true;
            s.eqs[1].bands[0] = {0xC1, 10, 36, 20};
            s.eqs[1].bands[7] = {0x85, 120, 0, 40};
            s.compressors[1] = {5, 2, 80, true};
            s.mainPreset = "AB1";
            s.subPreset = "CD2";
            s.hwMode = 0;
            s.mainMode = 3;
            s.subMode = 2;
            s.digitalMux = 2;
            s.networkDelayCompensation = 300;
        });
        QCOMPARE(dataOf(ask(0x00, 0x03, {0x40})), (Bytes{0x40, 48, 0, 72}));
        QCOMPARE(dataOf(ask(0x00, 0x03, {0x80})), (Bytes{0x80, 1, 2, 3}));
        QCOMPARE(dataOf(ask(0x00, 0x04, {0x40})), (Bytes{0x40, 0x00, 0x0C, 0x08, 0xE8, 0x00, 0x00}));
        QCOMPARE(dataOf(ask(0x00, 0x04, {0x20})).size(), std::size_t(13));
        QCOMPARE(dataOf(ask(0x00, 0x05, {0x30})), (Bytes{0x30, 0x09}));
        QCOMPARE(dataOf(ask(0x00, 0x05, {0x31})), (Bytes{0x31, 0x30}));
        QCOMPARE(dataOf(ask(0x00, 0x05, {0x42})), (Bytes{0x42, 1}));
        const Bytes eq = dataOf(ask(0x00, 0x06, {0x31}));
        QCOMPARE(eq.size(), std::size_t(34));
        QCOMPARE(Bytes(eq.begin(), eq.begin() + 6), (Bytes{0x31, 0x01, 0xC1, 10, 36, 20}));
        QCOMPARE(Bytes(eq.end() - 4, eq.end()), (Bytes{0x85, 120, 0, 40}));
        QCOMPARE(dataOf(ask(0x00, 0x07, {0x41})), (Bytes{0x41, 5, 2, 80, 1}));
        QCOMPARE(dataOf(ask(0x00, 0x08, {0x00})), textData(0x00, "AB1CD2"));
        QCOMPARE(dataOf(ask(0x00, 0x08, {0x01})), (Bytes{0x01, 0, 3, 2}));
        QCOMPARE(dataOf(ask(0x00, 0xFD, {0x00})), (Bytes{0x00, 2}));
        QCOMPARE(dataOf(ask(0x00, 0xFD, {0x01})), (Bytes{0x01, 0x01, 0x2C}));
    }

    void writesAreAcknowledgedAndStick()
    {
        struct Write
        {
            std::uint8_t op;
            Bytes data;
            std::function<bool(const DeviceState &)> holds;
        };
        const std::vector<Write> writes = {
            {0x03, {0x40, 48, 36, 0}, [](const DeviceState &s) { return s.outputGains == std::array<std::uint8_t, 3>{{48, 36, 0}}; }},
            {0x04, {0x40, 0x01, 0x00, 0x00, 0x02, 0x08, 0xE8},
             [](const DeviceState &s) { return s.outputDelays == std::array<std::uint16_t, 3>{{256, 2, 2280}}; }},
            {0x04, {0x20, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}, [](const DeviceState &s) { return s.inputDelays[5] == 6; }},
            {0x05, {0x31, 0x3F}, [](const DeviceState &s) { return s.preProcessingPatches[1] == 0x3F; }},
            {0x05, {0x42, 0x07}, [](const DeviceState &s) { return s.outputPatches[2] == 0x07; }},
            {0x06, {0x30, 0x01, 0xC1, 0x0A, 0x24, 0x14},
             [](const DeviceState &s) { return s.eqs[0].enabled && s.eqs[0].bands[0] == EqBand{0xC1, 10, 36, 20}; }},
            {0x07, {0x41, 3, 4, 5, 1},
             [](const DeviceState &s) { const Compressor &c = s.compressors[1]; return c.ratio == 3 && c.decay == 4 && c.threshold == 5 && c.enabled; }},
            {0x08, {0x01, 2, 3}, [](const DeviceState &s) { return s.mainMode == 2 && s.subMode == 3; }},
            {0xFD, {0x00, 0x02}, [](const DeviceState &s) { return s.digitalMux == 2; }},
            {0xFD, {0x01, 0x01, 0x2C}, [](const DeviceState &s) { return s.networkDelayCompensation == 300; }},
        };
        for (const Write &w : writes) {
            const QByteArray what = QByteArray::fromStdString(toHex(w.data));
            QVERIFY2(ask(0x01, w.op, w.data) == request(0x81, w.op, {w.data[0]}), what);
            QVERIFY2(w.holds(state()), what);
        }
        // Band writes leave the bands they do not carry alone.
        QCOMPARE(state().eqs[0].bands[1], EqBand{});
    }

    void refusalsAreNegativeAcknowledgements_data()
    {
        QTest::addColumn<int>("cmd");
        QTest::addColumn<int>("op");
        QTest::addColumn<Bytes>("data");
        QTest::newRow("unknown OP") << 0 << 0x0A << Bytes{0x00};
        QTest::newRow("device info write") << 1 << 0x01 << Bytes{0x00, 0x41};
        QTest::newRow("device info unknown sub-code") << 0 << 0x01 << Bytes{0x0C};
        QTest::newRow("input name out of range") << 0 << 0x01 << Bytes{0x26};
        QTest::newRow("gains unknown sub-code") << 0 << 0x03 << Bytes{0x41};
        QTest::newRow("gains read with a value") << 0 << 0x03 << Bytes{0x40, 0x00};
        QTest::newRow("gains two values") << 1 << 0x03 << Bytes{0x40, 36, 36};
        QTest::newRow("gain above +18 dB") << 1 << 0x03 << Bytes{0x40, 73, 36, 36};
        QTest::newRow("front panel gains written") << 1 << 0x03 << Bytes{0x80, 36, 36, 36};
        QTest::newRow("delay above 190 ms") << 1 << 0x04 << Bytes{0x40, 0x08, 0xE9, 0, 0, 0, 0};
        QTest::newRow("pre-processing patch of a 7th input") << 1 << 0x05 << Bytes{0x30, 0x40};
        QTest::newRow("fourth output patch") << 1 << 0x05 << Bytes{0x43, 0x00};
        QTest::newRow("third EQ") << 0 << 0x06 << Bytes{0x32};
        QTest::newRow("EQ partial band") << 1 << 0x06 << Bytes{0x30, 0x01, 0xC1, 0x0A, 0x24};
        QTest::newRow("EQ nine bands") << 1 << 0x06 << [] { Bytes d{0x30, 0x01}; d.resize(2 + 36, 0); return d; }();
        QTest::newRow("EQ frequency 121") << 1 << 0x06 << Bytes{0x30, 0x01, 0xC1, 121, 0x24, 0x14};
        QTest::newRow("EQ band type 8") << 1 << 0x06 << Bytes{0x30, 0x01, 0xC8, 0x0A, 0x24, 0x14};
        QTest::newRow("EQ enable byte 2") << 1 << 0x06 << Bytes{0x30, 0x02};
        QTest::newRow("compressor ratio 11") << 1 << 0x07 << Bytes{0x40, 11, 0, 0, 1};
        QTest::newRow("compressor threshold 121") << 1 << 0x07 << Bytes{0x40, 0, 0, 121, 1};
        QTest::newRow("compressor short") << 1 << 0x07 << Bytes{0x40, 0, 0, 0};
        QTest::newRow("preset written") << 1 << 0x08 << Bytes{0x00, 'A', 'B', '1', 'C', 'D', '1'};
        QTest::newRow("security read") << 0 << 0x09 << Bytes{0x00};
        QTest::newRow("unlock length mismatch") << 1 << 0x09 << Bytes{0x00, 0x05, '1', '2'};
        QTest::newRow("lock with an empty PIN") << 1 << 0x09 << Bytes{0x01, 0x00};
        QTest::newRow("digital mux unknown item") << 0 << 0xFD << Bytes{0x02};
        QTest::newRow("firmware unknown item") << 0 << 0x02 << Bytes{0x04};
        QTest::newRow("Null Command with data") << 0 << 0x00 << Bytes{0x00};
    }

    void refusalsAreNegativeAcknowledgements()
    {
        QFETCH(int, cmd);
        QFETCH(int, op);
        QFETCH(Bytes, data);
        const Bytes before = settingsFingerprint(state());
        const Bytes answer = ask(std::uint8_t(cmd), std::uint8_t(op), data);
        QCOMPARE(answer, request(std::uint8_t(0xC0 | cmd), std::uint8_t(op), {data[0]}));
        QCOMPARE(settingsFingerprint(state()), before);
    }

    void lockUnlockAndLockedEdits()
    {
        update([](DeviceState &s) { s.locked = true; });
        const Bytes gains{0x40, 48, 48, 48};
        QCOMPARE(ask(0x01, 0x03, gains), request(0xC1, 0x03, {0x40}));
        QCOMPARE(dataOf(ask(0x00, 0x03, {0x40})), (Bytes{0x40, 36, 36, 36}));   // reads still answered
        QCOMPARE(ask(0x01, 0x09, {0x00, 0x04, '1', '2', '3', '4'}), request(0x81, 0x09, {0x00, 0x00}));
        QVERIFY(state().locked);
        QVERIFY(hasEvent("unlock refused: wrong PIN"));
        QCOMPARE(ask(0x01, 0x09, {0x00, 0x04, '0', '0', '0', '0'}), request(0x81, 0x09, {0x00, 0x01}));
        QVERIFY(!state().locked);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x05})), textData(0x05, "unlocked"));
        QCOMPARE(ask(0x01, 0x03, gains), request(0x81, 0x03, {0x40}));

        // Locking sets the PIN; a locked device does not take another one.
        QCOMPARE(dataOf(ask(0x01, 0x09, {0x01, 0x04, '4', '3', '2', '1'})), (Bytes{0x01, 0x01}));
        QVERIFY(state().locked);
        QCOMPARE(state().pin, std::string("4321"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x05})), textData(0x05, "locked"));
        QCOMPARE(ask(0x01, 0x09, {0x01, 0x01, '9'}), request(0xC1, 0x09, {0x01}));
        QCOMPARE(dataOf(ask(0x01, 0x09, {0x00, 0x04, '0', '0', '0', '0'})), (Bytes{0x00, 0x00}));
        QCOMPARE(dataOf(ask(0x01, 0x09, {0x00, 0x04, '4', '3', '2', '1'})), (Bytes{0x00, 0x01}));

        // The hardware mode switch keeps the speaker variants out of the application's hands.
        update([](DeviceState &s) { s.hwMode = 2; });
        QCOMPARE(ask(0x01, 0x08, {0x01, 1, 1}), request(0xC1, 0x08, {0x01}));
    }

    void rebootLeavesAndReturnsInBootMode()
    {
        // The reboot request gets no answer; the bridge leaves the bus and comes back.
        QVERIFY(ask(0x01, 0x00, {}, 30).empty());
        QCOMPARE(status().mode, RunMode::Restarting);
        reopenAfter(0);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "boot mode"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x01})).size(), state().name.size() + 1);   // identity still answered
        QCOMPARE(ask(0x00, 0x03, {0x40}), request(0xC0, 0x03, {0x40}));           // settings are not
        // Nobody held the boot loader: the main firmware starts after the window.
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), std::string("main mode"), 5000);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "main mode"));

        // Again, this time caught by a Null Command read: it stays in boot mode.
        reboot();
        reopenAfter(1);
        QCOMPARE(ask(0x00, 0x00, {}), request(0x80, 0x00, {}));
        QVERIFY(status().bootLocked);
        QVERIFY(hasEvent("held in boot mode"));
        QTest::qWait(timing().bootWindowMs + 200);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "boot mode"));
        reboot();   // a restart releases the lock
        reopenAfter(2);
        QVERIFY(!status().bootLocked);
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), std::string("main mode"), 5000);
    }

    void mainImageIsAppliedAndTheDeviceRestarts()
    {
        Timing t = Timing::instant();
        t.mainApplyMs = 300;
        setTiming(t);
        QCOMPARE(ask(0x01, 0x02, {0x00, 0x01}), request(0xC1, 0x02, {0x00}));   // not while the main firmware runs
        reboot();
        reopenAfter(0);
        QCOMPARE(ask(0x00, 0x00, {}), request(0x80, 0x00, {}));
        QCOMPARE(dataOf(ask(0x00, 0x02, {0x00})), (Bytes{0x00, 0x00}));
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x00, 0x01})), (Bytes{0x00, 0x01}));
        QCOMPARE(dataOf(ask(0x00, 0x02, {0x00})), (Bytes{0x00, 0x01}));
        const Bytes blocks[3] = {block(64, 1), block(64, 2, "WDXVER2.02", 20), block(64, 3)};
        for (std::uint8_t id = 0; id < 3; ++id)
            QVERIFY(link.writeBlock(0x01, id, blocks[id]));
        Bytes readBack{0x01, 0x01};
        readBack.insert(readBack.end(), blocks[1].begin(), blocks[1].end());
        QCOMPARE(dataOf(ask(0x00, 0x02, {0x01, 0x01})), readBack);
        link.closeDownload(0x00, 0x81, 192);
        QVERIFY(link.receiveFrame(50).empty());   // closing is not answered
        QVERIFY(status().busy);
        reopenAfter(1);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "boot mode"));
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), std::string("main mode"), 5000);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x03})), textData(0x03, "2.02"));
        const Image image = VirtualWdx::image(ImageKind::Main);
        QVERIFY(image.present);
        QCOMPARE(image.blocks.size(), std::size_t(3));
        QCOMPARE(image.blocks.at(2), blocks[2]);
        QCOMPARE(image.size, std::uint16_t(192));
        QCOMPARE(image.checksum, (std::array<std::uint8_t, 4>{{0xDE, 0xAD, 0xBE, 0xEF}}));
        QVERIFY(hasEvent("image applied: main image 2.02"));
    }

    void dspAndPresetsLeaveTheDeviceBusy()
    {
        Timing t = Timing::instant();
        t.dspBusyMs = 1000;
        t.presetBusyMs = 200;
        setTiming(t);
        update([](DeviceState &s) { s.dspVersion = "1.00"; });
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        QVERIFY(link.writeBlock(0x03, 0, block(100, 9)));
        QVERIFY(link.writeBlock(0x03, 1, block(100, 8)));
        link.closeDownload(0x02, 0x81, 200);
        // Busy: a status read goes unanswered, then the device answers again.
        QVERIFY(ask(0x00, 0x01, {0x04}, 100).empty());
        QTRY_VERIFY_WITH_TIMEOUT(!ask(0x00, 0x01, {0x04}, 100).empty(), 5000);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x0A})), textData(0x0A, "2.01"));   // no tag: the fallback version
        QCOMPARE(image(ImageKind::Dsp).blocks.size(), std::size_t(2));
        bool unansweredBusy = false;
        for (const WireEntry &e : wireLog())
            unansweredBusy |= e.has(Unanswered) && e.text == "busy applying an image";
        QVERIFY(unansweredBusy);

        // A main-speaker preset: its id from block 0, its version from its tag.
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x02})), (Bytes{0x02, 0x02}));
        Bytes first = block(512, 4, "AB1", 0);
        std::copy_n("PASS", 4, first.begin() + 135);
        std::copy_n("WDXVER2.05", 10, first.begin() + 200);
        QVERIFY(link.writeBlock(0x03, 0, first));
        link.closeDownload(0x02, 0x82, 512);
        QTRY_COMPARE_WITH_TIMEOUT(state().mainPreset, std::string("AB1"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!status().busy, 5000);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x0B})), textData(0x0B, "2.05/2.01"));
        QCOMPARE(dataOf(ask(0x00, 0x08, {0x00})), textData(0x00, "AB1AS1"));

        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x03})), (Bytes{0x02, 0x03}));
        QVERIFY(link.writeBlock(0x03, 0, block(512, 5, "CD1", 0)));
        link.closeDownload(0x02, 0x83, 512);
        QTRY_COMPARE_WITH_TIMEOUT(image(ImageKind::SubPreset).presetId, std::string("CD1"), 5000);
        QCOMPARE(state().subPreset, std::string("CD1"));
    }

    void downloadsThatAreRefusedOrDiscarded()
    {
        QCOMPARE(ask(0x01, 0x02, {0x03, 0x00, 1, 2, 3}), request(0xC1, 0x02, {0x03}));   // nothing open
        QCOMPARE(ask(0x00, 0x02, {0x03, 0x09}), request(0xC0, 0x02, {0x03}));            // unknown block
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        QCOMPARE(ask(0x01, 0x02, {0x02, 0x02}), request(0xC1, 0x02, {0x02}));            // already open
        QVERIFY(link.writeBlock(0x03, 0, block(16, 1)));
        link.closeDownload(0x02, 0x82, 16);                                                   // opened as DSP image
        QTRY_VERIFY(hasEvent("closing 0x82 does not match opening 0x01"));
        QCOMPARE(status().dspFwState, std::uint8_t(0));
        QVERIFY(!image(ImageKind::MainPreset).present);

        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        QVERIFY(link.writeBlock(0x03, 0, block(16, 1)));
        QVERIFY(link.writeBlock(0x03, 0, block(16, 2)));   // a retried block replaces the first copy
        link.closeDownload(0x02, 0x81, 32);
        QTRY_VERIFY(hasEvent("size 32 but 16 bytes received"));
        QVERIFY(!image(ImageKind::Dsp).present);

        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x03})), (Bytes{0x02, 0x03}));
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x00})), (Bytes{0x02, 0x00}));            // aborted
        QCOMPARE(dataOf(ask(0x00, 0x02, {0x02})), (Bytes{0x02, 0x00}));

        // Unplugging abandons a download in progress.
        QCOMPARE(dataOf(ask(0x01, 0x02, {0x02, 0x01})), (Bytes{0x02, 0x01}));
        unplug();
        QCOMPARE(status().dspFwState, std::uint8_t(0));
        QVERIFY(hasEvent("download abandoned on the DSP channel"));
    }

    void injectedBytesArriveAsSent()
    {
        const Bytes a = request(0x80, 0x00, {});
        const Bytes b = request(0x80, 0x01, textData(0x05, "locked"));
        Bytes both = a;
        both.insert(both.end(), b.begin(), b.end());
        link.reportSizes.clear();
        injectFromDevice(both);
        QCOMPARE(link.receiveFrame(), a);
        QCOMPARE(link.receiveFrame(), b);
        QCOMPARE(link.reportSizes, (std::vector<int>{int(both.size())}));   // one report carried both
        const std::vector<WireEntry> log = wireLog();
        QCOMPARE(log.back().kind, Kind::Noise);   // two frames are not one frame
        QVERIFY(log.back().has(Injected));
        injectFromDevice(b);
        QCOMPARE(frames(Direction::FromDevice, 0x80, 0x01, 0x05).size(), std::size_t(1));
    }

    void exactlyOneGainWriteCarrying48()
    {
        ask(0x00, 0x03, {0x40});
        ask(0x01, 0x03, {0x40, 48, 36, 36});
        ask(0x01, 0x04, {0x40, 0, 0, 0, 0, 0, 0});
        const std::vector<WireEntry> writes = frames(Direction::ToDevice, 0x01, 0x03, 0x40);
        QCOMPARE(writes.size(), std::size_t(1));
        QCOMPARE(writes[0].data, (Bytes{0x40, 48, 36, 36}));
        QVERIFY(writes[0].end >= writes[0].begin);
        QCOMPARE(frames(Direction::FromDevice, 0x81, 0x03).size(), std::size_t(1));
    }

    void droppedAndCorruptedAnswers()
    {
        Faults f;
        f.dropReply = 1;
        setFaults(f);
        QVERIFY(ask(0x00, 0x00, {}, 150).empty());
        const WireEntry dropped = wireLog().back();
        QVERIFY(dropped.has(Dropped));
        QCOMPARE(dropped.direction, Direction::FromDevice);
        QVERIFY(frames(Direction::FromDevice).empty());

        f = Faults();
        f.corruptChecksum = 1;
        setFaults(f);
        const Bytes bad = ask(0x00, 0x00, {});
        QCOMPARE(bad.size(), std::size_t(7));
        QVERIFY(sumCheck(bad, 5) != std::uint16_t((bad[5] << 8) | bad[6]));
        QCOMPARE(std::uint16_t(sumCheck(bad, 5) + 1), std::uint16_t((bad[5] << 8) | bad[6]));
        QVERIFY(wireLog().back().has(CorruptChecksum));
        QCOMPARE(wireLog().back().bytes, bad);

        f = Faults();
        f.errorBit = 1;
        setFaults(f);
        QCOMPARE(ask(0x00, 0x03, {0x40}), request(0xC0, 0x03, {0x40, 36, 36, 36}));
        QVERIFY(wireLog().back().has(ErrorBit));
    }

    void splitAnswersAndNoise()
    {
        // On the USB frame grid the reports form at times that do not depend on the reader.
        Timing t = Timing::instant();
        t.usbIntervalUs = 1000;
        setTiming(t);
        Faults f;
        f.splitReply = 1;
        f.splitGapMs = 40;
        setFaults(f);
        const Bytes answer = ask(0x00, 0x01, {0x03});
        QCOMPARE(answer, request(0x80, 0x01, textData(0x03, "2.01")));
        const WireEntry split = frames(Direction::FromDevice).back();
        QVERIFY(split.has(Split));
        QVERIFY(split.splitAt >= 1 && split.splitAt < answer.size());
        QCOMPARE(split.end - split.begin, Clock::duration(std::chrono::milliseconds(40)));
        std::vector<Clock::time_point> in;
        for (const UsbEvent &e : usbLog())
            if (e.kind == UsbKind::In)
                in.push_back(e.time);
        QCOMPARE(in.size(), std::size_t(2));
        QCOMPARE(in[1] - in[0], Clock::duration(std::chrono::milliseconds(40)));

        f = Faults();
        f.noise = 1;
        f.noiseBytes = 3;
        setFaults(f);
        link.skipped.clear();
        QCOMPARE(ask(0x00, 0x00, {}), request(0x80, 0x00, {}));
        QVERIFY(!link.skipped.empty() && link.skipped.size() <= 3);
        for (std::uint8_t b : link.skipped)
            QVERIFY(b != 0x55 && b != 0xAA);
        const std::vector<WireEntry> log = wireLog();
        QCOMPARE(log[log.size() - 2].kind, Kind::Noise);
        QCOMPARE(log[log.size() - 2].bytes, link.skipped);
    }

    void latencyAndSilentStatus()
    {
        Timing t = Timing::instant();
        t.latencyUs = 30000;
        setTiming(t);
        ask(0x00, 0x00, {});
        const WireEntry in = frames(Direction::ToDevice).back();
        const WireEntry out = frames(Direction::FromDevice).back();
        QCOMPARE(out.begin - in.end, Clock::duration(std::chrono::milliseconds(30)));

        // Jitter adds a seeded random 0..5 ms per answer.
        t.latencyUs = 1000;
        t.latencyJitterUs = 5000;
        setTiming(t);
        clearLogs();
        for (int i = 0; i < 10; ++i)
            ask(0x00, 0x00, {});
        const std::vector<WireEntry> ins = frames(Direction::ToDevice), outs = frames(Direction::FromDevice);
        QCOMPARE(outs.size(), std::size_t(10));
        std::set<Clock::duration::rep> delays;
        for (std::size_t i = 0; i < outs.size(); ++i) {
            const Clock::duration d = outs[i].begin - ins[i].end;
            QVERIFY(d >= std::chrono::milliseconds(1) && d <= std::chrono::milliseconds(6));
            delays.insert(d.count());
        }
        QVERIFY(delays.size() > 1);

        setTiming(Timing::instant());
        Faults f;
        f.silentStatus = true;
        setFaults(f);
        QVERIFY(ask(0x00, 0x01, {0x04}, 150).empty());
        QVERIFY(wireLog().back().has(Unanswered));
        QCOMPARE(wireLog().back().text, std::string("silentStatus fault"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x05})), textData(0x05, "unlocked"));
    }

    void stuckInBootMode()
    {
        Faults f;
        f.stayInBootMode = true;
        setFaults(f);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "boot mode"));
        QCOMPARE(ask(0x00, 0x07, {0x40}), request(0xC0, 0x07, {0x40}));
        QCOMPARE(frames(Direction::FromDevice, 0x80, 0x01, 0x04).back().data, textData(0x04, "boot mode"));
        QCOMPARE(frames(Direction::FromDevice, 0xC0, 0x07).size(), std::size_t(1));
        setFaults(Faults());
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "main mode"));
    }

    void unplugAfterFramesAndReplug()
    {
        Faults f;
        f.unplugAfterFrames = 2;
        f.replugAfterMs = 150;
        setFaults(f);
        QVERIFY(!ask(0x00, 0x00, {}).empty());
        QVERIFY(ask(0x00, 0x00, {}, 100).empty());   // the second request is the last
        QCOMPARE(link.lastRead, -1);
        QVERIFY(hasEvent("unplugAfterFrames fault"));
        bool answerLost = false;
        for (const WireEntry &e : wireLog())
            answerLost |= e.has(Lost) && e.text == "bridge not on the bus";
        QVERIFY(answerLost);
        QTRY_VERIFY_WITH_TIMEOUT(status().enumerated, 5000);
        QVERIFY(hasEvent("replugAfterMs fault"));
        QVERIFY(link.open());
        QVERIFY(!ask(0x00, 0x00, {}).empty());
    }

    void theSeedReplaysARun()
    {
        auto run = [this](std::uint32_t seed) {
            Faults f;
            f.seed = seed;
            f.dropReply = 0.3;
            f.errorBit = 0.3;
            f.corruptChecksum = 0.2;
            setFaults(f);
            clearLogs();
            for (int i = 0; i < 30; ++i) {
                link.send(request(0x00, 0x00));
                link.receiveFrame(30);
            }
            std::vector<unsigned> pattern;
            for (const WireEntry &e : wireLog())
                if (e.direction == Direction::FromDevice && e.kind == Kind::Frame)
                    pattern.push_back(e.flags);
            return pattern;
        };
        const std::vector<unsigned> first = run(7);
        QCOMPARE(first.size(), std::size_t(30));
        QCOMPARE(run(7), first);
        QVERIFY(run(8) != first);
    }

    // A rule aimed by kind, OP and sub-code takes exactly the answers it matches, `count` of them.
    void answerRuleHitsOnlyItsTarget_data()
    {
        QTest::addColumn<AnswerRule>("rule");
        QTest::addColumn<QString>("hits");   // one mark per request of the traffic below
        const auto E = AnswerRule::Action::ErrorBit;
        QTest::newRow("gains reads of 0x40, twice") << aimedAt(0, 0x03, 0x40, 2, E) << "x...x...";
        QTest::newRow("gains reads of 0x40, every one") << aimedAt(0, 0x03, 0x40, -1, E) << "x...xx.x";
        QTest::newRow("OP 0x03, any kind and sub-code") << aimedAt(-1, 0x03, -1, -1, E) << "xxx.xx.x";
        QTest::newRow("writes") << aimedAt(1, -1, -1, -1, E) << "..x.....";
        QTest::newRow("next three answers") << aimedAt(-1, -1, -1, 3, E) << "xxx.....";
        QTest::newRow("sub-code 0x40 of any OP") << aimedAt(-1, -1, 0x40, -1, E) << "x.xxxx.x";
        QTest::newRow("count 0") << aimedAt(-1, -1, -1, 0, E) << "........";
        QTest::newRow("nothing matches") << aimedAt(0, 0x05, -1, -1, E) << "........";
    }

    void answerRuleHitsOnlyItsTarget()
    {
        QFETCH(AnswerRule, rule);
        QFETCH(QString, hits);
        const std::vector<Bytes> traffic = {
            request(0x00, 0x03, {0x40}), request(0x00, 0x03, {0x80}), request(0x01, 0x03, {0x40, 48, 36, 36}),
            request(0x00, 0x04, {0x40}), request(0x00, 0x03, {0x40}), request(0x00, 0x03, {0x40}),
            request(0x00, 0x01, {0x04}), request(0x10, 0x03, {0x40}),   // a read by its low four bits, refused
        };
        addAnswerRule(rule);
        for (std::size_t i = 0; i < traffic.size(); ++i) {
            const Bytes answer = link.transact(traffic[i]);
            QVERIFY2(answer.size() >= 7 && answer == lastAnswer().bytes, qPrintable(QString::number(i)));
            QVERIFY2(lastAnswer().has(ErrorBit) == (hits[int(i)] == QLatin1Char('x')), qPrintable(QString::number(i)));
        }
    }

    // Each action on an output gains write, as the wire log and the host see it; the write takes
    // effect all the same.
    void answerRuleActions_data()
    {
        QTest::addColumn<AnswerRule>("rule");
        QTest::addColumn<Bytes>("onWire");
        QTest::addColumn<int>("flag");
        using A = AnswerRule::Action;
        auto rule = [](A action, int replyCmd = -1, int replyOp = -1, std::optional<Bytes> data = {}) {
            AnswerRule r = aimedAt(1, 0x03, 0x40, 1, action);
            r.replyCmd = replyCmd;
            r.replyOp = replyOp;
            r.replaceData = bool(data);
            r.data = data.value_or(Bytes{});
            return r;
        };
        const Bytes ack = request(0x81, 0x03, {0x40});
        Bytes corrupt = ack;
        corrupt.back() = std::uint8_t(corrupt.back() + 1);
        QTest::newRow("drop") << rule(A::Drop) << ack << int(Dropped);
        QTest::newRow("error bit") << rule(A::ErrorBit) << request(0xC1, 0x03, {0x40}) << int(ErrorBit);
        QTest::newRow("checksum") << rule(A::CorruptChecksum) << corrupt << int(CorruptChecksum);
        QTest::newRow("override length") << rule(A::Override, -1, -1, Bytes{0x40, 1, 2}) << request(0x81, 0x03, {0x40, 1, 2}) << int(Overridden);
        QTest::newRow("override sub-code") << rule(A::Override, -1, -1, Bytes{0x41}) << request(0x81, 0x03, {0x41}) << int(Overridden);
        QTest::newRow("override no data") << rule(A::Override, -1, -1, Bytes{}) << request(0x81, 0x03, {}) << int(Overridden);
        QTest::newRow("override CMD") << rule(A::Override, 0x80) << request(0x80, 0x03, {0x40}) << int(Overridden);
        QTest::newRow("override OP") << rule(A::Override, -1, 0x04) << request(0x81, 0x04, {0x40}) << int(Overridden);
    }

    void answerRuleActions()
    {
        QFETCH(AnswerRule, rule);
        QFETCH(Bytes, onWire);
        QFETCH(int, flag);
        addAnswerRule(rule);
        const bool dropped = flag == int(Dropped);
        QCOMPARE(ask(0x01, 0x03, {0x40, 48, 36, 36}, dropped ? 150 : 2000), dropped ? Bytes{} : onWire);
        const WireEntry e = lastAnswer();
        QCOMPARE(e.flags, unsigned(flag));
        QCOMPARE(e.bytes, onWire);
        QCOMPARE(e.text, std::string("answer rule"));
        QCOMPARE(state().outputGains[0], std::uint8_t(48));
        QCOMPARE(frames(Direction::FromDevice).size(), std::size_t(dropped ? 0 : 1));
        // Used up: the next one is answered as the device answers.
        QCOMPARE(ask(0x01, 0x03, {0x40, 50, 36, 36}), request(0x81, 0x03, {0x40}));
        QCOMPARE(lastAnswer().flags, 0u);
    }

    void answerRulesInOrderAndCleared()
    {
        addAnswerRule(aimedAt(0, 0x00, -1, 1, AnswerRule::Action::ErrorBit));
        AnswerRule second = aimedAt(0, 0x00, -1, -1, AnswerRule::Action::Override);
        second.replyOp = 0x07;
        addAnswerRule(second);
        const Bytes expected[3] = {request(0xC0, 0x00), request(0x80, 0x07), request(0x80, 0x07)};
        for (const Bytes &answer : expected)
            QCOMPARE(ask(0x00, 0x00, {}), answer);
        clearAnswerRules();
        QCOMPARE(ask(0x00, 0x00, {}), request(0x80, 0x00));
        addAnswerRule(second);
        init();   // reset() with it
        QCOMPARE(ask(0x00, 0x00, {}), request(0x80, 0x00));
    }

    // Answers a rule takes draw nothing from the random source: the others keep their seeded fate.
    void aimedAnswersLeaveTheSeededFaultsAlone()
    {
        auto nullReadFlags = [this](bool statusReadsToo, int ruleOp) -> std::vector<unsigned> {
            init();
            Faults f;
            f.seed = 11;
            f.dropReply = 0.3;
            f.errorBit = 0.3;
            f.corruptChecksum = 0.2;
            f.noise = 0.2;
            setFaults(f);
            addAnswerRule(aimedAt(-1, ruleOp, -1, -1, AnswerRule::Action::Override));
            for (int i = 0; i < 30; ++i) {
                link.send(statusReadsToo ? joined({request(0x00, 0x00), request(0x00, 0x01, {0x04})}) : request(0x00, 0x00));
                if (!QTest::qWaitFor([&] { return status().requestsReceived == (i + 1) * (statusReadsToo ? 2 : 1); }))
                    return {};
            }
            std::vector<unsigned> pattern;
            for (const WireEntry &e : wireLog())
                if (e.direction == Direction::FromDevice && e.kind == Kind::Frame && e.op == 0x00)
                    pattern.push_back(e.flags);
            return pattern;
        };
        const std::vector<unsigned> plain = nullReadFlags(false, 0x01);
        QCOMPARE(plain.size(), std::size_t(30));
        QVERIFY(std::count(plain.begin(), plain.end(), 0u) < 30);
        QCOMPARE(nullReadFlags(false, 0x77), plain);   // a rule that matches nothing
        QCOMPARE(nullReadFlags(true, 0x01), plain);    // the status answers it takes draw nothing
        QVERIFY(nullReadFlags(true, 0x77) != plain);   // unaimed, they do
    }

    void statusAndSecurityTexts_data()
    {
        QTest::addColumn<QString>("statusText");
        QTest::addColumn<QString>("securityText");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("boot");
        QTest::addColumn<QString>("statusAnswer");
        QTest::addColumn<QString>("securityAnswer");
        QTest::addColumn<bool>("editable");
        QTest::newRow("derived") << "" << "" << false << false << "main mode" << "unlocked" << true;
        QTest::newRow("derived, locked in boot") << "" << "" << true << true << "boot mode" << "locked" << false;
        QTest::newRow("both replaced") << "updating" << "unknown" << false << false << "updating" << "unknown" << true;
        QTest::newRow("says unlocked while locked") << "" << "unlocked" << true << false << "main mode" << "unlocked" << false;
        QTest::newRow("says main mode in boot mode") << "main mode" << "" << false << true << "main mode" << "unlocked" << false;
    }

    void statusAndSecurityTexts()
    {
        QFETCH(QString, statusText);
        QFETCH(QString, securityText);
        QFETCH(bool, locked);
        QFETCH(bool, boot);
        QFETCH(QString, statusAnswer);
        QFETCH(QString, securityAnswer);
        QFETCH(bool, editable);
        update([&](DeviceState &s) {
            s.statusText = statusText.toStdString();
            s.securityText = securityText.toStdString();
            s.locked = locked;
        });
        Faults f;
        f.stayInBootMode = boot;
        setFaults(f);
        QCOMPARE(ask(0x00, 0x01, {0x04}), request(0x80, 0x01, textData(0x04, statusAnswer.toStdString())));
        QCOMPARE(ask(0x00, 0x01, {0x05}), request(0x80, 0x01, textData(0x05, securityAnswer.toStdString())));
        QCOMPARE(ask(0x01, 0x03, {0x40, 48, 36, 36}), request(editable ? 0x81 : 0xC1, 0x03, {0x40}));
    }

    // The boot-loader fault holds across restarts until a main image is applied; stayInBootMode
    // does not give way to one.
    void bootLoaderFaultCuredByAMainImage_data()
    {
        QTest::addColumn<bool>("curable");
        QTest::newRow("bootLoaderFault") << true;
        QTest::newRow("stayInBootMode") << false;
    }

    void bootLoaderFaultCuredByAMainImage()
    {
        QFETCH(bool, curable);
        Faults f;
        (curable ? f.bootLoaderFault : f.stayInBootMode) = true;
        setFaults(f);
        QCOMPARE(status().mode, RunMode::Boot);
        QCOMPARE(ask(0x00, 0x03, {0x40}), request(0xC0, 0x03, {0x40}));
        reboot();
        reopenAfter(0);
        QTRY_VERIFY_WITH_TIMEOUT(hasEvent("main firmware does not start"), 5000);
        QCOMPARE(status().mode, RunMode::Boot);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, "boot mode"));

        QVERIFY(link.uploadMainImage({block(64, 1), block(64, 2, "WDXVER2.03", 8)}));
        reopenAfter(1);
        QCOMPARE(faults().bootLoaderFault, false);
        QCOMPARE(hasEvent("bootLoaderFault cured by the main image"), curable);
        QTRY_COMPARE_WITH_TIMEOUT(countEvents("main firmware does not start") + countEvents("main mode"), 2, 5000);
        QCOMPARE(status().mode, curable ? RunMode::Main : RunMode::Boot);
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x04})), textData(0x04, curable ? "main mode" : "boot mode"));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x03})), textData(0x03, "2.03"));
    }

    void typeDependentFamilies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("frontPanel");
        QTest::addColumn<bool>("digitalMux");
        QTest::newRow("type 0") << "WDX-T-U 000101" << true << false;
        QTest::newRow("type 1") << "WDX-T-N 004217" << true << true;
        QTest::newRow("type 2") << "WDX-I-U 000102" << false << false;
        QTest::newRow("type 3") << "WDX-I-N 000103" << false << true;
        QTest::newRow("unknown code") << "WDX-X-N 000104" << false << false;
        QTest::newRow("lower case") << "WDX-t-n 000105" << false << false;
        QTest::newRow("code past 7 characters") << "WDXX-T-N 00010" << false << false;
        QTest::newRow("13 characters") << "WDX-T-N 00421" << false << false;
    }

    void typeDependentFamilies()
    {
        QFETCH(QString, name);
        QFETCH(bool, frontPanel);
        QFETCH(bool, digitalMux);
        update([&](DeviceState &s) {
            s.name = name.toStdString();
            s.frontPanelGains = {{1, 2, 3}};
        });
        QCOMPARE(ask(0x00, 0x03, {0x80}), frontPanel ? request(0x80, 0x03, {0x80, 1, 2, 3}) : request(0xC0, 0x03, {0x80}));
        QCOMPARE(ask(0x00, 0xFD, {0x00}), digitalMux ? request(0x80, 0xFD, {0x00, 1}) : request(0xC0, 0xFD, {0x00}));
        QCOMPARE(ask(0x01, 0xFD, {0x00, 2}), request(digitalMux ? 0x81 : 0xC1, 0xFD, {0x00}));
        QCOMPARE(state().digitalMux, std::uint8_t(digitalMux ? 2 : 1));
        // The rest of both families is every type's.
        QCOMPARE(dataOf(ask(0x00, 0x03, {0x40})), (Bytes{0x40, 36, 36, 36}));
        QCOMPARE(dataOf(ask(0x00, 0xFD, {0x01})), (Bytes{0x01, 0x00, 0x00}));
    }

    // Two requests reach the device `gapUs` apart, first byte to first byte: sent in one write at
    // a baud rate that makes the first frame last that long, or in two writes a wait apart.
    void crowdedRequests_data()
    {
        QTest::addColumn<int>("gapUs");
        QTest::addColumn<int>("minGapUs");
        QTest::addColumn<bool>("twoWrites");
        QTest::addColumn<bool>("crowded");
        QTest::newRow("2 ms apart") << 2000 << 9000 << false << true;
        QTest::newRow("15 ms apart") << 15000 << 9000 << false << false;
        QTest::newRow("2 ms apart, 1 ms minimum") << 2000 << 1000 << false << false;
        QTest::newRow("two writes 15 ms apart") << 15000 << 9000 << true << false;
    }

    void crowdedRequests()
    {
        QFETCH(int, gapUs);
        QFETCH(int, minGapUs);
        QFETCH(bool, twoWrites);
        QFETCH(bool, crowded);
        const Bytes nullRead = request(0x00, 0x00);
        Timing t = Timing::instant();
        if (!twoWrites)
            t.baud = int(std::lround(1e6 * t.bitsPerByte * double(nullRead.size()) / gapUs));
        t.minRequestGapUs = minGapUs;
        setTiming(t);
        if (twoWrites) {
            link.send(nullRead);
            QTest::qWait(gapUs / 1000);
            link.send(nullRead);
        } else {
            link.send(joined({nullRead, nullRead}));
        }
        QTRY_COMPARE(frames(Direction::ToDevice).size(), std::size_t(2));
        const std::vector<WireEntry> in = frames(Direction::ToDevice);
        QVERIFY(!in[0].has(Crowded));
        QCOMPARE(in[1].has(Crowded), crowded);
        QCOMPARE(crowdedFrames(), crowded ? 1 : 0);
        if (!twoWrites)
            QVERIFY(std::abs(std::chrono::duration_cast<std::chrono::microseconds>(in[1].begin - in[0].begin).count() - gapUs) < 10);
        clearLogs();
        QCOMPARE(crowdedFrames(), 0);
    }

    void metersMoveOrHold()
    {
        const Bytes a = dataOf(ask(0x00, 0x01, {0x80}));
        QTest::qWait(300);
        const Bytes b = dataOf(ask(0x00, 0x01, {0x80}));
        QVERIFY(a != b);
        update([](DeviceState &s) {
            s.metersMoving = false;
            s.inputMeters = {{1, 2, 3, 4, 5, 6}};
            s.outputMeters = {{0, 16, 255}};
            s.compressorMeters = {{9, 8, 7}};
        });
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x80})), (Bytes{0x80, 1, 2, 3, 4, 5, 6}));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x81})), (Bytes{0x81, 0, 16, 255}));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x86})), (Bytes{0x86, 9, 8, 7}));
        QCOMPARE(dataOf(ask(0x00, 0x01, {0x82})), (Bytes{0x82, 1, 2, 3, 4, 5, 6, 0, 16, 255}));
    }

    void resetRestoresTheFactoryDevice()
    {
        update([](DeviceState &s) {
            s.locked = true;
            s.outputGains = {{1, 2, 3}};
        });
        setFaults([] { Faults f; f.dropReply = 1; return f; }());
        reset();
        const Status st = status();
        QVERIFY(!st.plugged && !st.enumerated);
        QCOMPARE(st.openHandles, 0);
        QCOMPARE(st.requestsReceived, 0);
        QVERIFY(wireLog().empty() && usbLog().empty());
        QCOMPARE(settingsFingerprint(state()), settingsFingerprint(DeviceState()));
        QCOMPARE(faults().dropReply, 0.0);
        QCOMPARE(timing().baud, 115200);
        unsigned char report[64];
        QCOMPARE(hid_read_timeout(link.dev, report, sizeof report, 0), -1);   // the old handle is dead
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_sim_device.moc"
