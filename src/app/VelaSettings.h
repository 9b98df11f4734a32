#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>

// The values that survive between runs, in the platform's native settings store.
class VelaSettings : public QObject
{
    Q_OBJECT
public:
    explicit VelaSettings(QObject *parent = nullptr);

    void load();
    void save();

    QPoint windowPosition() const { return m_windowPosition; }
    QSize windowSize() const { return m_windowSize; }
    int logLevel() const { return m_logLevel; }
    int logMode() const { return m_logMode; }
    bool developerModeEnabled() const { return m_developerModeEnabled; }
    bool isFirstUse() const { return m_isFirstUse; }
    QString lastVersionToDiscard() const { return m_lastVersionToDiscard; }
    bool versionCheckEnabled() const { return m_versionCheckEnabled; }

    void setWindowPosition(const QPoint &value);
    void setWindowSize(const QSize &value);
    void setLogLevel(int value);
    void setLogMode(int value);
    void setDeveloperModeEnabled(bool value);
    void setIsFirstUse(bool value);
    void setLastVersionToDiscard(const QString &value);
    void setVersionCheckEnabled(bool value);

    static constexpr QPoint defaultWindowPosition() { return QPoint(200, 200); }
    static constexpr QSize defaultWindowSize() { return QSize(640, 480); }
    static constexpr int defaultLogLevel = 0;
    static constexpr int defaultLogMode = 3;
    static constexpr bool defaultDeveloperModeEnabled = false;
    static constexpr bool defaultIsFirstUse = true;
    static QString defaultLastVersionToDiscard() { return QStringLiteral("2.01"); }
    static constexpr bool defaultVersionCheckEnabled = true;

signals:
    void settingsChanged();

public slots:
    void resetToDefault();

private:
    QPoint m_windowPosition = defaultWindowPosition();
    QSize m_windowSize = defaultWindowSize();
    int m_logLevel = defaultLogLevel;
    int m_logMode = defaultLogMode;
    bool m_developerModeEnabled = defaultDeveloperModeEnabled;
    bool m_isFirstUse = defaultIsFirstUse;
    QString m_lastVersionToDiscard = defaultLastVersionToDiscard();
    bool m_versionCheckEnabled = defaultVersionCheckEnabled;
};
