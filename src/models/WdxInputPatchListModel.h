#pragma once

#include "ListModel.h"

class WdxInputPatchItem;

// The six input patch rows of one pre-processing channel, in input order.
class WdxInputPatchListModel : public ListModel
{
    Q_OBJECT
public:
    explicit WdxInputPatchListModel(QObject *parent = nullptr);

    WdxInputPatchItem *patchAt(int row) const;
    // Bit field of the patched inputs: input i in bit i.
    quint8 patchValue() const;
    void applyPatchValue(quint8 patchValue);
};
