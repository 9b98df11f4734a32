#include "ModelTestSupport.h"
#include "models/WdxOutputItem.h"
#include "models/WdxOutputListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The three outputs as the device model builds them.
struct Outputs
{
    Outputs()
    {
        list = new WdxOutputListModel(&owner);
        const char *names[] = {"Main L", "Sub", "Main R"};
        for (int channel = 0; channel < 3; ++channel) {
            auto *item = new WdxOutputItem(channel, &owner);
            item->updateSpeakerId(WdxOutputItem::kNoSpeakerId);
            item->updateName(QString::fromLatin1(names[channel]));
            list->appendRow(item);
        }
    }
    WdxOutputItem *at(int row) const { return list->outputAt(row); }

    QObject owner;
    WdxOutputListModel *list = nullptr;
};

} // namespace

class TstOutputModel : public QObject
{
    Q_OBJECT

private:
    LogCapture *m_log = nullptr;

private slots:
    void initTestCase() { m_log = new LogCapture; }
    void cleanupTestCase() { delete m_log; }

    void rolesAndInitialValues()
    {
        m_log->clear();
        WdxOutputItem item(2);
        QCOMPARE(m_log->count("WdxOutputItem", "WdxOutputItem", "Logger created"), 1);
        QCOMPARE(item.id(), QStringLiteral("3"));
        QCOMPARE(item.name(), QStringLiteral("Output"));
        QCOMPARE(item.speakerId(), QStringLiteral("   "));
        QCOMPARE(item.compressionThreshold(), quint8(18));

        const QList<QByteArray> expected{"channelIndex", "name", "speakerVariant", "speakerId", "outputLevel",
                                         "compressionLevel", "compressionRatio", "compressionDecay",
                                         "compressionThreshold", "isCustomCompressionEnabled", "delay", "gain",
                                         "hwGainRole", "isLinked", "hasBackup", "IsSelected",
                                         "delayUnitOfMeasureIndex", "patch"};
        const auto names = item.roleNames();
        QCOMPARE(names.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(names.value(257 + i), expected[i]);

        item.updateCompressionDecay(3);
        item.updateCompressionThreshold(40);
        item.updateFrontPanelGain(11);
        item.setIsSelected(true);
        item.setDelayUnitOfMeasureIndex(2);
        QCOMPARE(item.data(264).toInt(), 3);
        QCOMPARE(item.data(265).toInt(), 40);
        QCOMPARE(item.data(269).toInt(), 11);
        QCOMPARE(item.data(272).toBool(), true);
        QCOMPARE(item.data(273).toInt(), 2);
        QCOMPARE(item.data(257).toInt(), 2);
        QVERIFY(!item.data(275).isValid());
        QVERIFY(!item.data(Qt::DisplayRole).isValid());
    }

    void everyShownChangeRefreshesTheRow()
    {
        Outputs o;
        QSignalSpy rows(o.list, &QAbstractItemModel::dataChanged);
        WdxOutputItem *sub = o.at(1);
        sub->updateGain(10);
        sub->updateDelay(5);
        sub->updateOutputLevel(9);
        sub->updateCompressionLevel(9);
        sub->updatePatch(2);
        sub->updateSpeakerVariant(1);
        sub->setIsLinked(true);
        QCOMPARE(rows.count(), 7);
        for (const auto &args : rows)
            QCOMPARE(args.at(0).value<QModelIndex>().row(), 1);
        sub->updateGain(10);
        sub->setIsLinked(true);
        QCOMPARE(rows.count(), 7);
    }

    void relativeLinkClamps()
    {
        Outputs o;
        o.list->setIsLinked(0, true);
        o.list->setIsLinked(2, true);
        o.at(0)->updateGain(60);
        o.at(2)->updateGain(70);
        o.at(1)->updateGain(30);
        QSignalSpy writes2(o.at(2), &WdxOutputItem::notifyRequestToWriteGain);
        o.list->setGain(0, 66);
        QCOMPARE(o.at(0)->gain(), quint8(66));
        QCOMPARE(o.at(2)->gain(), quint8(72));
        QCOMPARE(o.at(1)->gain(), quint8(30)); // not linked
        QCOMPARE(writes2.count(), 1);

        o.at(0)->updateGain(10);
        o.at(2)->updateGain(5);
        o.list->setGain(0, 0);
        QCOMPARE(o.at(0)->gain(), quint8(0));
        QCOMPARE(o.at(2)->gain(), quint8(0));

        // The step is what moves, not the value.
        o.at(0)->updateGain(20);
        o.at(2)->updateGain(40);
        o.list->setGain(2, 45);
        QCOMPARE(o.at(0)->gain(), quint8(25));

        // Delay: the same with the 2400 ceiling.
        o.at(0)->updateDelay(2000);
        o.at(2)->updateDelay(2300);
        o.list->setDelay(0, 2200);
        QCOMPARE(o.at(0)->delay(), quint16(2200));
        QCOMPARE(o.at(2)->delay(), quint16(2400));
        o.list->setDelay(2, 100);
        QCOMPARE(o.at(2)->delay(), quint16(100));
        QCOMPARE(o.at(0)->delay(), quint16(0));
    }

    void absoluteLinkAndUnlinkedEdits()
    {
        Outputs o;
        o.list->setIsLinked(0, true);
        o.list->setIsLinked(1, true);
        o.list->setAbsoluteLink(true);
        QVERIFY(o.list->absoluteLink());
        o.at(0)->updateGain(10);
        o.at(1)->updateGain(50);
        o.list->setGain(1, 30);
        QCOMPARE(o.at(0)->gain(), quint8(30));
        QCOMPARE(o.at(1)->gain(), quint8(30));
        o.list->setDelay(0, 1234);
        QCOMPARE(o.at(1)->delay(), quint16(1234));
        QCOMPARE(o.at(2)->delay(), quint16(0));

        // An unlinked output changes alone while the others are linked.
        o.list->setGain(2, 7);
        QCOMPARE(o.at(2)->gain(), quint8(7));
        QCOMPARE(o.at(0)->gain(), quint8(30));
        QCOMPARE(o.at(1)->gain(), quint8(30));

        // Compressor settings follow linked outputs in either mode.
        o.list->setAbsoluteLink(false);
        o.list->setCompressorThreshold(0, 90);
        o.list->setCompressorRatio(1, 4);
        QCOMPARE(o.at(1)->compressionThreshold(), quint8(90));
        QCOMPARE(o.at(0)->compressionRatio(), quint8(4));
        QCOMPARE(o.at(2)->compressionThreshold(), quint8(18));
        o.list->setCompressorRatio(2, 9);
        QCOMPARE(o.at(0)->compressionRatio(), quint8(4));

        // Outside the list: nothing.
        o.list->setGain(3, 1);
        o.list->setDelay(-1, 1);
        o.list->setCompressorThreshold(3, 1);
        o.list->setSpeakerVariant(5, 1);
        o.list->setSpeakerName(5, QStringLiteral("AA1"));
        o.list->setIsLinked(9, false);
        QVERIFY(o.at(0)->isLinked());
    }

    void unitAndSelectionApplyToAll()
    {
        Outputs o;
        o.list->setUnitOfMeasure(1);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(o.at(row)->delayUnitOfMeasureIndex(), 1);
        o.list->setSelectedChannelIndex(2);
        QVERIFY(!o.at(0)->isSelected());
        QVERIFY(o.at(2)->isSelected());
        o.list->setSelectedChannelIndex(-1);
        QVERIFY(!o.at(2)->isSelected());
    }

    void userEditsWriteOnlyOnChange()
    {
        WdxOutputItem item(0);
        QSignalSpy gain(&item, &WdxOutputItem::notifyRequestToWriteGain);
        QSignalSpy delay(&item, &WdxOutputItem::notifyRequestToWriteDelay);
        QSignalSpy patch(&item, &WdxOutputItem::notifyRequestToWritePatch);
        QSignalSpy compressor(&item, &WdxOutputItem::notifyRequestToWriteCompressor);
        item.setGain(0);
        item.setDelay(0);
        item.setPatch(0);
        item.setCompressionRatio(0);
        item.setCompressionThreshold(18);
        item.setIsCustomCompressionEnabled(false);
        QCOMPARE(gain.count() + delay.count() + patch.count() + compressor.count(), 0);
        item.setGain(4);
        item.setDelay(4);
        item.setPatch(4);
        item.setCompressionRatio(4);
        item.setCompressionThreshold(4);
        item.setCompressionDecay(4);
        item.setIsCustomCompressionEnabled(true);
        QCOMPARE(gain.count(), 1);
        QCOMPARE(delay.count(), 1);
        QCOMPARE(patch.count(), 1);
        QCOMPARE(compressor.count(), 4);

        // QML writes the decay as a real number.
        QVERIFY(item.setProperty("compressionDecay", 6.6));
        QCOMPARE(item.compressionDecay(), quint8(7));
        QVERIFY(item.setProperty("compressionDecay", 1000.0));
        QCOMPARE(item.compressionDecay(), quint8(255));
        QCOMPARE(item.property("compressionDecay").toFloat(), 255.0f);
    }

    void speakerVariantAndPreset()
    {
        WdxOutputItem item(0);
        QSignalSpy variantWrites(&item, &WdxOutputItem::notifyRequestToWriteSpeakerVariant);
        QSignalSpy variantChanged(&item, &WdxOutputItem::speakerVariantChanged);
        item.setSpeakerVariant(0);
        QCOMPARE(variantWrites.count(), 1);
        QCOMPARE(variantChanged.count(), 0);
        item.setSpeakerVariant(2);
        QCOMPARE(variantWrites.count(), 2);
        QCOMPARE(variantChanged.count(), 1);

        QSignalSpy presetWrites(&item, &WdxOutputItem::notifyRequestToWriteSpeakerPreset);
        item.setSpeakerId(QStringLiteral("AA1"));
        item.setSpeakerId(QStringLiteral("MB2"));
        QCOMPARE(presetWrites.count(), 2);
        QCOMPARE(item.previousSpeakerId(), QStringLiteral("AA1"));
        item.undoSetSpeakerId();
        QCOMPARE(item.speakerId(), QStringLiteral("AA1"));
        QCOMPARE(presetWrites.count(), 2);
        item.setSpeakerId(QStringLiteral("AA1")); // same id: still requested
        QCOMPARE(presetWrites.count(), 3);
    }

    void compressorBackup()
    {
        WdxOutputItem item(1);
        QSignalSpy has(&item, &WdxOutputItem::hasBackupChanged);
        QSignalSpy writes(&item, &WdxOutputItem::notifyRequestToWriteCompressor);
        item.restoreBackup(); // no backup: nothing
        QCOMPARE(writes.count(), 0);
        QVERIFY(!item.hasBackup());

        item.updateCompressionRatio(3);
        item.updateCompressionDecay(5);
        item.saveBackup();
        QVERIFY(!item.hasBackup()); // equal to the current values
        item.setCompressionThreshold(60);
        QVERIFY(item.hasBackup());
        QVERIFY(item.data(WdxOutputItem::HasBackupRole).toBool());
        QCOMPARE(has.count(), 1);
        item.setCompressionRatio(8);
        item.setCompressionThreshold(18); // back, but the ratio still differs
        QVERIFY(item.hasBackup());
        writes.clear();

        item.restoreBackup();
        QVERIFY(!item.hasBackup());
        QCOMPARE(has.count(), 2);
        QCOMPARE(item.compressionRatio(), quint8(3));
        QCOMPARE(item.compressionDecay(), quint8(5));
        QCOMPARE(item.compressionThreshold(), quint8(18));
        QCOMPARE(writes.count(), 1); // only the ratio differed

        // The backup survives a reset of the device values.
        item.reset();
        QVERIFY(item.hasBackup() == false);
        item.setCompressionDecay(9);
        QVERIFY(item.hasBackup());
    }

    void compressorReportGuard()
    {
        FakeClock clock;
        WdxOutputItem item(2);
        QSignalSpy writes(&item, &WdxOutputItem::notifyRequestToWriteCompressor);
        clock.advance(5000);
        item.setCompressionRatio(6);
        QCOMPARE(writes.count(), 1);

        clock.advance(500);
        item.onCompressorRead(2, 1, 2, 30, true);
        QCOMPARE(item.compressionRatio(), quint8(6));
        clock.advance(499); // 999 ms: still held back
        item.onCompressorRead(2, 1, 2, 30, true);
        QCOMPARE(item.compressionRatio(), quint8(6));
        clock.advance(501);
        item.onCompressorRead(1, 1, 2, 30, true); // another output's report
        QCOMPARE(item.compressionRatio(), quint8(6));
        item.onCompressorRead(2, 1, 2, 30, true);
        QCOMPARE(item.compressionRatio(), quint8(1));
        QCOMPARE(item.compressionDecay(), quint8(2));
        QCOMPARE(item.compressionThreshold(), quint8(30));
        QVERIFY(item.isCustomCompressionEnabled());
        QCOMPARE(writes.count(), 1); // reports never write

        item.setIsEditingCompressor(true);
        clock.advance(10000);
        item.onCompressorRead(2, 5, 5, 5, false);
        QCOMPARE(item.compressionRatio(), quint8(1));
        item.setIsEditingCompressor(false);
        item.onCompressorRead(2, 5, 5, 5, false);
        QCOMPARE(item.compressionRatio(), quint8(5));
    }

    void freshItemHoldsReportsBack()
    {
        FakeClock clock;
        WdxOutputItem item(0);
        item.onCompressorRead(0, 4, 0, 18, false);
        item.onPatchRead(0, 3);
        QCOMPARE(item.compressionRatio(), quint8(0));
        QCOMPARE(item.patch(), quint8(0));
        QVERIFY(!item.gainReportAllowed());
        QVERIFY(!item.delayReportAllowed());
        clock.advance(WdxOutputItem::kEditGuardMs);
        item.onCompressorRead(0, 4, 0, 18, false);
        item.onPatchRead(0, 3);
        QCOMPARE(item.compressionRatio(), quint8(4));
        QCOMPARE(item.patch(), quint8(3));
        QVERIFY(item.gainReportAllowed());

        item.setGain(10);
        QVERIFY(!item.gainReportAllowed());
        QVERIFY(item.delayReportAllowed());
        item.setIsEditingDelay(true);
        QVERIFY(!item.delayReportAllowed());
    }

    void patchReportGuard()
    {
        FakeClock clock;
        Outputs o;
        clock.advance(WdxOutputItem::kEditGuardMs);
        for (int row = 0; row < 3; ++row)
            o.at(row)->onPatchRead(2, 6);
        QCOMPARE(o.at(0)->patch(), quint8(0));
        QCOMPARE(o.at(1)->patch(), quint8(0));
        QCOMPARE(o.at(2)->patch(), quint8(6));
        o.at(2)->setPatch(1);
        clock.advance(999);
        o.at(2)->onPatchRead(2, 6);
        QCOMPARE(o.at(2)->patch(), quint8(1));
        clock.advance(1);
        o.at(2)->setIsEditingPatch(true);
        o.at(2)->onPatchRead(2, 6);
        QCOMPARE(o.at(2)->patch(), quint8(1));
        o.at(2)->setIsEditingPatch(false);
        o.at(2)->onPatchRead(2, 6);
        QCOMPARE(o.at(2)->patch(), quint8(6));
    }

    void compressorGuardWithTheRealClock()
    {
        WdxOutputItem item(0);
        QTRY_VERIFY_WITH_TIMEOUT((item.onCompressorRead(0, 2, 0, 18, false), item.compressionRatio() == 2), 10000);
        item.setCompressionRatio(7);
        item.onCompressorRead(0, 3, 0, 18, false);
        QCOMPARE(item.compressionRatio(), quint8(7));
        QTRY_VERIFY_WITH_TIMEOUT((item.onCompressorRead(0, 3, 0, 18, false), item.compressionRatio() == 3), 10000);
    }

    void resetRestoresDeviceValuesOnly()
    {
        Outputs o;
        WdxOutputItem *item = o.at(0);
        item->updateOutputLevel(100);
        item->updateCompressionLevel(50);
        item->updateCompressionRatio(4);
        item->updateCompressionThreshold(60);
        item->updateCompressionDecay(2);
        item->updateIsCustomCompressionEnabled(true);
        item->updateDelay(500);
        item->updateGain(40);
        item->updateFrontPanelGain(30);
        item->updateSpeakerId(QStringLiteral("AB1"));
        item->updateSpeakerVariant(2);
        item->updatePatch(3);
        item->setIsLinked(true);
        item->setIsSelected(true);
        item->setDelayUnitOfMeasureIndex(2);
        QSignalSpy gain(item, &WdxOutputItem::gainChanged);
        QSignalSpy writes(item, &WdxOutputItem::notifyRequestToWriteGain);
        item->reset();
        QCOMPARE(item->outputLevel(), quint8(0));
        QCOMPARE(item->compressionLevel(), quint8(0));
        QCOMPARE(item->compressionRatio(), quint8(0));
        QCOMPARE(item->compressionThreshold(), quint8(18));
        QCOMPARE(item->compressionDecay(), quint8(0));
        QVERIFY(!item->isCustomCompressionEnabled());
        QCOMPARE(item->delay(), quint16(0));
        QCOMPARE(item->gain(), quint8(0));
        QCOMPARE(item->speakerId(), QStringLiteral("   "));
        QCOMPARE(item->speakerVariant(), quint8(0));
        QCOMPARE(item->patch(), quint8(0));
        QCOMPARE(gain.count(), 1);
        QCOMPARE(writes.count(), 0);
        QCOMPARE(item->name(), QStringLiteral("Main L"));
        QCOMPARE(item->frontPanelGain(), quint8(30));
        QVERIFY(item->isLinked());
        QVERIFY(item->isSelected());
        QCOMPARE(item->delayUnitOfMeasureIndex(), 2);

        item->updateOutputLevel(9);
        item->updateCompressionLevel(9);
        item->resetVuMeters();
        QCOMPARE(item->outputLevel(), quint8(0));
        QCOMPARE(item->compressionLevel(), quint8(0));
    }

    void listPassesTheItemModelTester()
    {
        auto *o = new Outputs;
        QAbstractItemModelTester tester(o->list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(o->list->roleNames().value(269), QByteArray("hwGainRole"));
        o->list->setIsLinked(0, true);
        o->list->setIsLinked(2, true);
        o->list->setGain(0, 40);
        o->list->setDelay(2, 300);
        o->list->setCompressorRatio(0, 3);
        o->list->setUnitOfMeasure(2);
        o->list->setSelectedChannelIndex(1);
        o->at(1)->reset();
        o->list->clear();
        QCOMPARE(o->list->rowCount(), 0);
        o->list->appendRow(new WdxOutputItem(0));
        delete o;
    }
};

QTEST_GUILESS_MAIN(TstOutputModel)
#include "tst_outputmodel.moc"
