#include "models/ListModel.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

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

    void removeRowsPastTheEndIsRefused()
    {
        ProbeModel model;
        model.appendRows(makeItems(4));
        QSignalSpy count(&model, &ListModel::countChanged);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QVERIFY(!model.removeRows(2, 3));
        QVERIFY(!model.removeRows(-1, 1));
        QVERIFY(!model.removeRows(0, -1));
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(count.count(), 0);
        QCOMPARE(removed.count(), 0);

        // An empty removal changes nothing but still reports the count.
        QVERIFY(model.removeRows(1, 0));
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(count.count(), 1);
        QCOMPARE(removed.count(), 0);

        QPointer<ListItem> second = model.itemAt(1);
        QPointer<ListItem> third = model.itemAt(2);
        QVERIFY(model.removeRows(1, 2));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(second.isNull());
        QVERIFY(third.isNull());
        QCOMPARE(valueAt(model, 0), 0);
        QCOMPARE(valueAt(model, 1), 3);
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
