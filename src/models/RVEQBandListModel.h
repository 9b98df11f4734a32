#pragma once

#include "ListModel.h"

// The band rows of one equaliser, in device slot order.
class RVEQBandListModel : public ListModel
{
    Q_OBJECT
public:
    explicit RVEQBandListModel(QObject *parent = nullptr);
};
