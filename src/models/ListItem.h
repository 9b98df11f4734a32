#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QVariant>

// One row of a ListModel: publishes its own roles and tells the model when they change.
class ListItem : public QObject
{
    Q_OBJECT
public:
    explicit ListItem(QObject *parent = nullptr) : QObject(parent) {}

    virtual QString id() const = 0;
    virtual QVariant data(int role) const = 0;
    virtual QHash<int, QByteArray> roleNames() const = 0;
    ~ListItem() override = default;

signals:
    void dataChanged();
};
