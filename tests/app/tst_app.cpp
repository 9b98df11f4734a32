#include "VelaTestMain.h"

#include "app/VelaManager.h"
#include "app/WdxManager.h"
#include "app/VelaSettings.h"
#include "firmware/WdxFirmwareWorker.h"
#include "logger/QLoggerManager.h"
#include "protocol/WdxMessageGeneric.h"

#include <QQmlComponent>
#include <QQmlEngine>

#include <QQmlContext>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSettings>

using QLogger::QLoggerManager;

class TstApp : public QObject
{
    Q_OBJECT

    static void clearStore()
    {
        QSettings store;
        store.clear();
        store.sync();
    }

    static void store(const QString &key, const QVariant &value)
    {
        QSettings settings;
        settings.setValue(key, value);
        settings.sync();
    }

private slots:
    void initTestCase()
    {
        // The manager sets the same identity; set it first so the test sees the same store.
        QCoreApplication::setOrganizationName("Orvo");
        QCoreApplication::setApplicationName(VelaManager::applicationName());
        // The device side is built with every manager: it stays off the network here.
        WdxManager::setVersionCheckUrl(QString());
    }

    void init() { clearStore(); }

    void identity()
    {
        QCOMPARE(VelaManager::applicationName(), QStringLiteral("ORVO Vela 2.01"));
        VelaManager manager;
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Orvo"));
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("2.01"));
        QCOMPARE(manager.view()->title(), QStringLiteral("ORVO Vela 2.01"));
    }

    void registrationsReachTheScene()
    {
        VelaManager manager;
        QCOMPARE(QMetaType::type("WdxMessageGeneric"), qMetaTypeId<WdxMessageGeneric>());
        QCOMPARE(QMetaType::type("WdxFirmwareWorker::enState"), qMetaTypeId<WdxFirmwareWorker::enState>());
        QCOMPARE(QMetaType::type("WdxFirmwareWorker::enErrCode"), qMetaTypeId<WdxFirmwareWorker::enErrCode>());
        QQmlEngine *engine = manager.view()->engine();
        for (const char *type : {"WdxPreProcItem", "WdxOutputItem", "RVEQBandListModel", "RVEQBand", "RVEq",
                                 "QSortFilterProxyModel"}) {
            QQmlComponent component(engine);
            component.setData(QByteArray("import com.orvo.qmlcomponents 1.0\n") + type + " {}", QUrl());
            QScopedPointer<QObject> object(component.create());
            QVERIFY2(object, qPrintable(QString(type) + ": " + component.errorString()));
        }
    }

    void scaling_data()
    {
        QTest::addColumn<qreal>("dpi");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<qreal>("sceneScale");
        QTest::newRow("96 dpi, ratio 1, floor of 160") << 96.0 << 1.0 << 0.8 << QSize(512, 384) << 0.8;
        QTest::newRow("240 dpi, ratio 2") << 240.0 << 2.0 << 2.4 << QSize(768, 576) << 1.2;
        QTest::newRow("160 dpi exactly") << 160.0 << 1.0 << 0.8 << QSize(512, 384) << 0.8;
        QTest::newRow("truncated toward zero") << 201.0 << 1.0 << 1.005 << QSize(643, 482) << 1.005;
    }

    void scaling()
    {
        QFETCH(qreal, dpi);
        QFETCH(qreal, ratio);
        QFETCH(qreal, scale);
        QFETCH(QSize, minimum);
        QFETCH(qreal, sceneScale);
        const VelaManager::Scaling s = VelaManager::scalingFor(dpi, ratio);
        QVERIFY(qFuzzyCompare(s.scale, scale));
        QCOMPARE(s.minimumSize, minimum);
        QVERIFY(qFuzzyCompare(s.sceneScale, sceneScale));
    }

    void sceneGetsScaleFontAndFirstUse()
    {
        VelaManager manager;
        QQmlContext *context = manager.view()->rootContext();
        const auto expected = VelaManager::scalingFor(QGuiApplication::primaryScreen()->physicalDotsPerInch(),
                                                      QGuiApplication::primaryScreen()->devicePixelRatio());
        QVERIFY(qFuzzyCompare(context->contextProperty("devicePixelRatio").toReal(), expected.sceneScale));
        QCOMPARE(manager.view()->minimumSize(), expected.minimumSize);
        QVERIFY(!manager.view()->icon().availableSizes().isEmpty() || !manager.view()->icon().pixmap(32).isNull());
        QCOMPARE(context->contextProperty("applicationFont").toString(), QStringLiteral("Segoe UI"));
        // The scene sees the first-use flag as loaded; the store has it cleared at once.
        QCOMPARE(context->contextProperty("isFirstUse").toBool(), true);
        QCOMPARE(QSettings().value("FirstUse/IsFirstUse").toBool(), false);
        QVERIFY(manager.view()->rootObject() != nullptr);
        QCOMPARE(manager.view()->status(), QQuickView::Ready);

        VelaManager second;
        QCOMPARE(second.view()->rootContext()->contextProperty("isFirstUse").toBool(), false);
    }

    void storedLogSettingsAreClamped()
    {
        store("LogSettings/LogLevel", 9);
        store("LogSettings/LogMode", -1);
        VelaManager manager;
        QCOMPARE(manager.settings()->logLevel(), 5);
        QCOMPARE(manager.settings()->logMode(), 0);

        // The same rule after a settings change.
        store("LogSettings/LogLevel", -4);
        store("LogSettings/LogMode", 12);
        manager.settings()->load();
        QCOMPARE(manager.settings()->logLevel(), 0);
        QCOMPARE(manager.settings()->logMode(), 3);
    }

    void developerModeDecidesTheLogger()
    {
        store("DeveloperMode/DeveloperModeEnabled", true);
        store("LogSettings/LogMode", 1);
        VelaManager manager;
        QCOMPARE(QLoggerManager::outputMode(), int(QLogger::LogConsoleAndFile));
        QCOMPARE(QLoggerManager::defaultLevel(), int(QLogger::Trace));

        manager.settings()->setDeveloperModeEnabled(false);
        emit manager.settings()->settingsChanged();
        QCOMPARE(QLoggerManager::outputMode(), int(QLogger::LogFile));
        QCOMPARE(QLoggerManager::defaultLevel(), int(QLogger::Debug));

        manager.settings()->resetToDefault();
        QCOMPARE(QLoggerManager::outputMode(), int(QLogger::LogFile));
    }

    void geometryRule_data()
    {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("fits");
        const QSize available = QGuiApplication::primaryScreen()->availableVirtualSize();
        QTest::newRow("defaults") << QPoint(200, 200) << QSize(640, 480) << true;
        QTest::newRow("exactly the screen") << QPoint(0, 0) << available << true;
        QTest::newRow("too wide") << QPoint(0, 0) << QSize(available.width() + 1, 480) << false;
        QTest::newRow("too tall") << QPoint(0, 0) << QSize(640, available.height() + 1) << false;
        QTest::newRow("x beyond") << QPoint(available.width() + 1, 0) << QSize(640, 480) << false;
        QTest::newRow("y beyond") << QPoint(0, available.height() + 1) << QSize(640, 480) << false;
        QTest::newRow("negative position") << QPoint(-50, -50) << QSize(640, 480) << true;
    }

    void geometryRule()
    {
        QFETCH(QPoint, position);
        QFETCH(QSize, size);
        QFETCH(bool, fits);
        store("WindowSettings/WindowPosition", position);
        store("WindowSettings/WindowSize", size);
        {
            VelaManager manager;
            QCOMPARE(manager.geometryRejected(), !fits);
            if (fits)
                QCOMPARE(manager.view()->size(), size);
            else
                QVERIFY(manager.view()->size() != size);
        }
        // After the shutdown save, rejected geometry is left in the store as it was.
        QSettings after;
        if (!fits) {
            QCOMPARE(after.value("WindowSettings/WindowSize").toSize(), size);
            QCOMPARE(after.value("WindowSettings/WindowPosition").toPoint(), position);
        }
    }

    void shutdownSavesWindowAndLogger()
    {
        {
            VelaManager manager;
            manager.view()->resize(700, 500);
            QLoggerManager::setOutputMode(QLogger::LogConsole);
            QLoggerManager::setDefaultLevel(QLogger::Warning);
        }
        QSettings after;
        QCOMPARE(after.value("WindowSettings/WindowSize").toSize(), QSize(700, 500));
        QCOMPARE(after.value("LogSettings/LogMode").toInt(), int(QLogger::LogConsole));
        QCOMPARE(after.value("LogSettings/LogLevel").toInt(), int(QLogger::Warning));
        QCOMPARE(after.value("FirstUse/IsFirstUse").toBool(), false);
    }
};

VELA_TEST_MAIN_GUI(TstApp)
#include "tst_app.moc"
