#include "VelaSettings.h"

#include <QSettings>

namespace {
template <typename T>
void assignIfChanged(T &field, const T &value)
{
    if (field != value)
        field = value;
}
}

VelaSettings::VelaSettings(QObject *parent) : QObject(parent)
{
    load();
}

void VelaSettings::load()
{
    QSettings store;

    store.beginGroup(QStringLiteral("WindowSettings"));
    assignIfChanged(m_windowSize, store.value(QStringLiteral("WindowSize"), defaultWindowSize()).toSize());
    assignIfChanged(m_windowPosition, store.value(QStringLiteral("WindowPosition"), defaultWindowPosition()).toPoint());
    store.endGroup();

    store.beginGroup(QStringLiteral("LogSettings"));
    assignIfChanged(m_logLevel, store.value(QStringLiteral("LogLevel"), defaultLogLevel).toInt());
    assignIfChanged(m_logMode, store.value(QStringLiteral("LogMode"), defaultLogMode).toInt());
    store.endGroup();

    store.beginGroup(QStringLiteral("DeveloperMode"));
    assignIfChanged(m_developerModeEnabled,
                    store.value(QStringLiteral("DeveloperModeEnabled"), defaultDeveloperModeEnabled).toBool());
    store.endGroup();

    store.beginGroup(QStringLiteral("FirstUse"));
    assignIfChanged(m_isFirstUse, store.value(QStringLiteral("IsFirstUse"), defaultIsFirstUse).toBool());
    store.endGroup();

    store.beginGroup(QStringLiteral("OnlineAppVersion"));
    assignIfChanged(m_lastVersionToDiscard,
                    store.value(QStringLiteral("LastVersionToDiscard"), defaultLastVersionToDiscard()).toString());
    assignIfChanged(m_versionCheckEnabled,
                    store.value(QStringLiteral("VersionCheckEnabled"), defaultVersionCheckEnabled).toBool());
    store.endGroup();

    emit settingsChanged();
}

void VelaSettings::save()
{
    QSettings store;

    store.beginGroup(QStringLiteral("WindowSettings"));
    store.setValue(QStringLiteral("WindowSize"), m_windowSize);
    store.setValue(QStringLiteral("WindowPosition"), m_windowPosition);
    store.endGroup();

    store.beginGroup(QStringLiteral("LogSettings"));
    store.setValue(QStringLiteral("LogLevel"), m_logLevel);
    store.setValue(QStringLiteral("LogMode"), m_logMode);
    store.endGroup();

    store.beginGroup(QStringLiteral("DeveloperMode"));
    store.setValue(QStringLiteral("DeveloperModeEnabled"), m_developerModeEnabled);
    store.endGroup();

    store.beginGroup(QStringLiteral("FirstUse"));
    store.setValue(QStringLiteral("IsFirstUse"), m_isFirstUse);
    store.endGroup();

    store.beginGroup(QStringLiteral("OnlineAppVersion"));
    store.setValue(QStringLiteral("LastVersionToDiscard"), m_lastVersionToDiscard);
    store.setValue(QStringLiteral("VersionCheckEnabled"), m_versionCheckEnabled);
    store.endGroup();

    store.sync();
}

void VelaSettings::resetToDefault()
{
    m_windowPosition = defaultWindowPosition();
    m_windowSize = defaultWindowSize();
    m_logLevel = defaultLogLevel;
    m_logMode = defaultLogMode;
    m_developerModeEnabled = defaultDeveloperModeEnabled;
    m_isFirstUse = defaultIsFirstUse;
    m_lastVersionToDiscard = defaultLastVersionToDiscard();
    m_versionCheckEnabled = defaultVersionCheckEnabled;
    emit settingsChanged();
}

void VelaSettings::setWindowPosition(const QPoint &value) { assignIfChanged(m_windowPosition, value); }
void VelaSettings::setWindowSize(const QSize &value) { assignIfChanged(m_windowSize, value); }
void VelaSettings::setLogLevel(int value) { assignIfChanged(m_logLevel, value); }
void VelaSettings::setLogMode(int value) { assignIfChanged(m_logMode, value); }
void VelaSettings::setDeveloperModeEnabled(bool value) { assignIfChanged(m_developerModeEnabled, value); }
void VelaSettings::setIsFirstUse(bool value) { assignIfChanged(m_isFirstUse, value); }
void VelaSettings::setLastVersionToDiscard(const QString &value) { assignIfChanged(m_lastVersionToDiscard, value); }
void VelaSettings::setVersionCheckEnabled(bool value) { assignIfChanged(m_versionCheckEnabled, value); }
