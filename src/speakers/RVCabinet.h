#pragma once

#include <QMap>
#include <QObject>

class QXmlStreamReader;
class RVCabinetMode;

// One loudspeaker cabinet, full range ("PASS") or subwoofer ("SUB").
class RVCabinet : public QObject
{
    Q_OBJECT
public:
    enum Type { Pass = 0, Sub = 1, UnknownType = 2 };

    explicit RVCabinet(QObject *parent = nullptr);

    void read(QXmlStreamReader &xml);
    bool isValid() const;

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    int type() const { return m_type; }
    const QMap<QString, RVCabinetMode *> &modes() const { return m_modes; }

private:
    QString m_id;
    QString m_name;
    int m_type = UnknownType;
    QMap<QString, RVCabinetMode *> m_modes;
};
