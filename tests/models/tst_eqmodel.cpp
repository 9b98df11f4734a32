#include "ModelTestSupport.h"
#include "models/RVEQBand.h"
#include "models/RVEQBandListModel.h"
#include "models/RVEq.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

namespace {

struct Write
{
    int channel;
    bool enabled;
    QList<WdxEqBand *> bands;
};

// One EQ of channel 1 on the fake clock, the write requests it emits, and reply records lent
// as the EQ sub-controller lends them (it keeps them and releases them itself).
class Rig : public QObject
{
public:
    Rig()
    {
        eq.setChannelIndex(1);
        connect(&eq, &RVEq::notifyRequestToWrite, this,
                [this](int channel, bool enabled, QList<WdxEqBand *> bands) { writes.append({channel, enabled, bands}); });
    }
    // Control byte: type in bits 0-5, enabled bit 6, used bit 7.
    WdxEqBand *record(int frequency, int gain = 0, int q = 0, int control = 0xC1)
    {
        auto *band = new WdxEqBand(this);
        band->setFrequency(quint8(frequency));
        band->setGain(quint8(gain));
        band->setQualityFactor(quint8(q));
        band->setControl(quint8(control));
        lent.append(band);
        return band;
    }
    // Every record lent so far is still alive and still ours once pending deletions have run.
    bool recordsUntouched()
    {
        flushDeferredDeletes();
        return std::all_of(lent.begin(), lent.end(), [this](const QPointer<WdxEqBand> &r) { return r && r->parent() == this; });
    }
    RVEQBand *band(int row) const { return eq.bandAt(row); }
    QList<int> values(int row) const
    {
        const RVEQBand *b = band(row);
        return {b->frequency(), b->gain(), b->qualityFactor(), b->bandType(), b->isEnabled(), b->isUsed()};
    }
    // Display positions of the used rows, 0 for the unused ones.
    QList<int> positions() const
    {
        QList<int> list;
        for (int row = 0; row < eq.maxBandCount(); ++row)
            list << (band(row)->isUsed() ? band(row)->displayIndex() : 0);
        return list;
    }

    FakeClock clock;
    RVEq eq;
    QList<Write> writes;
    QList<QPointer<WdxEqBand>> lent;
};

} // namespace

class TstEqModel : public QObject
{
    Q_OBJECT

private:
    LogCapture *m_log = nullptr;

private slots:
    void initTestCase() { m_log = new LogCapture; }
    void cleanupTestCase() { delete m_log; }

    // Neighbouring roles hold different values, so a role read from its neighbour shows.
    void bandRoles()
    {
        RVEQBand band(3);
        band.updateDisplayIndex(6);
        band.updateFrequency(40);
        band.updateGain(41);
        band.updateQualityFactor(42);
        band.updateBandType(5);
        band.updateIsEnabled(true);
        band.setIsSelected(true);
        const QList<QByteArray> names{"id", "deviceIndex", "displayIndex", "frequency", "gain", "qualityFactor",
                                      "bandType", "isEnabled", "isMoreOpen", "isSelected", "isUsed", "isUsedString"};
        const QVariantList values{"3", 3, 6, 40, 41, 42, 5, true, false, true, false, "false"};
        QCOMPARE(band.roleNames().size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(band.roleNames().value(257 + i), names.at(i));
            QCOMPARE(band.data(257 + i), values.at(i));
        }
        QVERIFY(!band.data(256).isValid() && !band.data(269).isValid());
    }

    // Frequency, gain and Q write even when unchanged; flags and type only on a change;
    // selection and the detail panel never. Every change refreshes the row.
    void bandChangesRefreshTheRowAndSettersWrite()
    {
        RVEQBand band(0);
        SignalTrace trace(&band);
        band.updateIsUsed(true);
        band.updateGain(40);
        band.updateGain(40);
        QCOMPARE(band.data(268).toString(), QStringLiteral("true"));
        trace.events.sort();
        QCOMPARE(trace.events, QStringList({"dataChanged", "dataChanged", "gainChanged", "isUsedChanged", "isUsedStringChanged"}));
        QSignalSpy writes(&band, &RVEQBand::notifyRequestToWrite);
        band.setFrequency(0);
        band.setGain(40);
        band.setQualityFactor(0);
        band.setBandType(1);
        band.setIsEnabled(false);
        band.setIsUsed(true);
        band.setIsSelected(true);
        band.setIsMoreOpen(true);
        QCOMPARE(writes.count(), 3);
        band.setIsEnabled(true);
        band.setIsUsed(false);
        QCOMPARE(writes.count(), 5);
    }

    // Bell (1) and notch (6) allow Q from 0; every other type from 17. A user's type change
    // widens a narrower Q silently and writes; a reported type keeps the Q as read.
    void typeChangeMovesTheQMinimum_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("q");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<int>("expectedQ");
        QTest::addColumn<int>("minimum");
        QTest::newRow("high pass to bell keeps Q") << 2 << 20 << 1 << false << 20 << 0;
        QTest::newRow("bell Q 5 to low shelf") << 1 << 5 << 5 << false << 17 << 17;
        QTest::newRow("bell Q 16 to high pass") << 1 << 16 << 2 << false << 17 << 17;
        QTest::newRow("bell Q 18 to low pass") << 1 << 18 << 3 << false << 18 << 17;
        QTest::newRow("notch Q 3 to thru") << 6 << 3 << 0 << false << 17 << 17;
        QTest::newRow("high pass Q 20 to notch") << 2 << 20 << 6 << false << 20 << 0;
        QTest::newRow("reported low shelf") << 1 << 3 << 5 << true << 3 << 17;
    }
    void typeChangeMovesTheQMinimum()
    {
        QFETCH(int, from);
        QFETCH(int, q);
        QFETCH(int, to);
        QFETCH(bool, reported);
        QFETCH(int, expectedQ);
        QFETCH(int, minimum);
        RVEQBand band(0);
        QCOMPARE(band.minQualityFactor(), 0);
        band.updateBandType(quint8(from));
        band.updateQualityFactor(quint8(q));
        SignalTrace trace(&band);
        reported ? band.updateBandType(quint8(to)) : band.setBandType(quint8(to));
        band.setBandType(quint8(to)); // the same type again: nothing
        QCOMPARE((QList<int>{band.bandType(), band.data(262).toInt(), band.minQualityFactor()}), (QList<int>{to, expectedQ, minimum}));
        QCOMPARE(trace.count("notifyRequestToWrite"), reported ? 0 : 1);
        QCOMPARE(trace.count("bandTypeChanged"), 1);
        QCOMPARE(trace.count("qualityFactorChanged"), 0);
    }

    void logLines()
    {
        Rig r;
        m_log->clear();
        r.band(2)->updateBandType(6);
        r.band(2)->updateIsEnabled(true);
        r.band(2)->updateIsEnabled(true);
        r.eq.selectBand(3);
        QCOMPARE(m_log->count("RVEQBand", "updateBandType", "updating band type value to 6")
                     + m_log->count("RVEQBand", "updateIsEnabled", "updating band isEnabled value to true")
                     + m_log->count("RVEq", "selectBand", "Selecting band 3 for channel 1"), 3);
        QCOMPARE(m_log->count("RVEq", "onDataChanged", "Data changed for channel 1"), 3); // one per refreshed row
    }

    void displayOrderFollowsFrequency()
    {
        Rig r;
        QSignalSpy last(&r.eq, &RVEq::lastUsedFrequencyChanged);
        QVERIFY(r.eq.addBand(60) && r.eq.addBand(20) && r.eq.addBand(90));
        QCOMPARE(r.positions(), (QList<int>{2, 1, 3, 0, 0, 0, 0, 0}));
        QCOMPARE(r.eq.lastUsedFrequency(), 90);
        r.eq.removeBand(2);
        QCOMPARE(r.eq.lastUsedFrequency(), 60);
        QCOMPARE(r.values(2), (QList<int>{90, 0, 0, 1, 0, 0})); // values stay in the slot
        r.eq.removeAllBands();
        QCOMPARE(r.eq.lastUsedFrequency(), -1);
        QCOMPARE(last.count(), 4); // -1 to 60, 90, back to 60, then -1
        // Equal frequencies: gain, then Q, then type.
        QVERIFY(r.eq.addBand(50, 40, 10, true, 1) && r.eq.addBand(50, 30, 10, true, 1));
        QVERIFY(r.eq.addBand(50, 30, 5, true, 6) && r.eq.addBand(50, 30, 5, true, 1));
        QCOMPARE(r.positions(), (QList<int>{4, 3, 2, 1, 0, 0, 0, 0}));
    }

    void addBandFillsTheFirstFreeSlotAndWrites()
    {
        Rig r;
        QVERIFY(r.eq.addBand(30) && r.eq.addBand(31));
        r.eq.removeBand(0);
        r.writes.clear();
        SignalTrace trace(&r.eq);
        QVERIFY(r.eq.addBand(70, 40, 12, false, 4));
        QCOMPARE(r.values(0), (QList<int>{70, 40, 12, 4, 0, 1}));
        QCOMPARE(r.positions(), (QList<int>{2, 1, 0, 0, 0, 0, 0, 0}));
        QVERIFY(r.band(0)->isSelected() && !r.band(1)->isSelected());
        QCOMPARE(r.eq.selectedBandId(), 0);
        QCOMPARE(trace.count("usedBandCountChanged") + trace.count("selectedBandIdChanged"), 2);
        QCOMPARE(r.writes.size(), 1);
        r.eq.removeAllBands();
        QVERIFY(r.eq.addBand(10)); // defaults: bell, enabled, indexes 0
        QCOMPARE(r.values(0), (QList<int>{10, 0, 0, 1, 1, 1}));
    }

    // Every write carries all 8 slots in row order, the unused ones with bit 7 clear.
    void writeRequestCarriesEverySlot()
    {
        Rig r;
        QVERIFY(r.eq.addBand(20, 30, 4, true, 1) && r.eq.addBand(70, 50, 25, false, 3));
        r.writes.clear();
        r.eq.removeBand(0);
        r.band(1)->updateIsEnabled(true);
        r.band(1)->setBandType(5);
        r.eq.setIsEnabled(false);
        r.eq.setIsEnabled(false);
        QCOMPARE(r.writes.size(), 3);
        QList<int> seen;
        for (const Write &write : r.writes) {
            seen << write.channel << write.enabled << write.bands.size();
            for (WdxEqBand *band : write.bands)
                seen << band->frequency() << band->gain() << band->qualityFactor() << band->control() << (band->parent() == &r.eq);
        }
        const QList<int> rest{0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1};
        QCOMPARE(seen, QList<int>({1, 1, 8, 20, 30, 4, 0x01, 1, 70, 50, 25, 0x83, 1}) + rest
                           + QList<int>({1, 1, 8, 20, 30, 4, 0x01, 1, 70, 50, 25, 0xC5, 1}) + rest
                           + QList<int>({1, 0, 8, 20, 30, 4, 0x01, 1, 70, 50, 25, 0xC5, 1}) + rest);
    }

    void selection()
    {
        Rig r;
        r.eq.selectNextBand();
        QCOMPARE(r.eq.selectedBandId(), -1);
        QVERIFY(r.eq.addBand(60) && r.eq.addBand(20) && r.eq.addBand(90)); // slots 0, 1, 2
        QSignalSpy selected(&r.eq, &RVEq::selectedBandIdChanged);
        QList<int> walk;
        for (auto step : {&RVEq::selectFirstUsedBand, &RVEq::selectNextBand, &RVEq::selectNextBand, &RVEq::selectNextBand,
                          &RVEq::selectLastUsedBand, &RVEq::clearSelected, &RVEq::selectNextBand}) {
            (r.eq.*step)();
            walk << r.eq.selectedBandId();
        }
        QCOMPARE(walk, (QList<int>{1, 0, 2, 1, 2, -1, 1})); // 20, 60, 90, wraps to 20; last 90; none; first
        QCOMPARE(selected.count(), 7);
        QVERIFY(r.band(1)->isSelected() && !r.band(2)->isSelected());
        r.band(0)->setIsSelected(true); // the scene writes isSelected
        QCOMPARE(r.eq.selectedBandId(), 0);
        r.eq.removeBand(1); // another band: the selection stays
        QCOMPARE(r.eq.selectedBandId(), 0);
        selected.clear();
        r.eq.removeBand(0);
        r.eq.selectBand(8);
        r.eq.selectBand(-1);
        QCOMPARE(r.eq.selectedBandId(), -1);
        QCOMPARE(selected.count(), 1);
        r.eq.selectBand(7);
        QCOMPARE(r.eq.selectedBandId(), 7);
        r.eq.removeAllBands();
        r.eq.selectBand(3);
        r.eq.selectFirstUsedBand(); // nothing used: no selection
        QCOMPARE(r.eq.selectedBandId(), -1);
    }

    // A band's used state drives the count, fullness and the open band: one signal each per
    // change; anything else, or no change, signals none of them.
    void usedStateDrivesTheDerivedSignals()
    {
        Rig r;
        SignalTrace trace(&r.eq);
        auto counts = [&] {
            QList<int> c;
            for (const char *name : {"usedBandCountChanged", "isFullChanged", "hasMoreOpenChanged", "moreOpenIndexChanged"})
                c << trace.count(QLatin1String(name));
            trace.events.clear();
            return c;
        };
        const QList<int> once{1, 1, 1, 1}, none{0, 0, 0, 0};
        for (int i = 0; i < 7; ++i)
            r.band(i)->updateIsUsed(true);
        QCOMPARE(counts(), (QList<int>{7, 7, 7, 7}));
        QVERIFY(!r.eq.isFull());
        r.band(7)->setIsUsed(true);
        QVERIFY(r.eq.isFull());
        QCOMPARE(counts(), once);
        r.band(7)->setIsUsed(true);
        r.band(7)->setGain(9);
        QCOMPARE(counts(), none);
        r.band(7)->updateIsUsed(false);
        QVERIFY(!r.eq.isFull());
        QCOMPARE(counts(), once);
        // Opening another band closes the open one; an unused slot opens nothing, selecting
        // another band folds it. Removing the open band closes and frees it.
        r.eq.setIsMoreOpen(1, true);
        r.eq.setIsMoreOpen(2, true);
        QCOMPARE(r.eq.moreOpenIndex(), 2);
        QCOMPARE(counts(), (QList<int>{0, 0, 3, 3}));
        r.eq.setIsMoreOpen(7, true);
        QCOMPARE(r.eq.moreOpenIndex(), -1);
        r.eq.setIsMoreOpen(3, true);
        r.eq.selectBand(4);
        QVERIFY(!r.eq.hasMoreOpen());
        r.eq.setIsMoreOpen(2, true);
        QCOMPARE(counts(), (QList<int>{0, 0, 4, 4}));
        r.eq.removeBand(2);
        QCOMPARE(counts(), (QList<int>{1, 1, 2, 2}));
        r.clock.advance(3000);
        r.eq.onEqRead(1, true, {r.record(0, 0, 0, 1), r.record(0, 0, 0, 1), r.record(0, 0, 0, 1), r.record(0, 0, 0, 1),
                                r.record(0, 0, 0, 1), r.record(5), r.record(0, 0, 0, 1)});
        QCOMPARE(r.eq.usedBandCount(), 1);
        QCOMPARE(counts(), (QList<int>{5, 5, 5, 5}));
        QVERIFY(r.eq.addBand(10));
        QCOMPARE(counts(), once);
    }

    void copyAndPasteBand()
    {
        Rig r;
        QVERIFY(r.eq.addBand(60, 50, 7, true, 6));
        r.eq.pasteBand(3); // nothing copied yet
        QVERIFY(!r.band(3)->isUsed());
        r.eq.copyBand(0);
        r.band(0)->updateGain(10); // the copy is a snapshot
        r.eq.pasteBand(3);
        QCOMPARE(r.writes.size(), 1); // the addition's only
        QCOMPARE(r.values(3), (QList<int>{60, 50, 7, 6, 1, 1}));
        QCOMPARE(r.band(3)->displayIndex(), 3); // ordering is a separate step
        QSignalSpy hasCopy(&r.eq, &RVEq::hasCopyChanged);
        r.eq.clearCopyBand();
        QVERIFY(!r.eq.hasCopy() && hasCopy.count() == 1);
        QVERIFY(r.eq.existBandAtFrequency(60) && r.eq.existBandAtFrequency(0)); // unused slots count too
        QVERIFY(!r.eq.existBandAtFrequency(61));
    }

    // A reply for this channel is applied row by row and raises no write.
    void replyFromTheDeviceIsApplied()
    {
        Rig r;
        for (int i = 0; i < 5; ++i)
            QVERIFY(r.eq.addBand(quint8(10 + i)));
        r.clock.advance(3000);
        SignalTrace trace(&r.eq);
        const QList<WdxEqBand *> records{r.record(80, 40, 10, 0xC1), r.record(12, 36, 20, 0x82), r.record(0, 0, 0, 0x01)};
        r.eq.onEqRead(0, false, records); // the other channel's reply
        QVERIFY(trace.events.isEmpty());
        r.eq.onEqRead(1, false, records);
        QVERIFY(!r.eq.isEnabled());
        QCOMPARE(trace.count("isEnabledChanged"), 1);
        QCOMPARE(r.values(0), (QList<int>{80, 40, 10, 1, 1, 1}));
        QCOMPARE(r.values(1), (QList<int>{12, 36, 20, 2, 0, 1}));
        QCOMPARE(r.values(2), (QList<int>{0, 0, 0, 1, 0, 0}));
        QCOMPARE(r.positions(), (QList<int>{4, 1, 0, 2, 3, 0, 0, 0})); // rows 3 and 4 had no record
        QCOMPARE(r.eq.lastUsedFrequency(), 80);
        QCOMPARE(r.writes.size(), 5);
        QVERIFY(r.recordsUntouched()); // only lent: the sender releases them
    }

    // Discarded for 2999 ms after a write request, applied at 3000 ms; never while editing.
    void replyGuardAfterAWrite()
    {
        Rig r;
        r.clock.advance(3000);
        QVERIFY(r.eq.addBand(40));
        auto replyApplied = [&](int frequency) {
            r.eq.onEqRead(1, true, {r.record(frequency)});
            return r.band(0)->frequency() == frequency;
        };
        r.clock.advance(2000);
        m_log->clear();
        QVERIFY(!replyApplied(99));
        r.clock.advance(999);
        QVERIFY(!replyApplied(98));
        r.clock.advance(1);
        QVERIFY(replyApplied(97));
        QCOMPARE(m_log->count("RVEq", "onEqRead", "editor under use, reply discarded"), 2);
        r.clock.advance(60000);
        r.eq.setIsEditing(true);
        QVERIFY(!replyApplied(5));
        r.eq.setIsEditing(false);
        QVERIFY(replyApplied(6));
        QVERIFY(r.recordsUntouched()); // discarded records are left alone as well
    }

    void replyGuardWithTheRealClock()
    {
        Rig r;
        EditTimer::setClock(EditTimer::Clock());
        QElapsedTimer sinceWrite;
        sinceWrite.start();
        QVERIFY(r.eq.addBand(40));
        int next = 100;
        QVERIFY((r.eq.onEqRead(1, true, {r.record(next)}), r.band(0)->frequency() == 40));
        QTRY_VERIFY_WITH_TIMEOUT((r.eq.onEqRead(1, true, {r.record(++next)}), r.band(0)->frequency() == next), 15000);
        QVERIFY(sinceWrite.elapsed() > 2900);
    }

    // A full EQ refuses a band, writes nothing and still reorders.
    void fullEqRefusesAndReorders()
    {
        Rig r;
        for (int i = 0; i < 8; ++i)
            QVERIFY(r.eq.addBand(quint8(80 - i * 10)));
        r.band(0)->updateFrequency(1); // out of order until the next ordering
        r.writes.clear();
        QVERIFY(!r.eq.addBand(100));
        QCOMPARE(r.writes.size(), 0);
        QCOMPARE(r.positions(), (QList<int>{1, 8, 7, 6, 5, 4, 3, 2}));
    }
};

QTEST_GUILESS_MAIN(TstEqModel)
#include "tst_eqmodel.moc"
