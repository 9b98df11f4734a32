#pragma once

#include <QObject>

class QXmlStreamReader;

// One crossover choice of a speaker mode, with its frequency range in Hz.
class RVCabinetVariant : public QObject
{
    Q_OBJECT
public:
    explicit RVCabinetVariant(QObject *parent = nullptr);

    // Reads the element the reader stands on, up to its end element.
    void read(QXmlStreamReader &xml);
    bool isValid() const;

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    int minFrequency() const { return m_minFrequency; }
    int maxFrequency() const { return m_maxFrequency; }

private:
    QString m_id;
    QString m_name;
    int m_minFrequency = -1;
    int m_maxFrequency = -1;
};
