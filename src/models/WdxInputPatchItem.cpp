#include "WdxInputPatchItem.h"

#include "WdxInputItem.h"

WdxInputPatchItem::WdxInputPatchItem(WdxInputItem *input, int bitNumber, QObject *parent)
    : ListItem(parent), m_input(input),
      m_mask(bitNumber >= 0 && bitNumber < 8 ? quint8(1u << bitNumber) : quint8(0))
{
    if (input)
        connect(input, &ListItem::dataChanged, this, &WdxInputPatchItem::onInputItemDataChanged);
}

QString WdxInputPatchItem::id() const
{
    return m_input ? m_input->longName() : WdxInputItem::longName(-1);
}

QVariant WdxInputPatchItem::data(int role) const
{
    switch (role) {
    case TypeRole: return m_input ? m_input->channelIndex() : -1;
    case TypeStrRole: return m_input ? m_input->longName() : WdxInputItem::longName(-1);
    case TypeShortStrRole: return m_input ? m_input->shortName() : WdxInputItem::shortName(-1);
    case LevelRole: return m_input ? double(m_input->level()) : 0.0;
    case IsPatchedRole: return m_isPatched;
    default: return QVariant();
    }
}

QHash<int, QByteArray> WdxInputPatchItem::roleNames() const
{
    return {
        {TypeRole, "type"},
        {TypeStrRole, "typeStr"},
        {TypeShortStrRole, "typeShortStr"},
        {LevelRole, "level"},
        {IsPatchedRole, "isPatched"},
    };
}

void WdxInputPatchItem::setIsPatched(bool patched)
{
    if (m_isPatched == patched)
        return;
    m_isPatched = patched;
    emit dataChanged();
}

void WdxInputPatchItem::applyPatchValue(quint8 patchValue)
{
    setIsPatched((patchValue & m_mask) != 0);
}

void WdxInputPatchItem::onInputItemDataChanged()
{
    emit dataChanged();
}
