#include "VelaTestMain.h"

#include "app/VelaSettings.h"

#include <QSettings>
#include <QSignalSpy>

class TstSettings : public QObject
{
    Q_OBJECT

    static void clearStore()
    {
        QSettings store;
        store.clear();
        store.sync();
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName("Orvo");
        QCoreApplication::setApplicationName("ORVO Vela settings test");
    }

    void init() { clearStore(); }

    void emptyStoreGivesDefaults()
    {
        VelaSettings settings;
        QCOMPARE(settings.windowPosition(), QPoint(200, 200));
        QCOMPARE(settings.windowSize(), QSize(640, 480));
        QCOMPARE(settings.logLevel(), 0);
        QCOMPARE(settings.logMode(), 3);
        QCOMPARE(settings.developerModeEnabled(), false);
        QCOMPARE(settings.isFirstUse(), true);
        QCOMPARE(settings.lastVersionToDiscard(), QStringLiteral("2.01"));
        QCOMPARE(settings.versionCheckEnabled(), true);
        // Loading writes nothing.
        QVERIFY(QSettings().allKeys().isEmpty());
    }

    void saveWritesEveryKeyInItsGroup()
    {
        VelaSettings settings;
        settings.setWindowPosition(QPoint(-10, 33));
        settings.setWindowSize(QSize(800, 600));
        settings.setLogLevel(4);
        settings.setLogMode(1);
        settings.setDeveloperModeEnabled(true);
        settings.setIsFirstUse(false);
        settings.setLastVersionToDiscard("2.05");
        settings.setVersionCheckEnabled(false);
        settings.save();

        QSettings store;
        QCOMPARE(store.value("WindowSettings/WindowSize").toSize(), QSize(800, 600));
        QCOMPARE(store.value("WindowSettings/WindowPosition").toPoint(), QPoint(-10, 33));
        QCOMPARE(store.value("LogSettings/LogLevel").toInt(), 4);
        QCOMPARE(store.value("LogSettings/LogMode").toInt(), 1);
        QCOMPARE(store.value("DeveloperMode/DeveloperModeEnabled").toBool(), true);
        QCOMPARE(store.value("FirstUse/IsFirstUse").toBool(), false);
        QCOMPARE(store.value("OnlineAppVersion/LastVersionToDiscard").toString(), QStringLiteral("2.05"));
        QCOMPARE(store.value("OnlineAppVersion/VersionCheckEnabled").toBool(), false);
        QCOMPARE(store.allKeys().size(), 8);

        VelaSettings reloaded;
        QCOMPARE(reloaded.windowPosition(), QPoint(-10, 33));
        QCOMPARE(reloaded.windowSize(), QSize(800, 600));
        QCOMPARE(reloaded.logLevel(), 4);
        QCOMPARE(reloaded.logMode(), 1);
        QCOMPARE(reloaded.developerModeEnabled(), true);
        QCOMPARE(reloaded.isFirstUse(), false);
        QCOMPARE(reloaded.lastVersionToDiscard(), QStringLiteral("2.05"));
        QCOMPARE(reloaded.versionCheckEnabled(), false);
    }

    void signalsOfLoadResetAndSetters()
    {
        VelaSettings settings;
        QSignalSpy changed(&settings, &VelaSettings::settingsChanged);

        // Plain setters stay silent.
        settings.setLogLevel(2);
        settings.setDeveloperModeEnabled(true);
        QCOMPARE(changed.count(), 0);

        // A store holding exactly the defaults still announces one change on load.
        clearStore();
        VelaSettings().save();
        settings.load();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(settings.logLevel(), 0);
    }

    void resetLeavesTheStoreUntilSave()
    {
        {
            VelaSettings settings;
            settings.setWindowSize(QSize(1024, 700));
            settings.setLogLevel(5);
            settings.setDeveloperModeEnabled(true);
            settings.setIsFirstUse(false);
            settings.save();
        }
        VelaSettings settings;
        QSignalSpy changed(&settings, &VelaSettings::settingsChanged);
        settings.resetToDefault();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(settings.windowSize(), QSize(640, 480));
        QCOMPARE(settings.logLevel(), 0);
        QCOMPARE(settings.developerModeEnabled(), false);
        QCOMPARE(settings.isFirstUse(), true);

        QSettings store;
        QCOMPARE(store.value("WindowSettings/WindowSize").toSize(), QSize(1024, 700));
        QCOMPARE(store.value("LogSettings/LogLevel").toInt(), 5);

        settings.save();
        store.sync();
        QCOMPARE(store.value("WindowSettings/WindowSize").toSize(), QSize(640, 480));
        QCOMPARE(store.value("DeveloperMode/DeveloperModeEnabled").toBool(), false);
    }
};

VELA_TEST_MAIN_CORE(TstSettings)
#include "tst_settings.moc"
