#include "WdxPreProcItem.h"

#include "RVEQBand.h"
#include "RVEq.h"
#include "RVEQBandListModel.h"
#include "WdxInputPatchItem.h"
#include "WdxInputPatchListModel.h"

WdxPreProcItem::WdxPreProcItem(int channelIndex, const QList<WdxInputItem *> &inputs, QObject *parent)
    : ListItem(parent), m_channelIndex(channelIndex)
{
    m_inputPatches = new WdxInputPatchListModel(this);
    QList<ListItem *> patches;
    for (int bit = 0; bit < inputs.size(); ++bit)
        patches.append(new WdxInputPatchItem(inputs.at(bit), bit, this));
    m_inputPatches->appendRows(patches);

    m_eq = new RVEq(this);
    m_eq->setChannelIndex(quint8(channelIndex));
    connect(m_eq, &RVEq::dataChanged, this, &WdxPreProcItem::eqChanged);
    connect(m_eq, &RVEq::notifyRequestToWrite, this, &WdxPreProcItem::notifyRequestToWriteEq);
    connect(this, &WdxPreProcItem::eqRead, m_eq, &RVEq::onEqRead);
}

QString WdxPreProcItem::id() const
{
    return QString::number(m_channelIndex);
}

QVariant WdxPreProcItem::data(int role) const
{
    switch (role) {
    case ChannelIndexRole: return m_channelIndex;
    case NameRole: return m_name;
    case ShortNameRole: return m_shortName;
    case IsSelectedRole: return m_isSelected;
    default: return QVariant();
    }
}

QHash<int, QByteArray> WdxPreProcItem::roleNames() const
{
    return {
        {ChannelIndexRole, "channelIndex"},
        {NameRole, "name"},
        {ShortNameRole, "shortName"},
        {IsSelectedRole, "isSelected"},
    };
}

RVEQBand *WdxPreProcItem::getEqBand(int index) const
{
    return static_cast<RVEQBand *>(m_eq->bandListModel()->itemAt(index));
}

quint8 WdxPreProcItem::patchValue() const
{
    return m_inputPatches->patchValue();
}

void WdxPreProcItem::updateName(const QString &name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit nameChanged();
    emit dataChanged();
}

void WdxPreProcItem::updateShortName(const QString &shortName)
{
    if (m_shortName == shortName)
        return;
    m_shortName = shortName;
    emit shortNameChanged();
    emit dataChanged();
}

void WdxPreProcItem::setIsSelected(bool selected)
{
    if (m_isSelected == selected)
        return;
    m_isSelected = selected;
    emit isSelectedChanged();
    emit dataChanged();
}

void WdxPreProcItem::reset()
{
    updateInputPatch(0);
}

void WdxPreProcItem::toggleInputPatch(int inputPatchIndex)
{
    WdxInputPatchItem *patch = m_inputPatches->patchAt(inputPatchIndex);
    if (!patch)
        return;
    patch->setIsPatched(!patch->isPatched());
    emit notifyRequestToWritePatch();
    m_patchEditTime.restart();
}

void WdxPreProcItem::updateInputPatch(quint8 patchValue)
{
    m_inputPatches->applyPatchValue(patchValue);
}

void WdxPreProcItem::onPatchRead(int channelIndex, quint8 patchValue)
{
    if (channelIndex != m_channelIndex || m_isEditingPatch || m_patchEditTime.elapsed() < kPatchGuardMs)
        return;
    updateInputPatch(patchValue);
}
