#include "WdxInputItem.h"

namespace {
struct SourceName
{
    const char *longName;
    const char *shortName;
};

const SourceName kSources[] = {
    {"Analog L", "Ana L"},   {"Analog R", "Ana R"},   {"AES/EBU L", "AES L"},
    {"AES/EBU R", "AES R"}, {"Digital L", "DGT L"}, {"Digital R", "DGT R"},
};
constexpr int kSourceCount = int(sizeof(kSources) / sizeof(kSources[0]));
}

WdxInputItem::WdxInputItem(int channelIndex, QObject *parent)
    : ListItem(parent), m_channelIndex(channelIndex)
{
}

QString WdxInputItem::longName(int index)
{
    if (index < 0 || index >= kSourceCount)
        return QStringLiteral("Unknown");
    return QString::fromLatin1(kSources[index].longName);
}

QString WdxInputItem::shortName(int index)
{
    if (index < 0 || index >= kSourceCount)
        return QStringLiteral("Unknown");
    return QString::fromLatin1(kSources[index].shortName);
}

QVariant WdxInputItem::data(int role) const
{
    switch (role) {
    case TypeRole: return m_channelIndex;
    case TypeStrRole: return longName();
    case TypeShortStrRole: return shortName();
    case LevelRole: return int(m_level);
    default: return QVariant();
    }
}

QHash<int, QByteArray> WdxInputItem::roleNames() const
{
    return {
        {TypeRole, "type"},
        {TypeStrRole, "typeStr"},
        {TypeShortStrRole, "typeShortStr"},
        {LevelRole, "level"},
    };
}

void WdxInputItem::updateLevel(quint8 level)
{
    if (m_level == level)
        return;
    m_level = level;
    emit dataChanged();
    emit levelChanged();
}

void WdxInputItem::reset()
{
    const bool changed = m_level != 0;
    m_level = 0;
    emit dataChanged();
    if (changed)
        emit levelChanged();
}
