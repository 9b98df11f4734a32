#include "RVEQBandListModel.h"

#include "RVEQBand.h"

RVEQBandListModel::RVEQBandListModel(QObject *parent) : ListModel(new RVEQBand(-1), parent)
{
}
