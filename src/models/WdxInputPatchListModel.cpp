#include "WdxInputPatchListModel.h"

#include "WdxInputPatchItem.h"

WdxInputPatchListModel::WdxInputPatchListModel(QObject *parent)
    : ListModel(new WdxInputPatchItem(nullptr, 0), parent)
{
}

WdxInputPatchItem *WdxInputPatchListModel::patchAt(int row) const
{
    return static_cast<WdxInputPatchItem *>(itemAt(row));
}

quint8 WdxInputPatchListModel::patchValue() const
{
    quint8 value = 0;
    for (int row = 0; row < rowCount(); ++row) {
        if (patchAt(row)->isPatched())
            value = quint8(value + patchAt(row)->mask());
    }
    return value;
}

void WdxInputPatchListModel::applyPatchValue(quint8 patchValue)
{
    for (int row = 0; row < rowCount(); ++row)
        patchAt(row)->applyPatchValue(patchValue);
}
