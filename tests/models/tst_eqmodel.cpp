#include "ModelTestSupport.h"
#include "models/RVEQBand.h"
#include "models/RVEQBandListModel.h"
#include "models/RVEq.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

// One write request as the EQ emitted it.
struct Write
{
    int channel;
    bool enabled;
    QList<WdxEqBand *> bands;
};

class WriteRecorder : public QObject
{
public:
    explicit WriteRecorder(RVEq *eq)
    {
        connect(eq, &RVEq::notifyRequestToWrite, this,
                [this](int channel, bool enabled, QList<WdxEqBand *> bands) {
                    writes.append({channel, enabled, bands});
                });
    }
    QList<Write> writes;
};

// Lends reply records as the EQ sub-controller does: it keeps them and releases them itself.
class Lender : public QObject
{
public:
    WdxEqBand *record(quint8 frequency, quint8 gain, quint8 q, quint8 type, bool enabled, bool used)
    {
        auto *band = new WdxEqBand(this);
        band->setFrequency(frequency);
        band->setGain(gain);
        band->setQualityFactor(q);
        band->setType(type);
        band->setEnabled(enabled);
        band->setUsed(used);
        return band;
    }

    // Still alive and still ours once pending deletions have run.
    bool untouched(const QList<QPointer<WdxEqBand>> &records) const
    {
        flushDeferredDeletes();
        QCoreApplication::processEvents();
        for (const auto &r : records) {
            if (r.isNull() || r->parent() != this)
                return false;
        }
        return true;
    }
};

QList<QPointer<WdxEqBand>> guarded(const QList<WdxEqBand *> &records)
{
    QList<QPointer<WdxEqBand>> result;
    for (WdxEqBand *r : records) {
        if (r)
            result.append(r);
    }
    return result;
}

} // namespace

class TstEqModel : public QObject
{
    Q_OBJECT

private:
    LogCapture *m_log = nullptr;

private slots:
    void initTestCase() { m_log = new LogCapture; }
    void cleanupTestCase() { delete m_log; }

    void bandRolesAndIdentity()
    {
        RVEQBand band(3);
        QCOMPARE(band.id(), QStringLiteral("3"));
        QCOMPARE(band.deviceIndex(), 3);
        QCOMPARE(band.displayIndex(), 3);
        QCOMPARE(band.bandType(), quint8(RVEQBand::Bell));
        const auto names = band.roleNames();
        QCOMPARE(names.size(), 12);
        QCOMPARE(names.value(257), QByteArray("id"));
        QCOMPARE(names.value(263), QByteArray("bandType"));
        QCOMPARE(names.value(268), QByteArray("isUsedString"));
        QCOMPARE(band.data(257).toString(), QStringLiteral("3"));
        QCOMPARE(band.data(268).toString(), QStringLiteral("false"));
        QVERIFY(!band.data(269).isValid());
        QVERIFY(!band.data(256).isValid());

        QSignalSpy changed(&band, &ListItem::dataChanged);
        QSignalSpy usedString(&band, &RVEQBand::isUsedStringChanged);
        band.updateIsUsed(true);
        QCOMPARE(band.data(268).toString(), QStringLiteral("true"));
        QCOMPARE(usedString.count(), 1);
        QCOMPARE(changed.count(), 1);
        band.updateGain(40);
        QCOMPARE(band.data(261).toInt(), 40);
        QCOMPARE(changed.count(), 2);
        band.updateGain(40);
        QCOMPARE(changed.count(), 2);
    }

    void setterWritesEvenWhenUnchanged()
    {
        RVEQBand band(0);
        QSignalSpy writes(&band, &RVEQBand::notifyRequestToWrite);
        QSignalSpy frequency(&band, &RVEQBand::frequencyChanged);
        band.setFrequency(0);
        band.setGain(0);
        band.setQualityFactor(0);
        QCOMPARE(writes.count(), 3);
        QCOMPARE(frequency.count(), 0);
        band.setFrequency(50);
        QCOMPARE(writes.count(), 4);
        QCOMPARE(frequency.count(), 1);
        // Flags and type only write on a change.
        band.setIsEnabled(false);
        band.setIsUsed(false);
        band.setBandType(RVEQBand::Bell);
        QCOMPARE(writes.count(), 4);
        band.setIsEnabled(true);
        band.setIsUsed(true);
        QCOMPARE(writes.count(), 6);
    }

    void typeChangeMovesTheQMinimum()
    {
        RVEQBand band(0);
        band.setBandType(RVEQBand::HighPass);
        QCOMPARE(band.minQualityFactor(), 17);
        QCOMPARE(band.qualityFactor(), quint8(17));

        // To bell: the minimum drops, Q stays.
        QSignalSpy q(&band, &RVEQBand::qualityFactorChanged);
        QSignalSpy writes(&band, &RVEQBand::notifyRequestToWrite);
        band.setQualityFactor(20);
        band.setBandType(RVEQBand::Bell);
        QCOMPARE(band.minQualityFactor(), 0);
        QCOMPARE(band.qualityFactor(), quint8(20));
        band.setQualityFactor(5);
        q.clear();
        writes.clear();

        // A narrow bell turned into a shelf is widened to the shelf's minimum, silently.
        QSignalSpy type(&band, &RVEQBand::bandTypeChanged);
        QSignalSpy row(&band, &ListItem::dataChanged);
        band.setBandType(RVEQBand::LowShelf);
        QCOMPARE(band.qualityFactor(), quint8(17));
        QCOMPARE(band.minQualityFactor(), 17);
        QCOMPARE(q.count(), 0);
        QCOMPARE(type.count(), 1);
        QVERIFY(row.count() >= 1);
        QCOMPARE(band.data(RVEQBand::QualityFactorRole).toInt(), 17);
        QCOMPARE(writes.count(), 1);

        // Notch is as free as bell; a wide Q is never narrowed.
        band.setQualityFactor(30);
        band.setBandType(RVEQBand::Notch);
        QCOMPARE(band.minQualityFactor(), 0);
        QCOMPARE(band.qualityFactor(), quint8(30));
    }

    void editLogLines()
    {
        RVEq eq;
        eq.setChannelIndex(1);
        m_log->clear();
        eq.bandAt(2)->updateBandType(RVEQBand::Notch);
        eq.bandAt(2)->updateIsEnabled(true);
        eq.bandAt(2)->updateIsEnabled(true); // unchanged: no line
        QCOMPARE(m_log->count("RVEQBand", "updateBandType", "updating band type value to 6"), 1);
        QCOMPARE(m_log->count("RVEQBand", "updateIsEnabled", "updating band isEnabled value to true"), 1);
        // Each refreshed row of the band list is reported for the channel.
        QCOMPARE(m_log->count("RVEq", "onDataChanged", "Data changed for channel 1"), 2);
    }

    void bandComparison()
    {
        RVEQBand a(0), b(1);
        a.updateFrequency(40);
        b.updateFrequency(40);
        a.updateIsUsed(true);
        b.updateIsEnabled(true);
        QVERIFY(a == b); // enabled, used and indexes take no part
        b.updateGain(1);
        QVERIFY(a != b);
        QVERIFY(a < b);
        a.updateGain(1);
        a.updateQualityFactor(3);
        QVERIFY(b < a);
        b.updateQualityFactor(3);
        b.updateBandType(RVEQBand::Notch);
        QVERIFY(a < b);
        a.updateFrequency(39);
        a.updateBandType(RVEQBand::BandPassParallel);
        QVERIFY(a < b);
    }

    void displayOrderFollowsFrequency()
    {
        RVEq eq;
        QSignalSpy last(&eq, &RVEq::lastUsedFrequencyChanged);
        QVERIFY(eq.addBand(60));
        QVERIFY(eq.addBand(20));
        QVERIFY(eq.addBand(90));
        QCOMPARE(eq.bandAt(0)->displayIndex(), 2);
        QCOMPARE(eq.bandAt(1)->displayIndex(), 1);
        QCOMPARE(eq.bandAt(2)->displayIndex(), 3);
        QCOMPARE(eq.lastUsedFrequency(), 90);
        QCOMPARE(eq.usedBandCount(), 3);
        eq.removeBand(2);
        QCOMPARE(eq.lastUsedFrequency(), 60);
        QCOMPARE(eq.bandAt(2)->frequency(), quint8(90)); // values stay in the slot
        eq.removeAllBands();
        QCOMPARE(eq.lastUsedFrequency(), -1);
        QCOMPARE(last.count(), 4); // -1 to 60, 90, back to 60, then -1
    }

    void equalFrequenciesOrderByGainQAndType()
    {
        RVEq eq;
        QVERIFY(eq.addBand(50, 40, 10, true, RVEQBand::Bell));
        QVERIFY(eq.addBand(50, 30, 10, true, RVEQBand::Bell));
        QVERIFY(eq.addBand(50, 30, 5, true, RVEQBand::Notch));
        QVERIFY(eq.addBand(50, 30, 5, true, RVEQBand::Bell));
        QCOMPARE(eq.bandAt(3)->displayIndex(), 1);
        QCOMPARE(eq.bandAt(2)->displayIndex(), 2);
        QCOMPARE(eq.bandAt(1)->displayIndex(), 3);
        QCOMPARE(eq.bandAt(0)->displayIndex(), 4);
    }

    void addBandFillsTheFirstFreeSlotAndWrites()
    {
        RVEq eq;
        eq.setChannelIndex(1);
        WriteRecorder recorder(&eq);
        QSignalSpy used(&eq, &RVEq::usedBandCountChanged);
        QVERIFY(eq.addBand(30, 40, 12, false, RVEQBand::HighShelf));
        RVEQBand *band = eq.bandAt(0);
        QVERIFY(band->isUsed());
        QVERIFY(!band->isEnabled());
        QCOMPARE(band->frequency(), quint8(30));
        QCOMPARE(band->gain(), quint8(40));
        QCOMPARE(band->qualityFactor(), quint8(12));
        QCOMPARE(band->bandType(), quint8(RVEQBand::HighShelf));
        QVERIFY(band->isSelected());
        QCOMPARE(eq.selectedBandId(), 0);
        QCOMPARE(used.count(), 1);
        QCOMPARE(recorder.writes.size(), 1);

        // Defaults: bell, enabled, all indexes 0.
        eq.removeBand(0);
        QVERIFY(eq.addBand(10));
        QCOMPARE(eq.bandAt(0)->bandType(), quint8(RVEQBand::Bell));
        QVERIFY(eq.bandAt(0)->isEnabled());
        QCOMPARE(eq.bandAt(0)->gain(), quint8(0));
    }

    void fullEqRefusesAndStillReorders()
    {
        RVEq eq;
        for (int i = 0; i < 8; ++i)
            QVERIFY(eq.addBand(quint8(80 - i * 10)));
        QVERIFY(eq.isFull());
        // Reorder hook: change a frequency without reordering, then try to add.
        eq.bandAt(0)->updateFrequency(1);
        QCOMPARE(eq.bandAt(0)->displayIndex(), 8);
        WriteRecorder recorder(&eq);
        QVERIFY(!eq.addBand(100));
        QCOMPARE(recorder.writes.size(), 0);
        QCOMPARE(eq.bandAt(0)->displayIndex(), 1);
        QCOMPARE(eq.usedBandCount(), 8);
    }

    void writeRequestCarriesEverySlot()
    {
        RVEq eq;
        eq.setChannelIndex(0);
        QVERIFY(eq.addBand(20, 30, 4, true, RVEQBand::Bell));
        QVERIFY(eq.addBand(70, 50, 25, false, RVEQBand::LowPass));
        WriteRecorder recorder(&eq);
        eq.removeBand(0);
        QCOMPARE(recorder.writes.size(), 1);
        const Write &write = recorder.writes.first();
        QCOMPARE(write.channel, 0);
        QVERIFY(write.enabled);
        QCOMPARE(write.bands.size(), 8);
        for (WdxEqBand *band : write.bands)
            QCOMPARE(band->parent(), static_cast<QObject *>(&eq));
        QCOMPARE(write.bands[0]->isUsed(), false);
        QCOMPARE(write.bands[0]->frequency(), quint8(20));
        const WdxEqBand *second = write.bands[1];
        QVERIFY(second->isUsed());
        QVERIFY(!second->isEnabled());
        QCOMPARE(second->frequency(), quint8(70));
        QCOMPARE(second->gain(), quint8(50));
        QCOMPARE(second->qualityFactor(), quint8(25));
        QCOMPARE(second->type(), quint8(RVEQBand::LowPass));
        QCOMPARE(second->control(), quint8(0x80 | RVEQBand::LowPass));
        for (int i = 2; i < 8; ++i)
            QCOMPARE(write.bands[i]->control() & 0x80, 0);

        // Switching the whole EQ writes with the new state.
        QSignalSpy enabled(&eq, &RVEq::isEnabledChanged);
        QSignalSpy data(&eq, &RVEq::dataChanged);
        eq.setIsEnabled(false);
        eq.setIsEnabled(false);
        QCOMPARE(enabled.count(), 1);
        QVERIFY(data.count() >= 1);
        QCOMPARE(recorder.writes.size(), 2);
        QVERIFY(!recorder.writes.last().enabled);

        // A band edit reaches the EQ as one write.
        eq.bandAt(1)->setGain(50);
        QCOMPARE(recorder.writes.size(), 3);
    }

    void selection()
    {
        RVEq eq;
        eq.setChannelIndex(0);
        eq.selectNextBand();
        QCOMPARE(eq.selectedBandId(), -1);
        QVERIFY(eq.addBand(60)); // slot 0
        QVERIFY(eq.addBand(20)); // slot 1
        QVERIFY(eq.addBand(90)); // slot 2
        QCOMPARE(eq.selectedBandId(), 2);
        m_log->clear();
        eq.selectBand(1);
        QCOMPARE(m_log->count("RVEq", "selectBand", "Selecting band 1 for channel 0"), 1);
        QVERIFY(eq.bandAt(1)->isSelected());
        QVERIFY(!eq.bandAt(2)->isSelected());

        eq.selectNextBand(); // 20 -> 60
        QCOMPARE(eq.selectedBandId(), 0);
        eq.selectNextBand(); // 60 -> 90
        QCOMPARE(eq.selectedBandId(), 2);
        eq.selectNextBand(); // last wraps to the first
        QCOMPARE(eq.selectedBandId(), 1);
        eq.selectLastUsedBand();
        QCOMPARE(eq.selectedBandId(), 2);
        eq.selectFirstUsedBand();
        QCOMPARE(eq.selectedBandId(), 1);

        // Selected from the band itself (QML writes isSelected).
        QSignalSpy selected(&eq, &RVEq::selectedBandIdChanged);
        eq.bandAt(0)->setIsSelected(true);
        QCOMPARE(eq.selectedBandId(), 0);
        QCOMPARE(selected.count(), 1);

        eq.clearSelected();
        QCOMPARE(eq.selectedBandId(), -1);
        for (int i = 0; i < 8; ++i)
            QVERIFY(!eq.bandAt(i)->isSelected());
        eq.selectNextBand(); // no selection: the first
        QCOMPARE(eq.selectedBandId(), 1);

        // Removing another band keeps the selection; removing the selected one ends it.
        eq.removeBand(0);
        QCOMPARE(eq.selectedBandId(), 1);
        selected.clear();
        eq.removeBand(1);
        QCOMPARE(eq.selectedBandId(), -1);
        QCOMPARE(selected.count(), 1);
        eq.selectBand(8); // outside: ignored
        QCOMPARE(eq.selectedBandId(), -1);

        eq.selectBand(2);
        eq.removeAllBands();
        QCOMPARE(eq.selectedBandId(), -1);
        eq.selectFirstUsedBand();
        QCOMPARE(eq.selectedBandId(), -1);
        eq.selectBand(3);
        selected.clear();
        eq.selectLastUsedBand();
        QCOMPARE(eq.selectedBandId(), -1);
        QCOMPARE(selected.count(), 1);
    }

    void expandedBand()
    {
        RVEq eq;
        QVERIFY(eq.addBand(60));
        QVERIFY(eq.addBand(20));
        QSignalSpy index(&eq, &RVEq::moreOpenIndexChanged);
        QSignalSpy has(&eq, &RVEq::hasMoreOpenChanged);
        eq.setIsMoreOpen(0, true);
        QVERIFY(eq.hasMoreOpen());
        QCOMPARE(eq.moreOpenIndex(), 2); // display position of slot 0
        QVERIFY(index.count() >= 1);
        QVERIFY(has.count() >= 1);
        eq.setIsMoreOpen(5, true); // an unused slot opens nothing, and closes the others
        QVERIFY(!eq.hasMoreOpen());
        eq.setIsMoreOpen(1, true);
        QCOMPARE(eq.moreOpenIndex(), 1);
        eq.selectBand(0); // selecting another band folds the open one
        QVERIFY(!eq.hasMoreOpen());
        eq.setIsMoreOpen(1, true);
        eq.clearMoreOpen();
        QCOMPARE(eq.moreOpenIndex(), -1);
    }

    void copyAndPasteBand()
    {
        RVEq eq;
        QVERIFY(eq.addBand(60, 50, 7, true, RVEQBand::Notch));
        QSignalSpy hasCopy(&eq, &RVEq::hasCopyChanged);
        eq.pasteBand(3); // nothing copied yet
        QVERIFY(!eq.bandAt(3)->isUsed());
        eq.copyBand(0);
        QVERIFY(eq.hasCopy());
        QCOMPARE(hasCopy.count(), 1);
        WriteRecorder recorder(&eq);
        eq.pasteBand(3);
        QCOMPARE(recorder.writes.size(), 0);
        QVERIFY(*eq.bandAt(3) == *eq.bandAt(0));
        QVERIFY(eq.bandAt(3)->isUsed());
        QVERIFY(eq.bandAt(3)->isEnabled());
        QCOMPARE(eq.usedBandCount(), 2);
        // Only the row changes; ordering is a separate step.
        QCOMPARE(eq.bandAt(3)->displayIndex(), 3);
        eq.orderByFrequency();
        QCOMPARE(eq.bandAt(3)->displayIndex(), 2);
        eq.clearCopyBand();
        QVERIFY(!eq.hasCopy());
        QCOMPARE(hasCopy.count(), 2);
        QVERIFY(eq.existBandAtFrequency(60));
        QVERIFY(eq.existBandAtFrequency(0)); // unused slots count too
        QVERIFY(!eq.existBandAtFrequency(61));
    }

    void replyFromTheDeviceIsApplied()
    {
        FakeClock clock;
        Lender lender;
        RVEq eq;
        eq.setChannelIndex(1);
        clock.advance(RVEq::kReplyGuardMs);
        WriteRecorder recorder(&eq);
        QSignalSpy enabled(&eq, &RVEq::isEnabledChanged);
        QList<WdxEqBand *> records;
        records << lender.record(80, 40, 10, RVEQBand::Bell, true, true)
                << lender.record(10, 36, 20, RVEQBand::HighPass, false, true);
        for (int i = 2; i < 8; ++i)
            records << lender.record(0, 0, 0, RVEQBand::Bell, false, false);
        const auto watch = guarded(records);

        eq.onEqRead(0, false, records); // the other channel's reply
        QVERIFY(eq.isEnabled());
        QCOMPARE(eq.usedBandCount(), 0);
        QVERIFY(lender.untouched(watch));

        eq.onEqRead(1, false, records);
        QVERIFY(!eq.isEnabled());
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(eq.usedBandCount(), 2);
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(80));
        QCOMPARE(eq.bandAt(1)->bandType(), quint8(RVEQBand::HighPass));
        QVERIFY(!eq.bandAt(1)->isEnabled());
        QCOMPARE(eq.bandAt(1)->displayIndex(), 1);
        QCOMPARE(eq.bandAt(0)->displayIndex(), 2);
        QCOMPARE(eq.lastUsedFrequency(), 80);
        QCOMPARE(recorder.writes.size(), 0);
        // The records are only lent: the sender releases them.
        QVERIFY(lender.untouched(watch));
    }

    void replyRecordCountComesFromTheDevice()
    {
        FakeClock clock;
        Lender lender;
        RVEq eq;
        eq.setChannelIndex(0);
        for (int i = 0; i < 5; ++i)
            QVERIFY(eq.addBand(quint8(10 + i)));
        clock.advance(RVEq::kReplyGuardMs);

        // Fewer records than bands: only the rows with a record change.
        QList<WdxEqBand *> few;
        few << lender.record(100, 1, 1, RVEQBand::Notch, true, true)
            << lender.record(101, 2, 2, RVEQBand::Bell, true, false);
        auto watch = guarded(few);
        eq.onEqRead(0, true, few);
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(100));
        QCOMPARE(eq.bandAt(0)->bandType(), quint8(RVEQBand::Notch));
        QVERIFY(!eq.bandAt(1)->isUsed());
        for (int i = 2; i < 5; ++i) {
            QCOMPARE(eq.bandAt(i)->frequency(), quint8(10 + i));
            QVERIFY(eq.bandAt(i)->isUsed());
        }
        QCOMPARE(eq.usedBandCount(), 4);
        QVERIFY(lender.untouched(watch));

        // No records at all: the on/off state still applies.
        eq.onEqRead(0, false, QList<WdxEqBand *>());
        QVERIFY(!eq.isEnabled());
        QCOMPARE(eq.usedBandCount(), 4);

        // More records than bands: the extra ones are dropped, and left alone too.
        QList<WdxEqBand *> many;
        for (int i = 0; i < 10; ++i)
            many << lender.record(quint8(50 + i), 36, 0, RVEQBand::Bell, true, true);
        many.insert(3, nullptr);
        watch = guarded(many);
        eq.onEqRead(0, true, many);
        QCOMPARE(eq.bandAt(3)->frequency(), quint8(13)); // row 3 had no record: unchanged
        QCOMPARE(eq.bandAt(4)->frequency(), quint8(53));
        QCOMPARE(eq.usedBandCount(), 8);
        QCOMPARE(eq.bandAt(7)->frequency(), quint8(56));
        QCOMPARE(eq.lastUsedFrequency(), 56);
        QVERIFY(lender.untouched(watch));
    }

    void replyGuardAfterAWrite()
    {
        FakeClock clock;
        Lender lender;
        RVEq eq;
        eq.setChannelIndex(0);
        clock.advance(RVEq::kReplyGuardMs);
        QVERIFY(eq.addBand(40));

        clock.advance(2000);
        m_log->clear();
        auto records = QList<WdxEqBand *>() << lender.record(99, 0, 0, RVEQBand::Bell, true, true);
        auto watch = guarded(records);
        eq.onEqRead(0, true, records);
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(40));
        QCOMPARE(m_log->count("RVEq", "onEqRead", "editor under use, reply discarded"), 1);
        QVERIFY(lender.untouched(watch)); // discarded records are left alone as well

        clock.advance(999);
        eq.onEqRead(0, true, QList<WdxEqBand *>() << lender.record(98, 0, 0, RVEQBand::Bell, true, true));
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(40));
        QCOMPARE(m_log->count("RVEq", "onEqRead", "editor under use, reply discarded"), 2);

        clock.advance(1);
        m_log->clear();
        eq.onEqRead(0, true, QList<WdxEqBand *>() << lender.record(97, 0, 0, RVEQBand::Bell, true, true));
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(97));
        QCOMPARE(m_log->count("RVEq", "onEqRead", "editor under use, reply discarded"), 0);

        // While the user drags, nothing is applied however old the last write is.
        clock.advance(60000);
        eq.setIsEditing(true);
        const auto dragged = QList<WdxEqBand *>() << lender.record(5, 0, 0, RVEQBand::Bell, true, true);
        eq.onEqRead(0, true, dragged);
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(97));
        QVERIFY(lender.untouched(guarded(dragged)));
        eq.setIsEditing(false);
        eq.onEqRead(0, true, QList<WdxEqBand *>() << lender.record(6, 0, 0, RVEQBand::Bell, true, true));
        QCOMPARE(eq.bandAt(0)->frequency(), quint8(6));
    }

    void replyGuardWithTheRealClock()
    {
        Lender lender;
        RVEq eq;
        eq.setChannelIndex(0);
        QElapsedTimer sinceWrite;
        sinceWrite.start();
        QVERIFY(eq.addBand(40));
        quint8 next = 100;
        auto replyApplied = [&] {
            const quint8 sent = next++;
            eq.onEqRead(0, true, QList<WdxEqBand *>() << lender.record(sent, 0, 0, RVEQBand::Bell, true, true));
            return eq.bandAt(0)->frequency() == sent;
        };
        QVERIFY(!replyApplied());
        QTRY_VERIFY_WITH_TIMEOUT(replyApplied(), 15000);
        QVERIFY(sinceWrite.elapsed() >= RVEq::kReplyGuardMs);
    }

    void maxBandCountRebuildsTheSlots()
    {
        RVEq eq;
        QCOMPARE(eq.bandListModel()->rowCount(), 8);
        QVERIFY(!eq.bandAt(-1));
        QVERIFY(!eq.bandAt(8));
        QVERIFY(eq.addBand(10));
        QSignalSpy max(&eq, &RVEq::maxBandCountChanged);
        eq.setMaxBandCount(4);
        QCOMPARE(max.count(), 1);
        QCOMPARE(eq.bandListModel()->rowCount(), 4);
        QCOMPARE(eq.usedBandCount(), 0);
        QCOMPARE(eq.selectedBandId(), -1);
        QCOMPARE(eq.lastUsedFrequency(), -1);
        for (int i = 0; i < 4; ++i)
            QVERIFY(eq.addBand(quint8(i)));
        QVERIFY(eq.isFull());
        QVERIFY(!eq.addBand(9));
        WriteRecorder recorder(&eq);
        eq.bandAt(3)->setGain(3);
        QCOMPARE(recorder.writes.size(), 1);
        QCOMPARE(recorder.writes.first().bands.size(), 4);
        eq.setMaxBandCount(4);
        QCOMPARE(max.count(), 1);
    }

    // The scene may write any count; the device holds 8 bands, and no count may name rows
    // that do not exist.
    void maxBandCountStaysWithinTheDevice_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("expected");
        QTest::newRow("one above") << 8 << 9 << 8;
        QTest::newRow("far above, from 4") << 4 << 100 << 8;
        QTest::newRow("a thousand") << 8 << 1000 << 8;
        QTest::newRow("within") << 8 << 5 << 5;
        QTest::newRow("zero") << 3 << 0 << 0;
        QTest::newRow("negative ignored") << 4 << -1 << 4;
    }
    void maxBandCountStaysWithinTheDevice()
    {
        QFETCH(int, start);
        QFETCH(int, written);
        QFETCH(int, expected);
        RVEq eq;
        eq.setMaxBandCount(start);
        QSignalSpy max(&eq, &RVEq::maxBandCountChanged);
        QVERIFY(eq.setProperty("maxBandCount", written));
        QCOMPARE(eq.maxBandCount(), expected);
        QCOMPARE(max.count(), expected == start ? 0 : 1);
        QCOMPARE(eq.bandListModel()->rowCount(), expected);
        for (int i = 0; i < expected; ++i)
            QVERIFY(eq.addBand(quint8(i)));
        QVERIFY(eq.isFull());
        QVERIFY(!eq.bandAt(expected));
        WriteRecorder recorder(&eq);
        eq.setIsEnabled(false);
        QCOMPARE(recorder.writes.size(), 1);
        QCOMPARE(recorder.writes.first().bands.size(), expected);
    }

    // Bell and notch allow the whole Q list from the start, however the band got its type;
    // the other types stop at 17.
    void qMinimumFollowsTheTypeFromCreation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("minimum");
        QTest::newRow("new band") << "new" << int(RVEQBand::Bell) << 0;
        QTest::newRow("added bell") << "add" << int(RVEQBand::Bell) << 0;
        QTest::newRow("added notch") << "add" << int(RVEQBand::Notch) << 0;
        QTest::newRow("added high pass") << "add" << int(RVEQBand::HighPass) << 17;
        QTest::newRow("read bell") << "read" << int(RVEQBand::Bell) << 0;
        QTest::newRow("read notch") << "read" << int(RVEQBand::Notch) << 0;
        QTest::newRow("read low shelf") << "read" << int(RVEQBand::LowShelf) << 17;
        QTest::newRow("read thru") << "read" << int(RVEQBand::Thru) << 17;
    }
    void qMinimumFollowsTheTypeFromCreation()
    {
        QFETCH(QString, how);
        QFETCH(int, type);
        QFETCH(int, minimum);
        FakeClock clock;
        Lender lender;
        RVEq eq;
        eq.setChannelIndex(0);
        if (how == QLatin1String("add")) {
            QVERIFY(eq.addBand(40, 36, 3, true, quint8(type)));
        } else if (how == QLatin1String("read")) {
            clock.advance(RVEq::kReplyGuardMs);
            QList<WdxEqBand *> records;
            for (int i = 0; i < 8; ++i)
                records << lender.record(40, 36, 3, quint8(type), true, i == 0);
            eq.onEqRead(0, true, records);
        }
        const RVEQBand *band = eq.bandAt(0);
        QCOMPARE(int(band->bandType()), type);
        QCOMPARE(band->minQualityFactor(), minimum);
        // A device value below the minimum is shown as read, not widened.
        if (how != QLatin1String("new"))
            QCOMPARE(band->qualityFactor(), quint8(3));
    }

    void bandListPassesTheItemModelTester()
    {
        FakeClock clock;
        Lender lender;
        RVEq eq;
        eq.setChannelIndex(0);
        QAbstractItemModelTester tester(eq.bandListModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&eq, &RVEq::dataChanged);
        for (int i = 0; i < 5; ++i)
            QVERIFY(eq.addBand(quint8(100 - i * 7)));
        QVERIFY(changed.count() > 0);
        eq.selectNextBand();
        eq.setIsMoreOpen(2, true);
        eq.bandAt(1)->setBandType(RVEQBand::LowShelf);
        eq.copyBand(1);
        eq.pasteBand(6);
        eq.removeBand(0);
        clock.advance(RVEq::kReplyGuardMs);
        QList<WdxEqBand *> records;
        for (int i = 0; i < 8; ++i)
            records << lender.record(quint8(i * 3), 36, 4, RVEQBand::Bell, true, i % 2 == 0);
        eq.onEqRead(0, true, records);
        QCOMPARE(eq.usedBandCount(), 4);
        eq.setMaxBandCount(6);
        eq.removeAllBands();
        eq.bandListModel()->clear();
        QCOMPARE(eq.bandListModel()->rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstEqModel)
#include "tst_eqmodel.moc"
