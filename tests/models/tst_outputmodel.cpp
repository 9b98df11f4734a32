#include "ModelTestSupport.h"
#include "models/WdxOutputItem.h"
#include "models/WdxModel.h"
#include "models/WdxOutputListModel.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// The three outputs of a device model, on the fake clock.
struct Outputs
{
    WdxOutputItem *at(int row) const { return list->outputAt(row); }
    QList<int> values(int (*read)(const WdxOutputItem *)) const { return {read(at(0)), read(at(1)), read(at(2))}; }

    FakeClock clock;
    WdxModel model;
    WdxOutputListModel *list = model.outputList();
};

QVariantList roles(const WdxOutputItem &item)
{
    QVariantList list;
    for (int role = 256; role <= 275; ++role)
        list << item.data(role);
    return list;
}

} // namespace

class TstOutputModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLogger::QLoggerManager::setOutputMode(QLogger::LogOff); }

    // Every role holds a value different from its neighbours', so a role read from the wrong
    // field shows (decay is 264, threshold 265). Reset restores the device values only.
    void rolesAndReset()
    {
        LogCapture log;
        WdxOutputItem item(2);
        QCOMPARE(log.count("WdxOutputItem", "WdxOutputItem", "Logger created"), 1);
        QCOMPARE(item.id(), QStringLiteral("3"));
        const QList<QByteArray> names{"channelIndex", "name", "speakerVariant", "speakerId", "outputLevel",
                                      "compressionLevel", "compressionRatio", "compressionDecay",
                                      "compressionThreshold", "isCustomCompressionEnabled", "delay", "gain",
                                      "hwGainRole", "isLinked", "hasBackup", "IsSelected",
                                      "delayUnitOfMeasureIndex", "patch"};
        QCOMPARE(item.roleNames().size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(item.roleNames().value(257 + i), names.at(i));
        const QVariant none;
        QCOMPARE(roles(item), (QVariantList{none, 2, "Output", 0, "   ", 0, 0, 0, 0, 18, false, 0, 0, 0, false, false, false, 0, 0, none}));
        SignalTrace trace(&item);
        item.updateName(QStringLiteral("Sub"));
        item.updateSpeakerVariant(3);
        item.updateSpeakerId(QStringLiteral("AB1"));
        item.updateOutputLevel(5);
        item.updateCompressionLevel(6);
        item.updateCompressionRatio(7);
        item.updateCompressionDecay(8);
        item.updateCompressionThreshold(9);
        item.updateIsCustomCompressionEnabled(true);
        item.updateDelay(2280);
        item.updateGain(72);
        item.updateFrontPanelGain(11);
        item.saveBackup();
        item.setCompressionRatio(1); // differs from the backup
        item.setIsLinked(true);
        item.setDelayUnitOfMeasureIndex(2);
        item.updatePatch(4);
        QCOMPARE(roles(item), (QVariantList{none, 2, "Sub", 3, "AB1", 5, 6, 1, 8, 9, true, 2280, 72, 11, true, true, false, 2, 4, none}));
        QCOMPARE(trace.count("dataChanged"), 17);
        trace.events.clear();
        item.reset();
        QCOMPARE(roles(item), (QVariantList{none, 2, "Sub", 0, "   ", 0, 0, 0, 0, 18, false, 0, 0, 11, true, true, false, 2, 0, none}));
        QCOMPARE(trace.count("gainChanged"), 1);
        QCOMPARE(trace.events.filter(QStringLiteral("notifyRequest")), QStringList());
        item.setIsSelected(true);
        item.updateOutputLevel(9);
        item.updateCompressionLevel(9);
        item.resetVuMeters();
        QCOMPARE(roles(item).mid(5, 2) + roles(item).mid(16, 1), (QVariantList{0, 0, true}));
    }

    // Linked outputs follow an edit: absolute mode copies the value, relative mode moves them
    // by the same step, kept within 0..72 for gains and 0..2400 for delays.
    void linkedEdits_data()
    {
        QTest::addColumn<bool>("delay");
        QTest::addColumn<bool>("absolute");
        QTest::addColumn<QList<int>>("linked");
        QTest::addColumn<QList<int>>("start");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("value");
        QTest::addColumn<QList<int>>("expected");
        const QList<int> mains{0, 2};
        QTest::newRow("gain up, clamped") << false << false << mains << QList<int>{60, 30, 70} << 0 << 66 << QList<int>{66, 30, 72};
        QTest::newRow("gain to exactly 72") << false << false << mains << QList<int>{60, 30, 70} << 0 << 62 << QList<int>{62, 30, 72};
        QTest::newRow("gain down, clamped") << false << false << mains << QList<int>{10, 30, 5} << 0 << 0 << QList<int>{0, 30, 0};
        QTest::newRow("gain down to exactly 0") << false << false << mains << QList<int>{10, 30, 5} << 0 << 5 << QList<int>{5, 30, 0};
        QTest::newRow("gain step from row 2") << false << false << mains << QList<int>{20, 30, 40} << 2 << 45 << QList<int>{25, 30, 45};
        QTest::newRow("gain, sub and main R") << false << false << QList<int>{1, 2} << QList<int>{7, 9, 33} << 1 << 4 << QList<int>{7, 4, 28};
        QTest::newRow("gain absolute") << false << true << QList<int>{0, 1} << QList<int>{10, 50, 3} << 1 << 31 << QList<int>{31, 31, 3};
        QTest::newRow("gain, edited row unlinked") << false << false << mains << QList<int>{10, 20, 30} << 1 << 25 << QList<int>{10, 25, 30};
        QTest::newRow("gain, peers unlinked") << false << true << QList<int>{2} << QList<int>{10, 20, 30} << 2 << 35 << QList<int>{10, 20, 35};
        QTest::newRow("gain, row 3") << false << true << QList<int>{0, 1, 2} << QList<int>{1, 2, 3} << 3 << 9 << QList<int>{1, 2, 3};
        QTest::newRow("gain, row -1") << false << true << QList<int>{0, 1, 2} << QList<int>{1, 2, 3} << -1 << 9 << QList<int>{1, 2, 3};
        QTest::newRow("delay up, clamped at 2400") << true << false << mains << QList<int>{2000, 0, 2300} << 0 << 2101 << QList<int>{2101, 0, 2400};
        QTest::newRow("delay past 2280") << true << false << mains << QList<int>{2000, 0, 2270} << 0 << 2011 << QList<int>{2011, 0, 2281};
        QTest::newRow("delay to exactly 2400") << true << false << mains << QList<int>{2000, 0, 2300} << 0 << 2100 << QList<int>{2100, 0, 2400};
        QTest::newRow("delay down from row 2") << true << false << mains << QList<int>{2000, 0, 300} << 2 << 100 << QList<int>{1800, 0, 100};
        QTest::newRow("delay down past 0") << true << false << QList<int>{0, 1} << QList<int>{500, 200, 0} << 0 << 250 << QList<int>{250, 0, 0};
        QTest::newRow("delay absolute") << true << true << QList<int>{1, 2} << QList<int>{5, 7, 9} << 2 << 1234 << QList<int>{5, 1234, 1234};
    }
    void linkedEdits()
    {
        QFETCH(bool, delay);
        QFETCH(bool, absolute);
        QFETCH(QList<int>, linked);
        QFETCH(QList<int>, start);
        QFETCH(int, row);
        QFETCH(int, value);
        QFETCH(QList<int>, expected);
        Outputs o;
        o.list->setAbsoluteLink(absolute);
        QCOMPARE(o.list->absoluteLink(), absolute);
        int writes = 0;
        for (int r = 0; r < 3; ++r) {
            o.list->setIsLinked(r, linked.contains(r));
            delay ? o.at(r)->updateDelay(quint16(start.at(r))) : o.at(r)->updateGain(quint8(start.at(r)));
            QObject::connect(o.at(r), &WdxOutputItem::notifyRequestToWriteGain, &o.model, [&] { writes += delay ? 100 : 1; });
            QObject::connect(o.at(r), &WdxOutputItem::notifyRequestToWriteDelay, &o.model, [&] { writes += delay ? 1 : 100; });
        }
        delay ? o.list->setDelay(row, quint16(value)) : o.list->setGain(row, quint8(value));
        QCOMPARE(o.values(delay ? +[](const WdxOutputItem *i) { return int(i->delay()); }
                                : +[](const WdxOutputItem *i) { return int(i->gain()); }),
                 expected);
        int changed = 0;
        for (int r = 0; r < 3; ++r)
            changed += start.at(r) != expected.at(r) ? 1 : 0;
        QCOMPARE(writes, changed);
    }

    // Compressor settings follow the linked outputs in either link mode; unit and selection
    // apply to every row; a row outside the list changes nothing.
    void linkedCompressorAndAllRowSettings()
    {
        Outputs o;
        o.list->setIsLinked(0, true);
        o.list->setIsLinked(2, true);
        o.list->setCompressorThreshold(2, 90);
        o.list->setCompressorRatio(0, 4);
        o.list->setCompressorRatio(1, 9);
        o.list->setCompressorThreshold(3, 1);
        o.list->setSpeakerName(1, QStringLiteral("AS1"));
        o.list->setUnitOfMeasure(1);
        o.list->setSelectedChannelIndex(1);
        QCOMPARE(o.values([](const WdxOutputItem *i) { return int(i->compressionThreshold()); }), (QList<int>{90, 18, 90}));
        QCOMPARE(o.values([](const WdxOutputItem *i) { return int(i->compressionRatio()); }), (QList<int>{4, 9, 4}));
        QCOMPARE(o.values([](const WdxOutputItem *i) { return i->delayUnitOfMeasureIndex() * 10 + i->isSelected(); }), (QList<int>{10, 11, 10}));
        QCOMPARE(o.at(1)->speakerId() + o.at(2)->speakerId(), QStringLiteral("AS1   "));
    }

    // User edits write only on a change, except the speaker variant and id: always requested.
    void userEdits()
    {
        WdxOutputItem item(0);
        SignalTrace trace(&item);
        item.setGain(0);
        item.setDelay(0);
        item.setPatch(0);
        item.setCompressionRatio(0);
        item.setCompressionThreshold(18);
        item.setCompressionDecay(0);
        item.setIsCustomCompressionEnabled(false);
        QVERIFY(trace.events.isEmpty());
        item.setGain(4);
        item.setDelay(4);
        item.setPatch(4);
        item.setCompressionRatio(4);
        item.setCompressionThreshold(4);
        item.setCompressionDecay(4);
        item.setIsCustomCompressionEnabled(true);
        item.setSpeakerVariant(0);
        item.setSpeakerId(QStringLiteral("AA1"));
        item.setSpeakerId(QStringLiteral("MB2"));
        item.undoSetSpeakerId();
        item.setSpeakerId(QStringLiteral("AA1"));
        QCOMPARE(item.previousSpeakerId(), QStringLiteral("AA1"));
        QStringList writes = trace.events.filter(QStringLiteral("notifyRequestToWrite")).replaceInStrings(QStringLiteral("notifyRequestToWrite"), QString());
        writes.sort();
        QCOMPARE(writes.join(QLatin1Char(' ')), QStringLiteral("Compressor Compressor Compressor Compressor Delay Gain Patch "
                                                               "SpeakerPreset SpeakerPreset SpeakerPreset SpeakerVariant"));
        QCOMPARE(trace.count("speakerVariantChanged") + trace.count("speakerIdChanged"), 3);
    }

    // hasBackup: a backup exists and one of decay, threshold, ratio differs from it.
    void compressorBackup()
    {
        WdxOutputItem item(1);
        QSignalSpy has(&item, &WdxOutputItem::hasBackupChanged);
        QSignalSpy writes(&item, &WdxOutputItem::notifyRequestToWriteCompressor);
        item.restoreBackup(); // no backup: nothing
        item.updateCompressionRatio(3);
        item.updateCompressionDecay(5);
        item.saveBackup();
        QCOMPARE(writes.count() + has.count(), 0);
        item.setCompressionThreshold(60);
        item.setCompressionRatio(8);
        item.setCompressionThreshold(18); // back, but the ratio still differs
        QVERIFY(item.hasBackup());
        item.restoreBackup();
        QVERIFY(!item.hasBackup());
        QCOMPARE(has.count(), 2);
        QCOMPARE((QList<int>{item.compressionRatio(), item.compressionDecay(), item.compressionThreshold()}), (QList<int>{3, 5, 18}));
        QCOMPARE(writes.count(), 4); // the restore wrote only the ratio
        item.setCompressionDecay(9);
        QVERIFY(item.hasBackup());
    }

    // The guard windows on the real clock: reports are held back for a second after an edit,
    // and while the user holds the control however old the edit is.
    void reportGuardWithTheRealClock()
    {
        WdxOutputItem item(0);
        item.setCompressionRatio(7);
        item.onCompressorRead(0, 3, 0, 18, false);
        QCOMPARE(item.compressionRatio(), quint8(7));
        QTRY_VERIFY_WITH_TIMEOUT((item.onCompressorRead(0, 3, 0, 18, false), item.compressionRatio() == 3), 10000);
        item.setIsEditingCompressor(true);
        item.setIsEditingPatch(true);
        item.onCompressorRead(0, 4, 0, 18, false);
        item.onPatchRead(0, 4);
        QCOMPARE(item.compressionRatio() + item.patch(), 3);
        item.setIsEditingCompressor(false);
        item.setIsEditingPatch(false);
        item.onCompressorRead(0, 4, 1, 30, true);
        item.onPatchRead(0, 4);
        QCOMPARE((QList<int>{item.compressionRatio(), item.compressionDecay(), item.compressionThreshold(),
                             item.isCustomCompressionEnabled(), item.patch()}),
                 (QList<int>{4, 1, 30, 1, 4}));
    }
};

QTEST_GUILESS_MAIN(TstOutputModel)
#include "tst_outputmodel.moc"
