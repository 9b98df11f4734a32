#pragma once

#include "ListItem.h"

// One of the device's six input signals, with its level meter.
class WdxInputItem : public ListItem
{
    Q_OBJECT
public:
    enum Roles { TypeRole = Qt::UserRole + 1, TypeStrRole, TypeShortStrRole, LevelRole };

    explicit WdxInputItem(int channelIndex, QObject *parent = nullptr);

    QString id() const override { return longName(); }
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int channelIndex() const { return m_channelIndex; }
    quint8 level() const { return m_level; }
    QString longName() const { return longName(m_channelIndex); }
    QString shortName() const { return shortName(m_channelIndex); }

    // Names of an input source index; "Unknown" outside the six inputs.
    static QString longName(int index);
    static QString shortName(int index);

public slots:
    void updateLevel(quint8 level);
    void reset();

signals:
    void levelChanged();

private:
    int m_channelIndex;
    quint8 m_level = 0;
};
