#include "ModelTestSupport.h"
#include "models/RVEQBand.h"
#include "models/RVEQBandListModel.h"
#include "models/RVEq.h"
#include "models/WdxInputItem.h"
#include "models/WdxInputListModel.h"
#include "models/WdxInputPatchItem.h"
#include "models/WdxInputPatchListModel.h"
#include "models/WdxPreProcItem.h"
#include "models/WdxPreProcListModel.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The input and pre-processing lists as the device model builds them.
struct Channels
{
    Channels()
    {
        QList<ListItem *> items;
        for (int i = 0; i < WdxInputListModel::kInputCount; ++i)
            items.append(new WdxInputItem(i, &owner));
        inputs = new WdxInputListModel(&owner);
        inputs->appendRows(items);

        preProcs = new WdxPreProcListModel(&owner);
        const char *names[] = {"Left", "Right"};
        const char *shortNames[] = {"L", "R"};
        for (int channel = 0; channel < 2; ++channel) {
            auto *item = new WdxPreProcItem(channel, inputs->inputs(), &owner);
            item->updateName(QString::fromLatin1(names[channel]));
            item->updateShortName(QString::fromLatin1(shortNames[channel]));
            preProcs->appendRow(item);
        }
    }

    WdxPreProcItem *channel(int index) const { return preProcs->preProcAt(index); }
    RVEq *eq(int index) const { return channel(index)->eq(); }

    QObject owner;
    WdxInputListModel *inputs = nullptr;
    WdxPreProcListModel *preProcs = nullptr;
};

struct WriteCounter
{
    explicit WriteCounter(RVEq *eq)
    {
        QObject::connect(eq, &RVEq::notifyRequestToWrite, &context,
                         [this](int, bool, QList<WdxEqBand *>) { ++count; });
    }
    QObject context;
    int count = 0;
};

} // namespace

class TstPreProcModel : public QObject
{
    Q_OBJECT

private:
    LogCapture *m_log = nullptr;

private slots:
    void initTestCase() { m_log = new LogCapture; }
    void cleanupTestCase() { delete m_log; }

    void inputNamesAndRoles()
    {
        const QStringList longNames{"Analog L", "Analog R", "AES/EBU L", "AES/EBU R", "Digital L", "Digital R"};
        const QStringList shortNames{"Ana L", "Ana R", "AES L", "AES R", "DGT L", "DGT R"};
        for (int i = 0; i < 6; ++i) {
            WdxInputItem input(i);
            QCOMPARE(input.id(), longNames[i]);
            QCOMPARE(input.data(WdxInputItem::TypeStrRole).toString(), longNames[i]);
            QCOMPARE(input.data(WdxInputItem::TypeShortStrRole).toString(), shortNames[i]);
            QCOMPARE(input.data(WdxInputItem::TypeRole).toInt(), i);
        }
        WdxInputItem unknown(6);
        QCOMPARE(unknown.data(WdxInputItem::TypeStrRole).toString(), QStringLiteral("Unknown"));
        QCOMPARE(unknown.data(WdxInputItem::TypeShortStrRole).toString(), QStringLiteral("Unknown"));
        QCOMPARE(WdxInputItem::longName(-1), QStringLiteral("Unknown"));
        QCOMPARE(unknown.roleNames().value(260), QByteArray("level"));
        QVERIFY(!unknown.data(261).isValid());

        QSignalSpy level(&unknown, &WdxInputItem::levelChanged);
        QSignalSpy row(&unknown, &ListItem::dataChanged);
        unknown.updateLevel(120);
        unknown.updateLevel(120);
        QCOMPARE(level.count(), 1);
        QCOMPARE(row.count(), 1);
        QCOMPARE(unknown.data(WdxInputItem::LevelRole).toInt(), 120);
        unknown.reset();
        QCOMPARE(unknown.level(), quint8(0));
        QCOMPARE(row.count(), 2);
    }

    void patchRowsFollowTheirInput()
    {
        Channels c;
        WdxInputPatchListModel *patches = c.channel(0)->inputPatches();
        QCOMPARE(patches->rowCount(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(patches->patchAt(i)->mask(), quint8(1 << i));
        WdxInputPatchItem *aesRight = patches->patchAt(3);
        QCOMPARE(aesRight->id(), QStringLiteral("AES/EBU R"));
        QCOMPARE(aesRight->roleNames().value(261), QByteArray("isPatched"));

        QSignalSpy rowChanged(patches, &QAbstractItemModel::dataChanged);
        c.inputs->inputAt(3)->updateLevel(77);
        QCOMPARE(rowChanged.count(), 1);
        QCOMPARE(rowChanged.at(0).at(0).value<QModelIndex>().row(), 3);
        const QVariant level = patches->data(patches->index(3), WdxInputPatchItem::LevelRole);
        QCOMPARE(level.userType(), int(QMetaType::Double));
        QCOMPARE(level.toDouble(), 77.0);
        // Both channels show the same input.
        QCOMPARE(c.channel(1)->inputPatches()->data(c.channel(1)->inputPatches()->index(3),
                                                     WdxInputPatchItem::LevelRole).toDouble(), 77.0);
    }

    void patchToggleAndEchoGuard()
    {
        FakeClock clock;
        Channels c;
        WdxPreProcItem *left = c.channel(0);
        QSignalSpy writes(left, &WdxPreProcItem::notifyRequestToWritePatch);
        left->toggleInputPatch(0);
        left->toggleInputPatch(3);
        QCOMPARE(left->patchValue(), quint8(9));
        QCOMPARE(writes.count(), 2);
        left->toggleInputPatch(6); // no such input: nothing to write
        QCOMPARE(writes.count(), 2);

        clock.advance(500);
        left->onPatchRead(0, 1);
        QCOMPARE(left->patchValue(), quint8(9));
        clock.advance(499);
        left->onPatchRead(0, 1);
        QCOMPARE(left->patchValue(), quint8(9));
        clock.advance(1);
        left->onPatchRead(1, 1); // the other channel's report
        QCOMPARE(left->patchValue(), quint8(9));
        left->onPatchRead(0, 1);
        QCOMPARE(left->patchValue(), quint8(1));
        QCOMPARE(writes.count(), 2); // reports never write

        left->setIsEditingPatch(true);
        left->onPatchRead(0, 0x3F);
        QCOMPARE(left->patchValue(), quint8(1));
        left->setIsEditingPatch(false);
        left->onPatchRead(0, 0x3F);
        QCOMPARE(left->patchValue(), quint8(0x3F));
        left->onPatchRead(0, 0xC4); // bits beyond the six inputs are ignored
        QCOMPARE(left->patchValue(), quint8(4));

        left->reset();
        QCOMPARE(left->patchValue(), quint8(0));
        QCOMPARE(c.channel(1)->patchValue(), quint8(0));
    }

    void patchGuardWithTheRealClock()
    {
        Channels c;
        WdxPreProcItem *left = c.channel(0);
        left->toggleInputPatch(2);
        left->onPatchRead(0, 0);
        QCOMPARE(left->patchValue(), quint8(4));
        QTRY_VERIFY_WITH_TIMEOUT((left->onPatchRead(0, 0), left->patchValue() == 0), 10000);
    }

    void preProcItemRolesAndForwarding()
    {
        FakeClock clock;
        Channels c;
        WdxPreProcItem *right = c.channel(1);
        QCOMPARE(right->id(), QStringLiteral("1"));
        QCOMPARE(right->data(WdxPreProcItem::NameRole).toString(), QStringLiteral("Right"));
        QCOMPARE(right->data(WdxPreProcItem::ShortNameRole).toString(), QStringLiteral("R"));
        QCOMPARE(right->roleNames().value(260), QByteArray("isSelected"));
        QCOMPARE(right->eq()->channelIndex(), quint8(1));
        QCOMPARE(right->getEqBand(7), right->eq()->bandAt(7));
        QVERIFY(!right->getEqBand(8));

        // EQ writes leave through the item, replies come in through it.
        QSignalSpy eqWrites(right, &WdxPreProcItem::notifyRequestToWriteEq);
        QSignalSpy eqChanged(right, &WdxPreProcItem::eqChanged);
        QVERIFY(right->eq()->addBand(33));
        QCOMPARE(eqWrites.count(), 1);
        QCOMPARE(eqWrites.at(0).at(0).toInt(), 1);
        QVERIFY(eqChanged.count() > 0);

        clock.advance(RVEq::kReplyGuardMs);
        auto *band = new WdxEqBand(this);
        band->setFrequency(44);
        band->setUsed(true);
        emit right->eqRead(1, true, QList<WdxEqBand *>() << band);
        QCOMPARE(right->eq()->bandAt(0)->frequency(), quint8(44));
        flushDeferredDeletes();
    }

    void selectionAndLookups()
    {
        Channels c;
        QSignalSpy leftSelected(c.channel(0), &WdxPreProcItem::isSelectedChanged);
        c.preProcs->setSelectedChannelIndex(1);
        QVERIFY(!c.channel(0)->isSelected());
        QVERIFY(c.channel(1)->isSelected());
        QCOMPARE(leftSelected.count(), 0);
        c.preProcs->setSelectedChannelIndex(0);
        QVERIFY(c.channel(0)->isSelected());
        QVERIFY(!c.channel(1)->isSelected());
        QCOMPARE(leftSelected.count(), 1);
        QCOMPARE(c.preProcs->inputPatches(1), c.channel(1)->inputPatches());
        QVERIFY(!c.preProcs->inputPatches(2));
        c.preProcs->toggleInputPatched(1, 5);
        QCOMPARE(c.channel(1)->patchValue(), quint8(32));
        QCOMPARE(c.channel(0)->patchValue(), quint8(0));
        c.preProcs->toggleInputPatched(7, 0); // no such channel
        QCOMPARE(c.channel(0)->patchValue(), quint8(0));

        // Linked EQs do not link the patches: a toggle stays on its own channel.
        QSignalSpy rightWrites(c.channel(1), &WdxPreProcItem::notifyRequestToWritePatch);
        c.preProcs->toggleLinkEq();
        c.preProcs->toggleInputPatched(0, 2);
        QCOMPARE(c.channel(0)->patchValue(), quint8(4));
        QCOMPARE(c.channel(1)->patchValue(), quint8(32));
        QCOMPARE(rightWrites.count(), 0);
    }

    void linkedBandEditsReachBothEqs()
    {
        Channels c;
        RVEq *left = c.eq(0);
        RVEq *right = c.eq(1);
        QVERIFY(left->addBand(40, 36, 5));
        QVERIFY(left->addBand(60, 36, 5));
        QVERIFY(right->addBand(50, 36, 5));
        left->selectBand(1);
        right->selectBand(0);
        WriteCounter leftWrites(left), rightWrites(right);

        // Unlinked: only the addressed channel.
        c.preProcs->setSelectedBandGain(0, 50);
        QCOMPARE(left->bandAt(1)->gain(), quint8(50));
        QCOMPARE(right->bandAt(0)->gain(), quint8(36));
        QCOMPARE(leftWrites.count, 1);
        QCOMPARE(rightWrites.count, 0);

        QSignalSpy linked(c.preProcs, &WdxPreProcListModel::isEqLinkedChanged);
        c.preProcs->toggleLinkEq();
        QVERIFY(c.preProcs->isEqLinked());
        QCOMPARE(linked.count(), 1);

        c.preProcs->setSelectedBandGain(0, 20);
        QCOMPARE(left->bandAt(1)->gain(), quint8(20));
        QCOMPARE(right->bandAt(0)->gain(), quint8(20));
        QCOMPARE(leftWrites.count, 2);
        QCOMPARE(rightWrites.count, 1);

        // Each EQ keeps its own selection and order.
        c.preProcs->setSelectedBandFrequency(1, 10);
        QCOMPARE(left->bandAt(1)->frequency(), quint8(10));
        QCOMPARE(left->bandAt(1)->displayIndex(), 1);
        QCOMPARE(left->lastUsedFrequency(), 40);
        QCOMPARE(right->bandAt(0)->frequency(), quint8(10));

        c.preProcs->setSelectedBandQ(0, 3);
        QCOMPARE(left->bandAt(1)->qualityFactor(), quint8(3));
        QCOMPARE(right->bandAt(0)->qualityFactor(), quint8(3));
        c.preProcs->setSelectedBandType(0, RVEQBand::HighPass);
        QCOMPARE(left->bandAt(1)->bandType(), quint8(RVEQBand::HighPass));
        QCOMPARE(right->bandAt(0)->qualityFactor(), quint8(17));
        c.preProcs->setSelectedBandEnabled(1, false);
        QVERIFY(!left->bandAt(1)->isEnabled());
        QVERIFY(!right->bandAt(0)->isEnabled());

        c.preProcs->addBand(0, 100, 40, 2);
        QCOMPARE(left->usedBandCount(), 3);
        QCOMPARE(right->usedBandCount(), 2);
        QCOMPARE(left->lastUsedFrequency(), 100);

        c.preProcs->copySelectedBand(0);
        QVERIFY(left->hasCopy() && right->hasCopy());
        c.preProcs->setSelectedBandId(0, 0);
        const int leftBefore = leftWrites.count;
        c.preProcs->pasteSelectedBand(0);
        QCOMPARE(leftWrites.count, leftBefore); // pasting writes nothing by itself
        QCOMPARE(left->bandAt(0)->frequency(), quint8(100));

        c.preProcs->removeSelectedBand(1);
        QVERIFY(!left->bandAt(0)->isUsed());
        QVERIFY(!right->bandAt(0)->isUsed());
        QCOMPARE(left->selectedBandId(), -1);

        // Nothing selected: the band edits do nothing.
        const int writesBefore = leftWrites.count + rightWrites.count;
        c.preProcs->setSelectedBandGain(0, 1);
        c.preProcs->setSelectedBandType(0, RVEQBand::Notch);
        c.preProcs->removeSelectedBand(0);
        QCOMPARE(leftWrites.count + rightWrites.count, writesBefore);
    }

    void bandEditsHoldTheEditingFlag()
    {
        Channels c;
        RVEq *left = c.eq(0);
        QVERIFY(left->addBand(40));
        QList<bool> editingAtWrite;
        connect(left, &RVEq::notifyRequestToWrite, this,
                [&](int, bool, QList<WdxEqBand *>) { editingAtWrite << left->isEditing(); });
        c.preProcs->setSelectedBandGain(0, 10);
        c.preProcs->setSelectedBandType(0, RVEQBand::LowShelf);
        c.preProcs->addBand(0, 80, 36, 0);
        c.preProcs->removeSelectedBand(0);
        QCOMPARE(editingAtWrite, QList<bool>({true, true, true, true}));
        QVERIFY(!left->isEditing());

        // Every such edit ends with the flag down, whoever raised it before.
        QSignalSpy editing(left, &RVEq::isEditingChanged);
        left->setIsEditing(true);
        c.preProcs->setSelectedBandId(0, 0);
        c.preProcs->setSelectedBandGain(0, 12);
        QCOMPARE(editingAtWrite.last(), true);
        QVERIFY(!left->isEditing());
        QCOMPARE(editing.count(), 2);
    }

    void channelEqCopyAndPaste()
    {
        Channels c;
        RVEq *left = c.eq(0);
        RVEq *right = c.eq(1);
        QVERIFY(left->addBand(30, 40, 5, true, RVEQBand::Bell));
        QVERIFY(left->addBand(90, 20, 20, false, RVEQBand::HighShelf));
        left->setIsEnabled(false);
        for (int i = 0; i < 5; ++i)
            QVERIFY(right->addBand(quint8(10 + i * 10), 50, 9, true, RVEQBand::Notch));

        c.preProcs->pasteChannelEq(1); // nothing copied
        QCOMPARE(right->usedBandCount(), 5);

        QSignalSpy hasCopy(c.preProcs, &WdxPreProcListModel::hasEqCopyChanged);
        c.preProcs->copyChannelEq(0);
        QVERIFY(c.preProcs->hasEqCopy());
        QCOMPARE(hasCopy.count(), 1);
        c.preProcs->copyChannelEq(0);
        QCOMPARE(hasCopy.count(), 1);

        WriteCounter rightWrites(right);
        c.preProcs->pasteChannelEq(1);
        QCOMPARE(right->usedBandCount(), 2);
        QVERIFY(!right->isEnabled());
        // One removal, one write per band, one for the on/off state.
        QCOMPARE(rightWrites.count, 4);
        QVERIFY(*right->bandAt(0) == *left->bandAt(0));
        QVERIFY(*right->bandAt(1) == *left->bandAt(1));
        QVERIFY(!right->bandAt(1)->isEnabled());
        QVERIFY(c.preProcs->hasSameEq());

        // Onto itself: nothing happens.
        WriteCounter leftWrites(left);
        c.preProcs->pasteChannelEq(0);
        QCOMPARE(leftWrites.count, 0);
        c.preProcs->pasteChannelEq(5);
        QCOMPARE(rightWrites.count, 4);
    }

    void eqEquality()
    {
        Channels c;
        RVEq *left = c.eq(0);
        RVEq *right = c.eq(1);
        QVERIFY(c.preProcs->hasSameEq());
        QVERIFY(left->addBand(30, 40, 5));
        QVERIFY(!c.preProcs->hasSameEq());
        QVERIFY(right->addBand(30, 40, 5));
        QVERIFY(c.preProcs->hasSameEq());
        // Enabled flags of bands take no part.
        right->bandAt(0)->setIsEnabled(false);
        QVERIFY(c.preProcs->hasSameEq());
        right->setIsEnabled(false);
        QVERIFY(!c.preProcs->hasSameEq());
        right->setIsEnabled(true);
        right->bandAt(0)->setBandType(RVEQBand::Notch);
        QVERIFY(!c.preProcs->hasSameEq());
        right->bandAt(0)->setBandType(RVEQBand::Bell);
        // Same values in a different slot are a different EQ.
        QVERIFY(left->addBand(50));
        QVERIFY(right->addBand(70));
        right->removeBand(1);
        right->bandAt(2)->updateFrequency(50);
        right->bandAt(2)->updateIsUsed(true);
        QCOMPARE(right->usedBandCount(), 2);
        QVERIFY(!c.preProcs->hasSameEq());
    }

    void listsPassTheItemModelTester()
    {
        FakeClock clock;
        auto *c = new Channels;
        QAbstractItemModelTester inputTester(c->inputs, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester preProcTester(c->preProcs, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester patchTester(c->channel(0)->inputPatches(),
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 6; ++i)
            c->inputs->inputAt(i)->updateLevel(quint8(i * 20));
        c->preProcs->toggleInputPatched(0, 1);
        c->preProcs->setSelectedChannelIndex(1);
        clock.advance(2000);
        c->channel(0)->onPatchRead(0, 0x15);
        c->channel(0)->updateName(QStringLiteral("Left A"));
        c->channel(0)->reset();
        c->inputs->inputAt(2)->reset();
        c->channel(0)->inputPatches()->clear();
        c->inputs->clear();
        c->preProcs->clear();
        QCOMPARE(c->preProcs->rowCount(), 0);
        delete c;
    }
};

QTEST_GUILESS_MAIN(TstPreProcModel)
#include "tst_preprocmodel.moc"
