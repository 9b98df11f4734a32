#include "ModelTestSupport.h"
#include "models/RVEQBand.h"
#include "models/RVEQBandListModel.h"
#include "models/RVEq.h"
#include "models/WdxInputItem.h"
#include "models/WdxInputListModel.h"
#include "models/WdxInputPatchItem.h"
#include "models/WdxInputPatchListModel.h"
#include "models/WdxModel.h"
#include "models/WdxPreProcItem.h"
#include "models/WdxPreProcListModel.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// The input and pre-processing lists of a device model, on the fake clock.
struct Channels
{
    WdxPreProcItem *channel(int index) const { return preProcs->preProcAt(index); }
    RVEq *eq(int index) const { return channel(index)->eq(); }
    QList<int> gains(int index) const
    {
        QList<int> list;
        for (int row = 0; row < 8; ++row)
            list << eq(index)->bandAt(row)->gain();
        return list;
    }

    FakeClock clock;
    WdxModel model;
    WdxInputListModel *inputs = model.inputList();
    WdxPreProcListModel *preProcs = model.preProcList();
};

} // namespace

class TstPreProcModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLogger::QLoggerManager::setOutputMode(QLogger::LogOff); }

    void inputNames_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("longName");
        QTest::addColumn<QString>("shortName");
        QTest::newRow("0") << 0 << "Analog L" << "Ana L";
        QTest::newRow("1") << 1 << "Analog R" << "Ana R";
        QTest::newRow("2") << 2 << "AES/EBU L" << "AES L";
        QTest::newRow("3") << 3 << "AES/EBU R" << "AES R";
        QTest::newRow("4") << 4 << "Digital L" << "DGT L";
        QTest::newRow("5") << 5 << "Digital R" << "DGT R";
        QTest::newRow("6") << 6 << "Unknown" << "Unknown";
        QTest::newRow("-1") << -1 << "Unknown" << "Unknown";
    }
    void inputNames()
    {
        QFETCH(int, index);
        QFETCH(QString, longName);
        QFETCH(QString, shortName);
        WdxInputItem input(index);
        input.updateLevel(quint8(index + 20));
        QCOMPARE(input.id(), longName);
        QCOMPARE(input.roleNames(), (QHash<int, QByteArray>{{257, "type"}, {258, "typeStr"}, {259, "typeShortStr"}, {260, "level"}}));
        QCOMPARE((QVariantList{input.data(257), input.data(258), input.data(259), input.data(260), input.data(261)}),
                 (QVariantList{index, longName, shortName, index + 20, QVariant()}));
        WdxInputPatchItem patch(&input, 2);
        QCOMPARE(patch.id(), longName);
        QCOMPARE((QVariantList{patch.data(257), patch.data(258), patch.data(259), patch.data(260), patch.data(261)}),
                 (QVariantList{index, longName, shortName, double(index + 20), false}));
        QCOMPARE(patch.data(260).userType(), int(QMetaType::Double));
        QCOMPARE(patch.roleNames().value(261), QByteArray("isPatched"));
    }

    void inputLevelsReachBothPatchLists()
    {
        Channels c;
        SignalTrace trace(c.inputs->inputAt(3));
        QSignalSpy rightRows(c.channel(1)->inputPatches(), &QAbstractItemModel::dataChanged);
        c.inputs->inputAt(3)->updateLevel(77);
        c.inputs->inputAt(3)->updateLevel(77);
        c.inputs->inputAt(3)->reset();
        QCOMPARE(trace.events, QStringList({"dataChanged", "levelChanged", "dataChanged", "levelChanged"}));
        QCOMPARE(rightRows.count(), 2);
        QCOMPARE(rightRows.at(0).at(0).value<QModelIndex>().row(), 3);
        QCOMPARE(c.channel(0)->inputPatches()->data(c.channel(0)->inputPatches()->index(3), 260).toDouble(), 0.0);
    }

    // Patching inputs 0 and 3 gives 9; a report within 999 ms of the toggle is ignored, one
    // at 1000 ms applied; so is one for the other channel, or while the user edits.
    void patchToggleAndEchoGuard()
    {
        Channels c;
        WdxPreProcItem *right = c.channel(1);
        QSignalSpy writes(right, &WdxPreProcItem::notifyRequestToWritePatch);
        c.preProcs->toggleInputPatched(1, 0);
        c.preProcs->toggleInputPatched(1, 3);
        c.preProcs->toggleInputPatched(1, 6); // no such input
        c.preProcs->toggleInputPatched(2, 1); // no such channel
        QCOMPARE(right->patchValue(), quint8(9));
        QCOMPARE(c.channel(0)->patchValue(), quint8(0));
        QCOMPARE(writes.count(), 2);
        auto readsAs = [&](int channel, int value) {
            right->onPatchRead(channel, quint8(value));
            return int(right->patchValue());
        };
        c.clock.advance(999);
        QCOMPARE(readsAs(1, 1), 9);
        c.clock.advance(1);
        QCOMPARE(readsAs(0, 1), 9);
        QCOMPARE(readsAs(1, 1), 1);
        right->setIsEditingPatch(true);
        QCOMPARE(readsAs(1, 0x3F), 1);
        right->setIsEditingPatch(false);
        QCOMPARE(readsAs(1, 0xC4), 4); // bits beyond the six inputs are ignored
        QCOMPARE(writes.count(), 2); // reports never write
        right->reset();
        QCOMPARE(right->patchValue(), quint8(0));
    }

    void patchGuardWithTheRealClock()
    {
        Channels c;
        EditTimer::setClock(EditTimer::Clock());
        c.channel(0)->toggleInputPatch(2);
        c.channel(0)->onPatchRead(0, 0);
        QCOMPARE(c.channel(0)->patchValue(), quint8(4));
        QTRY_VERIFY_WITH_TIMEOUT((c.channel(0)->onPatchRead(0, 0), c.channel(0)->patchValue() == 0), 10000);
    }

    void itemRolesSelectionAndEqForwarding()
    {
        Channels c;
        WdxPreProcItem *right = c.channel(1);
        QCOMPARE(right->id(), QStringLiteral("1"));
        QCOMPARE(right->roleNames(), (QHash<int, QByteArray>{{257, "channelIndex"}, {258, "name"}, {259, "shortName"}, {260, "isSelected"}}));
        QSignalSpy rightSelected(right, &WdxPreProcItem::isSelectedChanged);
        c.preProcs->setSelectedChannelIndex(1);
        c.preProcs->setSelectedChannelIndex(1);
        QCOMPARE((QVariantList{right->data(257), right->data(258), right->data(259), right->data(260), right->data(261)}),
                 (QVariantList{1, "Right", "R", true, QVariant()}));
        QVERIFY(!c.channel(0)->isSelected());
        QCOMPARE(rightSelected.count(), 1);
        QCOMPARE(c.preProcs->inputPatches(1), right->inputPatches());
        QVERIFY(!c.preProcs->inputPatches(2));
        QCOMPARE(right->getEqBand(7), right->eq()->bandAt(7));
        // EQ writes leave through the item with its channel, replies come in through it.
        QSignalSpy eqWrites(right, &WdxPreProcItem::notifyRequestToWriteEq);
        QVERIFY(right->eq()->addBand(33));
        QCOMPARE(eqWrites.count(), 1);
        QCOMPARE(eqWrites.at(0).at(0).toInt(), 1);
        c.clock.advance(3000);
        WdxEqBand band;
        band.setFrequency(44);
        band.setUsed(true);
        emit right->eqRead(1, true, {&band});
        QCOMPARE(right->eq()->bandAt(0)->frequency(), quint8(44));
    }

    // Linked EQs take each band edit on both channels, each on its own selected band and in
    // its own order; a channel with nothing selected is left alone. Patches are never linked.
    void linkedBandEdits()
    {
        Channels c;
        RVEq *left = c.eq(0);
        RVEq *right = c.eq(1);
        QVERIFY(left->addBand(40, 36, 5) && left->addBand(60, 36, 5));
        QVERIFY(right->addBand(50, 30, 5) && right->addBand(70, 30, 5));
        left->selectBand(1);
        right->selectBand(0);
        QSignalSpy leftWrites(left, &RVEq::notifyRequestToWrite);
        QSignalSpy rightWrites(right, &RVEq::notifyRequestToWrite);
        c.preProcs->setSelectedBandGain(1, 50); // unlinked: only the addressed channel
        QCOMPARE(c.gains(0) + c.gains(1), (QList<int>{36, 36, 0, 0, 0, 0, 0, 0, 50, 30, 0, 0, 0, 0, 0, 0}));
        c.preProcs->toggleLinkEq();
        QVERIFY(c.preProcs->isEqLinked());
        c.preProcs->setSelectedBandGain(0, 20);
        QCOMPARE(c.gains(0) + c.gains(1), (QList<int>{36, 20, 0, 0, 0, 0, 0, 0, 20, 30, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(leftWrites.count() + 10 * rightWrites.count(), 21);
        c.preProcs->toggleInputPatched(0, 2);
        QCOMPARE(c.channel(1)->patchValue(), quint8(0));
        c.preProcs->setSelectedBandFrequency(1, 10);
        c.preProcs->setSelectedBandQ(0, 3);
        c.preProcs->setSelectedBandType(0, 2);
        c.preProcs->setSelectedBandEnabled(1, false);
        for (RVEQBand *band : {left->bandAt(1), right->bandAt(0)}) {
            QCOMPARE((QList<int>{band->frequency(), band->qualityFactor(), band->bandType(), band->isEnabled(), band->displayIndex()}),
                     (QList<int>{10, 17, 2, 0, 1})); // Q 3 widened for the high pass
        }
        QCOMPARE(left->lastUsedFrequency() + right->lastUsedFrequency(), 40 + 70);
        c.preProcs->addBand(0, 100, 40, 2);
        QCOMPARE(left->usedBandCount() + right->usedBandCount(), 6);

        // The right channel has nothing selected: only the left one changes.
        right->clearSelected();
        left->selectBand(0);
        leftWrites.clear();
        rightWrites.clear();
        c.preProcs->setSelectedBandGain(1, 9);
        c.preProcs->setSelectedBandType(1, 6);
        c.preProcs->setSelectedBandEnabled(1, false);
        c.preProcs->copySelectedBand(1);
        c.preProcs->removeSelectedBand(1);
        QCOMPARE(c.gains(1), (QList<int>{20, 30, 40, 0, 0, 0, 0, 0}));
        QCOMPARE(right->usedBandCount(), 3);
        QCOMPARE(rightWrites.count(), 0);
        QCOMPARE(leftWrites.count(), 4);
        QVERIFY(!right->hasCopy() && left->hasCopy() && !left->bandAt(0)->isUsed());
    }

    // Each band edit from the scene runs with the EQ's editing flag up and ends with it down;
    // pasting a band writes nothing by itself.
    void bandEditsHoldTheEditingFlag()
    {
        Channels c;
        RVEq *left = c.eq(0);
        QVERIFY(left->addBand(40));
        QList<bool> editingAtWrite;
        connect(left, &RVEq::notifyRequestToWrite, this, [&] { editingAtWrite << left->isEditing(); });
        left->setIsEditing(true);
        c.preProcs->setSelectedBandGain(0, 10);
        c.preProcs->setSelectedBandType(0, 5);
        c.preProcs->copySelectedBand(0);
        c.preProcs->addBand(0, 80, 36, 0);
        c.preProcs->pasteSelectedBand(0);
        c.preProcs->removeSelectedBand(0);
        QCOMPARE(editingAtWrite, QList<bool>({true, true, true, true}));
        QVERIFY(!left->isEditing());
        QCOMPARE(left->bandAt(1)->gain(), quint8(10));
    }

    // Pasting a channel's EQ replaces every band of the other: one removal, one write per
    // band, one for the on/off state.
    void channelEqCopyAndPaste()
    {
        Channels c;
        RVEq *left = c.eq(0);
        RVEq *right = c.eq(1);
        QVERIFY(left->addBand(30, 40, 5, true, 1) && left->addBand(90, 20, 20, false, 4));
        left->setIsEnabled(false);
        for (int i = 0; i < 5; ++i)
            QVERIFY(right->addBand(quint8(10 + i * 10), 50, 9, true, 6));
        c.preProcs->pasteChannelEq(1); // nothing copied
        QCOMPARE(right->usedBandCount(), 5);
        QSignalSpy hasCopy(c.preProcs, &WdxPreProcListModel::hasEqCopyChanged);
        c.preProcs->copyChannelEq(0);
        c.preProcs->copyChannelEq(0);
        QCOMPARE(hasCopy.count(), 1);
        QSignalSpy rightWrites(right, &RVEq::notifyRequestToWrite);
        c.preProcs->pasteChannelEq(1);
        QCOMPARE(right->usedBandCount(), 2);
        QVERIFY(!right->isEnabled());
        QCOMPARE(rightWrites.count(), 4);
        QVERIFY(*right->bandAt(0) == *left->bandAt(0) && *right->bandAt(1) == *left->bandAt(1));
        QVERIFY(right->bandAt(0)->isEnabled() && !right->bandAt(1)->isEnabled());
        QVERIFY(c.preProcs->hasSameEq());
        c.preProcs->pasteChannelEq(5);
        QCOMPARE(rightWrites.count(), 4);
    }

    // Equal: same on/off state, same used count, equal bands wherever either is used.
    void eqEquality()
    {
        Channels c;
        RVEq *left = c.eq(0);
        RVEq *right = c.eq(1);
        QVERIFY(left->addBand(30, 40, 5) && !c.preProcs->hasSameEq());
        QVERIFY(right->addBand(30, 40, 5));
        right->bandAt(0)->setIsEnabled(false); // band flags take no part
        right->bandAt(5)->updateGain(9); // unused on both sides: skipped
        QVERIFY(c.preProcs->hasSameEq());
        right->setIsEnabled(false);
        QVERIFY(!c.preProcs->hasSameEq());
        right->setIsEnabled(true);
        right->bandAt(0)->setBandType(6);
        QVERIFY(!c.preProcs->hasSameEq());
        right->bandAt(0)->setBandType(1);
        QVERIFY(left->addBand(50)); // slot 1 on the left, slot 2 on the right: different
        right->bandAt(2)->updateFrequency(50);
        right->bandAt(2)->updateIsUsed(true);
        QVERIFY(!c.preProcs->hasSameEq());
    }
};

QTEST_GUILESS_MAIN(TstPreProcModel)
#include "tst_preprocmodel.moc"
