#pragma once

#include <QMap>
#include <QObject>

class QXmlStreamReader;
class RVCabinet;

// One product family (series) of cabinets.
class RVSpeakerFamily : public QObject
{
    Q_OBJECT
public:
    explicit RVSpeakerFamily(QObject *parent = nullptr);

    void read(QXmlStreamReader &xml);
    bool isValid() const;

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    int passCount() const { return m_passCount; }
    int subCount() const { return m_subCount; }
    const QMap<QString, RVCabinet *> &cabinets() const { return m_cabinets; }

private:
    QString m_id;
    QString m_name;
    int m_passCount = 0;
    int m_subCount = 0;
    QMap<QString, RVCabinet *> m_cabinets;
};
