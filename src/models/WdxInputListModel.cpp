#include "WdxInputListModel.h"

#include "WdxInputItem.h"

WdxInputListModel::WdxInputListModel(QObject *parent) : ListModel(new WdxInputItem(0), parent)
{
}

WdxInputItem *WdxInputListModel::inputAt(int row) const
{
    return static_cast<WdxInputItem *>(itemAt(row));
}

QList<WdxInputItem *> WdxInputListModel::inputs() const
{
    QList<WdxInputItem *> result;
    for (int row = 0; row < rowCount(); ++row)
        result.append(inputAt(row));
    return result;
}
