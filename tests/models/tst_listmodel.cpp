#include "models/ListModel.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <climits>

namespace {

class TestItem : public ListItem
{
    Q_OBJECT
public:
    enum Roles { ValueRole = Qt::UserRole + 1, LabelRole };

    TestItem(int value, QObject *parent = nullptr) : ListItem(parent), m_value(value) {}

    QString id() const override { return QStringLiteral("item%1").arg(m_value); }
    QVariant data(int role) const override
    {
        switch (role) {
        case ValueRole: return m_value;
        case LabelRole: return id();
        default: return QVariant();
        }
    }
    QHash<int, QByteArray> roleNames() const override { return {{ValueRole, "value"}, {LabelRole, "label"}}; }

    void setValue(int value)
    {
        if (m_value == value)
            return;
        m_value = value;
        emit dataChanged();
    }

private:
    int m_value;
};

// Exposes createIndex so rows outside the list can be asked for.
class ProbeModel : public ListModel
{
public:
    ProbeModel() : ListModel(new TestItem(-1)) {}
    QModelIndex rawIndex(int row, int column = 0) const { return createIndex(row, column); }
};

QList<ListItem *> makeItems(int count, int first = 0)
{
    QList<ListItem *> items;
    for (int i = 0; i < count; ++i)
        items.append(new TestItem(first + i));
    return items;
}

int valueAt(const ListModel &model, int row)
{
    return model.data(model.index(row, 0), TestItem::ValueRole).toInt();
}

} // namespace

class TstListModel : public QObject
{
    Q_OBJECT

private slots:
    void readsOutsideTheRowsAreEmpty()
    {
        ProbeModel model;
        model.appendRows(makeItems(3));
        QCOMPARE(model.data(model.rawIndex(1), TestItem::ValueRole).toInt(), 1);
        QVERIFY(!model.data(model.rawIndex(-1), TestItem::ValueRole).isValid());
        QVERIFY(!model.data(model.rawIndex(3), TestItem::ValueRole).isValid());
        QVERIFY(!model.data(model.rawIndex(1), Qt::DisplayRole).isValid());
        // The list is flat: only the row of an index counts.
        QCOMPARE(model.data(model.rawIndex(2, 1), TestItem::ValueRole).toInt(), 2);
        QVERIFY(!model.itemAt(-1));
        QVERIFY(!model.itemAt(model.rowCount()));
        QVERIFY(model.itemAt(2));
    }

    void roleNamesComeFromThePrototype()
    {
        ProbeModel model;
        const auto names = model.roleNames();
        QCOMPARE(names.size(), 2);
        QCOMPARE(names.value(TestItem::ValueRole), QByteArray("value"));
        QCOMPARE(names.value(TestItem::LabelRole), QByteArray("label"));
    }

    void appendIsOneInsertionAtTheEnd()
    {
        ProbeModel model;
        model.appendRow(new TestItem(0));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy count(&model, &ListModel::countChanged);
        model.appendRows(makeItems(3, 1));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 1);
        QCOMPARE(inserted.at(0).at(2).toInt(), 3);
        QCOMPARE(count.count(), 1);
        QCOMPARE(model.property("count").toInt(), 4);
        for (int row = 0; row < 4; ++row)
            QCOMPARE(valueAt(model, row), row);
    }

    // Rows outside the list, also where row + count does not fit an int, change nothing.
    void removeRowsChecksTheRange_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QList<int>>("left");
        QTest::newRow("past the end") << 2 << 3 << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("negative row") << -1 << 1 << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("negative count") << 0 << -1 << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("count overflows") << 1 << INT_MAX << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("row overflows") << INT_MAX << 1 << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("both overflow") << INT_MAX << INT_MAX << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("nothing") << 1 << 0 << true << QList<int>{0, 1, 2, 3};
        QTest::newRow("at the end, nothing") << 4 << 0 << true << QList<int>{0, 1, 2, 3};
        QTest::newRow("middle two") << 1 << 2 << true << QList<int>{0, 3};
        QTest::newRow("all") << 0 << 4 << true << QList<int>{};
    }
    void removeRowsChecksTheRange()
    {
        QFETCH(int, row);
        QFETCH(int, count);
        QFETCH(bool, removed);
        QFETCH(QList<int>, left);
        ProbeModel model;
        model.appendRows(makeItems(4));
        QList<QPointer<ListItem>> items;
        for (int r = 0; r < 4; ++r)
            items << QPointer<ListItem>(model.itemAt(r));
        QSignalSpy countChanged(&model, &ListModel::countChanged);
        QSignalSpy rowsRemoved(&model, &QAbstractItemModel::rowsRemoved);

        QCOMPARE(model.removeRows(row, count), removed);
        QCOMPARE(model.rowCount(), left.size());
        for (int r = 0; r < left.size(); ++r)
            QCOMPARE(valueAt(model, r), left.at(r));
        // An empty removal still reports the count; the removed items are deleted.
        QCOMPARE(countChanged.count(), removed ? 1 : 0);
        QCOMPARE(rowsRemoved.count(), removed && count > 0 ? 1 : 0);
        for (int value = 0; value < 4; ++value)
            QCOMPARE(items.at(value).isNull(), !left.contains(value));
    }

    // An append is taken whole or refused whole, like insertRow: a null item or one that is
    // already a row (of the list or of the same call) refuses it; the caller keeps the items.
    // Codes: n a new item, 0 null, r the item in row 0, p the previous element again.
    void appendRefusesNullAndRepeatedItems_data()
    {
        QTest::addColumn<QString>("codes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("new items") << "nn" << true;
        QTest::newRow("null") << "0" << false;
        QTest::newRow("null among new") << "n0n" << false;
        QTest::newRow("already a row") << "r" << false;
        QTest::newRow("row after new") << "nr" << false;
        QTest::newRow("twice in the call") << "np" << false;
    }
    void appendRefusesNullAndRepeatedItems()
    {
        QFETCH(QString, codes);
        QFETCH(bool, accepted);
        for (const bool single : {false, true}) {
            if (single && codes.size() != 1)
                continue;
            ProbeModel model;
            model.appendRows(makeItems(2, 100));
            QList<ListItem *> items;
            QList<ListItem *> fresh;
            for (const QChar code : codes) {
                ListItem *item = nullptr;
                if (code == QLatin1Char('n'))
                    fresh << (item = new TestItem(fresh.size()));
                else if (code == QLatin1Char('r'))
                    item = model.itemAt(0);
                else if (code == QLatin1Char('p'))
                    item = items.last();
                items << item;
            }
            QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
            QSignalSpy countChanged(&model, &ListModel::countChanged);

            QCOMPARE(single ? model.appendRow(items.first()) : model.appendRows(items), accepted);
            QCOMPARE(model.rowCount(), 2 + (accepted ? items.size() : 0));
            QCOMPARE(inserted.count(), accepted ? 1 : 0);
            QCOMPARE(countChanged.count(), accepted ? 1 : 0);
            for (int r = 0; r < model.rowCount(); ++r)
                QVERIFY(model.data(model.index(r, 0), TestItem::ValueRole).isValid());
            if (!accepted)
                qDeleteAll(fresh);
            // Every row is deleted once, with the model.
        }
    }

    void itemChangeRefreshesItsRowOnce()
    {
        ProbeModel model;
        model.appendRows(makeItems(4));
        QStringList sequence;
        QModelIndex changed;
        QVector<int> roles{-1};
        connect(&model, &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex &from, const QModelIndex &to, const QVector<int> &r) {
                    sequence << QStringLiteral("dataChanged");
                    QCOMPARE(from, to);
                    changed = from;
                    roles = r;
                });
        connect(&model, &ListModel::innerDataChanged, this, [&] { sequence << QStringLiteral("inner"); });

        static_cast<TestItem *>(model.itemAt(2))->setValue(20);
        QCOMPARE(sequence, QStringList({"dataChanged", "inner"}));
        QCOMPARE(changed.row(), 2);
        QVERIFY(roles.isEmpty());
        QCOMPARE(valueAt(model, 2), 20);
    }

    void clearDeletesEveryItemAndSignalsOnce()
    {
        ProbeModel model;
        model.appendRows(makeItems(3));
        QList<QPointer<ListItem>> items;
        for (int row = 0; row < 3; ++row)
            items << QPointer<ListItem>(model.itemAt(row));
        QSignalSpy count(&model, &ListModel::countChanged);
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.property("count").toInt(), 0);
        QCOMPARE(count.count(), 1);
        for (const auto &item : items)
            QVERIFY(item.isNull());
        model.clear();
        QCOMPARE(count.count(), 1);
        QCOMPARE(model.roleNames().size(), 2);
    }

    void findInsertRemoveAndTake()
    {
        ProbeModel model;
        model.appendRows(makeItems(3));
        QCOMPARE(model.find(QStringLiteral("item1")), model.itemAt(1));
        QVERIFY(!model.find(QStringLiteral("item9")));

        auto *inserted = new TestItem(7);
        QVERIFY(model.insertRow(1, inserted));
        QCOMPARE(model.indexFromItem(inserted).row(), 1);
        auto *refused = new TestItem(8);
        QVERIFY(!model.insertRow(5, refused));
        QVERIFY(!model.insertRow(-1, refused));
        delete refused;
        QVERIFY(!model.insertRow(0, inserted)); // already a row
        QVERIFY(!model.insertRow(0, nullptr));
        QCOMPARE(model.rowCount(), 4);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        inserted->setValue(70);
        QCOMPARE(changed.count(), 1);

        QVERIFY(!model.removeRow(4));
        QVERIFY(!model.removeRow(-1));
        QPointer<ListItem> gone = model.itemAt(0);
        QVERIFY(model.removeRow(0));
        QVERIFY(gone.isNull());

        QVERIFY(!model.takeRow(3));
        ListItem *taken = model.takeRow(0);
        QCOMPARE(taken, static_cast<ListItem *>(inserted));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(!model.indexFromItem(taken).isValid());
        // No longer a row: its changes are not the model's.
        changed.clear();
        inserted->setValue(71);
        QCOMPARE(changed.count(), 0);
        delete taken;
        QCOMPARE(model.rowCount(), 2);
    }

    void swapKeepsTheItemsConnected()
    {
        ProbeModel model;
        model.appendRows(makeItems(4));
        auto *first = static_cast<TestItem *>(model.itemAt(0));
        auto *last = static_cast<TestItem *>(model.itemAt(3));
        QVERIFY(model.swapRows(3, 0));
        QCOMPARE(model.itemAt(0), static_cast<ListItem *>(last));
        QCOMPARE(model.itemAt(3), static_cast<ListItem *>(first));
        QCOMPARE(valueAt(model, 1), 1);
        QCOMPARE(valueAt(model, 2), 2);
        QVERIFY(!model.swapRows(0, 4));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        first->setValue(10);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 3);
    }

    void itemDeletedElsewhereLeavesNoDanglingRow()
    {
        QObject owner;
        ProbeModel model;
        auto *item = new TestItem(5, &owner);
        model.appendRows(QList<ListItem *>() << new TestItem(1) << item << new TestItem(2));
        QSignalSpy count(&model, &ListModel::countChanged);
        delete item;
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(count.count(), 1);
        QCOMPARE(valueAt(model, 0), 1);
        QCOMPARE(valueAt(model, 1), 2);
    }

    void destructionDeletesPrototypeAndItems()
    {
        auto *prototype = new TestItem(-1);
        QPointer<ListItem> guardPrototype(prototype);
        auto *model = new ListModel(prototype);
        model->appendRows(makeItems(2));
        QPointer<ListItem> item(model->itemAt(1));
        delete model;
        QVERIFY(guardPrototype.isNull());
        QVERIFY(item.isNull());
    }

    void passesTheItemModelTester()
    {
        ProbeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.appendRows(makeItems(5));
        model.appendRow(new TestItem(5));
        static_cast<TestItem *>(model.itemAt(3))->setValue(33);
        QVERIFY(model.insertRow(0, new TestItem(9)));
        QVERIFY(model.swapRows(0, 6));
        delete model.takeRow(2);
        QVERIFY(model.removeRows(1, 2));
        QVERIFY(model.removeRows(0, 0));
        model.clear();
        model.appendRows(makeItems(2));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstListModel)
#include "tst_listmodel.moc"
