#pragma once

#include <QMap>
#include <QObject>

class QXmlStreamReader;
class RVCabinetVariant;

// One operating mode of a cabinet; its id is the speaker preset id.
class RVCabinetMode : public QObject
{
    Q_OBJECT
public:
    explicit RVCabinetMode(QObject *parent = nullptr);

    void read(QXmlStreamReader &xml);
    bool isValid() const;

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    // Keyed by the variant id as text, so in string order.
    const QMap<QString, RVCabinetVariant *> &variants() const { return m_variants; }

private:
    QString m_id;
    QString m_name;
    QMap<QString, RVCabinetVariant *> m_variants;
};
