#pragma once

#include "ListModel.h"

class WdxInputItem;

// The device's six inputs; the device model creates the items and feeds their meters.
class WdxInputListModel : public ListModel
{
    Q_OBJECT
public:
    static constexpr int kInputCount = 6;

    explicit WdxInputListModel(QObject *parent = nullptr);

    WdxInputItem *inputAt(int row) const;
    QList<WdxInputItem *> inputs() const;
};
