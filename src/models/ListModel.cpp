#include "ListModel.h"

#include <QSet>

ListModel::ListModel(ListItem *prototype, QObject *parent)
    : QAbstractListModel(parent), m_prototype(prototype)
{
}

ListModel::~ListModel()
{
    delete m_prototype;
    m_prototype = nullptr;
    clear();
}

int ListModel::rowCount(const QModelIndex &parent) const
{
    // Rows have no children: views and the item-model contract ask a row for its own rows.
    return parent.isValid() ? 0 : m_items.size();
}

QVariant ListModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (row < 0 || row >= m_items.size())
        return QVariant();
    return m_items.at(row)->data(role);
}

QHash<int, QByteArray> ListModel::roleNames() const
{
    return m_prototype ? m_prototype->roleNames() : QHash<int, QByteArray>();
}

bool ListModel::removeRows(int row, int count, const QModelIndex &)
{
    // Compared without forming row + count, which may not fit an int.
    if (row < 0 || count < 0 || row > m_items.size() || count > m_items.size() - row)
        return false;
    if (count > 0) {
        beginRemoveRows(QModelIndex(), row, row + count - 1);
        for (int i = 0; i < count; ++i) {
            ListItem *item = m_items.takeAt(row);
            item->disconnect(this);
            delete item;
        }
        endRemoveRows();
    }
    emit countChanged();
    return true;
}

bool ListModel::appendRow(ListItem *item)
{
    return appendRows(QList<ListItem *>() << item);
}

bool ListModel::appendRows(const QList<ListItem *> &items)
{
    if (items.isEmpty())
        return true;
    // A null row crashes the views; an item in two rows would be deleted twice.
    QSet<ListItem *> taken;
    for (ListItem *item : items) {
        if (!item || m_items.contains(item) || taken.contains(item))
            return false;
        taken.insert(item);
    }
    beginInsertRows(QModelIndex(), rowCount(), rowCount() + items.size() - 1);
    for (ListItem *item : items) {
        connectItem(item);
        m_items.append(item);
    }
    endInsertRows();
    emit countChanged();
    return true;
}

ListItem *ListModel::itemAt(int row) const
{
    if (row < 0 || row >= m_items.size())
        return nullptr;
    return m_items.at(row);
}

QModelIndex ListModel::indexFromItem(const ListItem *item) const
{
    const int row = m_items.indexOf(const_cast<ListItem *>(item));
    return row < 0 ? QModelIndex() : index(row, 0);
}

void ListModel::clear()
{
    if (!m_items.isEmpty())
        removeRows(0, rowCount());
}

ListItem *ListModel::find(const QString &id) const
{
    for (ListItem *item : m_items) {
        if (item->id() == id)
            return item;
    }
    return nullptr;
}

bool ListModel::insertRow(int row, ListItem *item)
{
    if (!item || row < 0 || row > m_items.size() || m_items.contains(item))
        return false;
    connectItem(item);
    insertPlain(row, item);
    emit countChanged();
    return true;
}

bool ListModel::removeRow(int row)
{
    if (row < 0 || row >= m_items.size())
        return false;
    return removeRows(row, 1);
}

ListItem *ListModel::takeRow(int row)
{
    if (row < 0 || row >= m_items.size())
        return nullptr;
    beginRemoveRows(QModelIndex(), row, row);
    ListItem *item = m_items.takeAt(row);
    endRemoveRows();
    emit countChanged();
    return item;
}

bool ListModel::swapRows(int first, int second)
{
    if (first < 0 || second < 0 || first >= m_items.size() || second >= m_items.size())
        return false;
    if (first == second)
        return true;
    const int low = qMin(first, second);
    const int high = qMax(first, second);
    // Taken out and put back without new connections: the items keep the ones they have.
    ListItem *highItem = takeRow(high);
    ListItem *lowItem = takeRow(low);
    insertPlain(low, highItem);
    insertPlain(high, lowItem);
    emit countChanged();
    return true;
}

void ListModel::handleItemChange()
{
    const QModelIndex index = indexFromItem(qobject_cast<ListItem *>(sender()));
    if (!index.isValid())
        return;
    emit dataChanged(index, index, QVector<int>());
    emit innerDataChanged();
}

void ListModel::forgetItem(ListItem *item)
{
    // An item deleted by someone else (its QObject parent, for instance) must not stay behind
    // as a dangling row. Only the pointer is used: the object is already half destroyed.
    const int row = m_items.indexOf(item);
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_items.removeAt(row);
    endRemoveRows();
    emit countChanged();
}

void ListModel::connectItem(ListItem *item)
{
    connect(item, &ListItem::dataChanged, this, &ListModel::handleItemChange);
    connect(item, &QObject::destroyed, this, [this, item]() { forgetItem(item); });
}

void ListModel::insertPlain(int row, ListItem *item)
{
    beginInsertRows(QModelIndex(), row, row);
    m_items.insert(row, item);
    endInsertRows();
}
