#pragma once

#include "ListItem.h"

#include <QAbstractListModel>
#include <QList>

// Flat list model over owned ListItem rows. Items are handed over by appendRow(s) or insertRow
// and deleted when their row is removed or the model is destroyed.
class ListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)
public:
    // The prototype answers roleNames() even while the list is empty; it is owned.
    explicit ListModel(ListItem *prototype, QObject *parent = nullptr);
    ~ListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // False, and nothing taken, for a null item or one that is already a row.
    bool appendRow(ListItem *item);
    // All or nothing: one null item or one item already a row (or twice in the list) refuses
    // the whole list, which stays the caller's.
    bool appendRows(const QList<ListItem *> &items);
    ListItem *itemAt(int row) const;
    QModelIndex indexFromItem(const ListItem *item) const;
    void clear();

    ListItem *find(const QString &id) const;
    // False for a null item, one that is already a row, or a row outside 0..rowCount().
    bool insertRow(int row, ListItem *item);
    bool removeRow(int row);
    // Removes the row without disconnecting or deleting the item; null for a row outside
    // the list. The caller owns the item afterwards.
    ListItem *takeRow(int row);
    bool swapRows(int first, int second);

signals:
    void innerDataChanged();
    void countChanged();

private slots:
    void handleItemChange();

private:
    void connectItem(ListItem *item);
    void forgetItem(ListItem *item);
    void insertPlain(int row, ListItem *item);

    ListItem *m_prototype;
    QList<ListItem *> m_items;
};
