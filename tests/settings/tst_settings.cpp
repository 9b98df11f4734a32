#include "VelaTestMain.h"

#include "app/VelaSettings.h"

namespace {

// Every field as one text, in declaration order, so one comparison shows any field that is off.
QString fieldsOf(const VelaSettings &s)
{
    return QStringLiteral("%1,%2 %3x%4 %5 %6 %7 %8 %9").arg(s.windowPosition().x()).arg(s.windowPosition().y()).arg(s.windowSize().width())
        .arg(s.windowSize().height()).arg(s.logLevel()).arg(s.logMode()).arg(s.developerModeEnabled()).arg(s.isFirstUse()).arg(s.lastVersionToDiscard())
        + ' ' + QString::number(s.versionCheckEnabled());
}

const QString kDefaults = QStringLiteral("200,200 640x480 0 3 0 1 2.01 1");

} // namespace

class TstSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName("Orvo");
        QCoreApplication::setApplicationName("ORVO Vela settings test");
    }

    void init() { QSettings().clear(); }

    void emptyStoreGivesDefaults()
    {
        VelaSettings settings;
        QSignalSpy changed(&settings, &VelaSettings::settingsChanged);
        settings.load();
        QCOMPARE(fieldsOf(settings) + ' ' + QString::number(changed.count()), kDefaults + " 1");
        QVERIFY(QSettings().allKeys().isEmpty()); // loading writes nothing
    }

    void roundTripThroughTheFile()
    {
        const QStringList keys{"WindowSettings/WindowSize", "WindowSettings/WindowPosition", "LogSettings/LogLevel", "LogSettings/LogMode",
                               "DeveloperMode/DeveloperModeEnabled", "FirstUse/IsFirstUse", "OnlineAppVersion/LastVersionToDiscard",
                               "OnlineAppVersion/VersionCheckEnabled"};
        // No two keys of one type agree, so a key read or written under another's name shows; the second row flips every flag.
        const QList<QPair<QVariantList, QString>> rows = {
            {{QSize(800, 600), QPoint(-10, 33), 4, 1, true, false, "2.05", false}, "-10,33 800x600 4 1 1 0 2.05 0"},
            {{QSize(1024, 700), QPoint(12, 7), 2, 0, false, true, "3.10", true}, "12,7 1024x700 2 0 0 1 3.10 1"}};
        for (const auto &row : rows) {
            init();
            for (int i = 0; i < keys.size(); ++i)
                QSettings().setValue(keys[i], row.first[i]);
            VelaSettings loaded;
            QCOMPARE(fieldsOf(loaded), row.second);
            init(); // save writes every field back under its own key, into the store's file
            loaded.save();
            QSettings file(QSettings().fileName(), QSettings::IniFormat);
            QCOMPARE(file.allKeys().size(), keys.size());
            for (int i = 0; i < keys.size(); ++i)
                QVERIFY2(file.value(keys[i]) == row.first[i], qPrintable(keys[i]));
            QCOMPARE(fieldsOf(VelaSettings()), row.second);
        }
    }

    void settersAreSilentResetSignalsOnce()
    {
        VelaSettings settings;
        QSignalSpy changed(&settings, &VelaSettings::settingsChanged);
        settings.setWindowPosition(QPoint(1, 2)), settings.setWindowSize(QSize(3, 4)), settings.setLogLevel(5);
        settings.setLogMode(2), settings.setDeveloperModeEnabled(true), settings.setIsFirstUse(false);
        settings.setLastVersionToDiscard("2.02"), settings.setVersionCheckEnabled(false);
        QCOMPARE(fieldsOf(settings), QStringLiteral("1,2 3x4 5 2 1 0 2.02 0"));
        QCOMPARE(changed.count(), 0);
        settings.save();
        settings.resetToDefault();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(fieldsOf(settings), kDefaults);
        // The store keeps the saved values until the next save.
        QCOMPARE(fieldsOf(VelaSettings()), QStringLiteral("1,2 3x4 5 2 1 0 2.02 0"));
        settings.save();
        QCOMPARE(fieldsOf(VelaSettings()), kDefaults);
    }
};

VELA_TEST_MAIN_CORE(TstSettings)
#include "tst_settings.moc"
