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
    explicit TestItem(int value, QObject *parent = nullptr) : ListItem(parent), m_value(value) {}
    QString id() const override { return QStringLiteral("item%1").arg(m_value); }
    QVariant data(int role) const override { return role == 257 ? QVariant(m_value) : role == 258 ? QVariant(id()) : QVariant(); }
    QHash<int, QByteArray> roleNames() const override { return {{257, "value"}, {258, "label"}}; }
    void setValue(int value)
    {
        m_value = value;
        emit dataChanged();
    }

private:
    int m_value;
};

// A list of `count` rows valued first, first + 1, ...; createIndex reaches rows outside it.
class Rig : public ListModel
{
public:
    explicit Rig(int count = 0, int first = 0) : ListModel(new TestItem(-1)) { appendRows(items(count, first)); }
    static QList<ListItem *> items(int count, int first = 0)
    {
        QList<ListItem *> list;
        for (int i = 0; i < count; ++i)
            list.append(new TestItem(first + i));
        return list;
    }
    QVariant value(int row, int role = 257) const { return data(createIndex(row, 0), role); }
    QList<int> values() const
    {
        QList<int> list;
        for (int row = 0; row < rowCount(); ++row)
            list << value(row).toInt();
        return list;
    }
    TestItem *at(int row) const { return static_cast<TestItem *>(itemAt(row)); }
};

} // namespace

class TstListModel : public QObject
{
    Q_OBJECT

private slots:
    void readsAtAndOutsideTheRows()
    {
        Rig model(3, 10);
        QCOMPARE(model.value(0).toInt(), 10);
        QCOMPARE(model.value(2).toInt(), 12);
        QCOMPARE(model.value(1, 258).toString(), QStringLiteral("item11"));
        QVERIFY(!model.value(1, 256).isValid());
        QVERIFY(!model.value(-1).isValid() && !model.value(3).isValid());
        QCOMPARE(model.data(model.index(2, 0), 257).toInt(), 12);
        QVERIFY(!model.itemAt(-1) && !model.itemAt(3));
        QCOMPARE(model.at(0)->id() + model.at(2)->id(), QStringLiteral("item10item12"));
        QCOMPARE(Rig().roleNames(), (QHash<int, QByteArray>{{257, "value"}, {258, "label"}}));
    }

    void appendIsOneInsertionAtTheEnd()
    {
        Rig model(1);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy count(&model, &ListModel::countChanged);
        QVERIFY(model.appendRows(Rig::items(3, 1)));
        QVERIFY(model.appendRow(new TestItem(4)));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(0).mid(1), (QVariantList{1, 3}));
        QCOMPARE(inserted.at(1).mid(1), (QVariantList{4, 4}));
        QCOMPARE(count.count(), 2);
        QCOMPARE(model.property("count").toInt(), 5);
        QCOMPARE(model.values(), (QList<int>{0, 1, 2, 3, 4}));
        // A null item or one that is already a row refuses the whole append.
        TestItem fresh(7);
        QVERIFY(!model.appendRows({&fresh, nullptr}));
        QVERIFY(!model.appendRows({&fresh, model.itemAt(1)}));
        QVERIFY(!model.appendRows({&fresh, &fresh}));
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(count.count(), 2);
    }

    // Rows outside the list, also where row + count does not fit an int, change nothing.
    void removeRowsChecksTheRange_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("left");
        QTest::addColumn<bool>("valid");
        const QList<int> all{0, 1, 2, 3};
        QTest::newRow("one past the end") << 2 << 3 << all << false;
        QTest::newRow("up to the end") << 2 << 2 << QList<int>{0, 1} << true;
        QTest::newRow("negative row") << -1 << 1 << all << false;
        QTest::newRow("negative count") << 0 << -1 << all << false;
        QTest::newRow("count overflows") << 1 << INT_MAX << all << false;
        QTest::newRow("row overflows") << INT_MAX << 1 << all << false;
        QTest::newRow("nothing, at the end") << 4 << 0 << all << true;
        QTest::newRow("first") << 0 << 1 << QList<int>{1, 2, 3} << true;
        QTest::newRow("middle two") << 1 << 2 << QList<int>{0, 3} << true;
    }
    void removeRowsChecksTheRange()
    {
        QFETCH(int, row);
        QFETCH(int, count);
        QFETCH(QList<int>, left);
        QFETCH(bool, valid);
        Rig model(4);
        QList<QPointer<ListItem>> items{model.itemAt(0), model.itemAt(1), model.itemAt(2), model.itemAt(3)};
        QSignalSpy countChanged(&model, &ListModel::countChanged);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QCOMPARE(model.removeRows(row, count), valid);
        QCOMPARE(model.values(), left);
        // An empty removal still reports the count; the removed items are deleted.
        QCOMPARE(countChanged.count(), valid ? 1 : 0);
        QCOMPARE(removed.count(), valid && count > 0 ? 1 : 0);
        if (removed.count())
            QCOMPARE(removed.at(0).mid(1), (QVariantList{row, row + count - 1}));
        for (int value = 0; value < 4; ++value)
            QCOMPARE(items.at(value).isNull(), !left.contains(value));
    }

    void itemChangeRefreshesItsRowOnce()
    {
        Rig model(4);
        QStringList sequence;
        connect(&model, &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex &from, const QModelIndex &to, const QVector<int> &roles) {
                    sequence << QStringLiteral("rows %1 %2 roles %3").arg(from.row()).arg(to.row()).arg(roles.size());
                });
        connect(&model, &ListModel::innerDataChanged, this, [&] { sequence << QStringLiteral("inner"); });
        model.at(3)->setValue(30);
        model.at(0)->setValue(20);
        QCOMPARE(sequence, QStringList({"rows 3 3 roles 0", "inner", "rows 0 0 roles 0", "inner"}));
        QCOMPARE(model.values(), (QList<int>{20, 1, 2, 30}));
    }

    void clearAndDestructionDeleteEveryItem()
    {
        auto *model = new Rig(3);
        QList<QPointer<ListItem>> items{model->itemAt(0), model->itemAt(2)};
        QSignalSpy count(model, &ListModel::countChanged);
        model->clear();
        model->clear();
        QCOMPARE(model->property("count").toInt(), 0);
        QCOMPARE(count.count(), 1);
        model->appendRows(Rig::items(2));
        items << model->itemAt(1);
        delete model;
        QVERIFY(items.at(0).isNull() && items.at(1).isNull() && items.at(2).isNull());
    }

    // Swapped rows keep their connections; a taken row is no longer the model's.
    void swapAndTake()
    {
        Rig model(3);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        TestItem *first = model.at(0);
        QVERIFY(model.swapRows(2, 0) && !model.swapRows(0, 3));
        QCOMPARE(model.values(), (QList<int>{2, 1, 0}));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        first->setValue(70);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 2);
        QVERIFY(!model.takeRow(3));
        QCOMPARE(model.takeRow(2), static_cast<ListItem *>(first));
        first->setValue(71);
        QCOMPARE(changed.count(), 1);
        delete first;
        QCOMPARE(model.values(), (QList<int>{2, 1}));
    }
};

QTEST_GUILESS_MAIN(TstListModel)
#include "tst_listmodel.moc"
