#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// What the loaded firmware package can install, for the loudspeaker screens: its versions and
// the ids of its presets and cabinets. Refilled from the update controller each time it reports
// a loaded package (connect its fwLoaded() to updateDb()). A preset id is a two-character
// cabinet code and one more character; lookups are exact and case-sensitive.
class WdxFirmwareDb : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString mainFwVersion READ mainFwVersion NOTIFY dataChanged)
    Q_PROPERTY(QString dspFwVersion READ dspFwVersion NOTIFY dataChanged)
    Q_PROPERTY(QString presetsVersion READ presetsVersion NOTIFY dataChanged)
    Q_PROPERTY(QStringList mainSpeakerIds READ mainSpeakerIds NOTIFY dataChanged)
    Q_PROPERTY(QStringList subIds READ subIds NOTIFY dataChanged)
    Q_PROPERTY(QStringList cabinetIds READ cabinetIds NOTIFY dataChanged)
public:
    explicit WdxFirmwareDb(QObject *parent = nullptr);

    QString mainFwVersion() const { return m_mainFwVersion; }
    QString dspFwVersion() const { return m_dspFwVersion; }
    QString presetsVersion() const { return m_presetsVersion; }
    QStringList mainSpeakerIds() const { return m_mainSpeakerIds; }
    QStringList subIds() const { return m_subIds; }
    QStringList cabinetIds() const { return m_cabinetIds; }

    Q_INVOKABLE bool isCabinetAvailable(const QString &cabinetId) const;
    Q_INVOKABLE bool isSubAvailable(const QString &subId) const;
    Q_INVOKABLE bool isMainSpeakerAvailable(const QString &mainSpeakerId) const;
    Q_INVOKABLE bool isPresetAvailable(const QString &presetId) const;

signals:
    void dataChanged();

public slots:
    // Reads the controller that sent the signal; does nothing when called without one.
    void updateDb();

private:
    QString m_mainFwVersion;
    QString m_dspFwVersion;
    QString m_presetsVersion;
    QStringList m_mainSpeakerIds;
    QStringList m_subIds;
    QStringList m_cabinetIds;
};
