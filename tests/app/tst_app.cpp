#include "VelaTestMain.h"

#include "app/VelaManager.h"
#include "app/VelaSettings.h"
#include "app/VersionOnlineController.h"
#include "app/WdxManager.h"
#include "control/WdxController.h"
#include "control/WdxController_SecuritySettings.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "logger/QLoggerManager.h"
#include "models/WdxModel.h"
#include "speakers/RVSpeakerDB.h"

#include <QtNetwork>
#include <QtQuick>

using QLogger::QLoggerManager;

namespace {

void store(const QString &key, const QVariant &value) { QSettings().setValue(key, value); }

QVariant stored(const QString &key) { return QSettings().value(key); }

// A finished reply with a canned body, as the version checker receives it from the network.
class CannedReply : public QNetworkReply
{
public:
    explicit CannedReply(const QByteArray &body) : m_body(body) { open(ReadOnly), setFinished(true); }
    void abort() override {}
    qint64 bytesAvailable() const override { return m_body.size() + QIODevice::bytesAvailable(); }
    qint64 readData(char *data, qint64 max) override
    {
        const QByteArray part = m_body.left(int(max));
        return m_body.remove(0, part.size()), memcpy(data, part.constData(), size_t(part.size())), part.size();
    }
    QByteArray m_body;
};

} // namespace

// Shared rig: the application's identity and an empty settings store for every case; no network.
// Only the first case loads the real scene: its value lists are parsed on a thread that the view
// waits for when it is destroyed, minutes under the address sanitizer for a dozen start-ups.
class TstApp : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName("Orvo");
        QCoreApplication::setApplicationName("ORVO Vela 2.01");
        WdxManager::setVersionCheckUrl(QString());
        QFile scene(m_dir.filePath("Empty.qml"));
        QVERIFY(scene.open(QIODevice::WriteOnly) && scene.write("import QtQuick 2.15\nItem {}\n") > 0);
    }

    void init()
    {
        QSettings().clear();
        const bool realScene = QTest::currentTestFunction() == QByteArray("identitySceneAndRegistrations");
        VelaManager::setSceneUrl(realScene ? QUrl("qrc:/VelaMain.qml") : QUrl::fromLocalFile(m_dir.filePath("Empty.qml")));
    }

    void identitySceneAndRegistrations()
    {
        VelaManager manager;
        for (const char *type : {"WdxFirmwareWorker::enState", "WdxFirmwareWorker::enErrCode"})
            QVERIFY2(QMetaType::type(type) != QMetaType::UnknownType, type);
        for (const char *type : {"WdxPreProcItem", "WdxOutputItem", "RVEQBandListModel", "RVEQBand", "RVEq", "QSortFilterProxyModel", "WdxProtocolTester"}) {
            QQmlComponent component(manager.view()->engine());
            component.setData(QByteArray("import com.orvo.qmlcomponents 1.0\n") + type + " {}", QUrl());
            QVERIFY2(QScopedPointer<QObject>(component.create()), qPrintable(QString(type) + ": " + component.errorString()));
        }
        QCOMPARE(QStringList({QCoreApplication::organizationName(), QCoreApplication::applicationVersion(),
                              QCoreApplication::applicationName(), manager.view()->title()}),
                 QStringList({"Orvo", "2.01", "ORVO Vela 2.01", "ORVO Vela 2.01"}));
        QCOMPARE(manager.view()->status(), QQuickView::Ready);
        QSignalSpy quit(&manager, &VelaManager::appQuit); // the scene's Qt.quit()
        emit manager.view()->engine()->quit();
        QCOMPARE(quit.count(), 1);
        QQmlContext *context = manager.view()->rootContext();
        WdxManager *device = manager.deviceManager();
        auto object = [context](const char *name) { return context->contextProperty(name).value<QObject *>(); };
        QCOMPARE(QList<QObject *>({object("wdx"), object("speakerDb"), object("securityTool"), object("firmwareUpdater"), object("firmwareDb")}),
                 QList<QObject *>({device->model(), device->speakerDb(), device->controller()->security(),
                                   device->controller()->firmwareUpdateController(), device->firmwareDb()}));
        QScreen *screen = QGuiApplication::primaryScreen();
        const auto scaling = VelaManager::scalingFor(screen->physicalDotsPerInch(), screen->devicePixelRatio());
        // The scene sees the first-use flag as loaded; the store has it cleared at once.
        QCOMPARE(QVariantList({object("protocolTester")->metaObject()->className(), context->contextProperty("applicationFont"),
                               context->contextProperty("devicePixelRatio"), manager.view()->minimumSize(), context->contextProperty("isFirstUse"),
                               stored("FirstUse/IsFirstUse")}),
                 QVariantList({"WdxProtocolTester", "Segoe UI", scaling.sceneScale, scaling.minimumSize, true, false}));
        VelaManager second;
        QCOMPARE(second.view()->rootContext()->contextProperty("isFirstUse").toBool(), false);
    }

    void scaling()
    {
        // dpi, pixel ratio -> scale, minimum window (truncated), scene scale (scale / ratio)
        const QList<QPair<QPointF, QString>> cases = {
            {{96, 1}, "0.8 512x384 0.8"}, {{159, 1}, "0.8 512x384 0.8"}, {{161, 1}, "0.805 515x386 0.805"},
            {{240, 2}, "2.4 768x576 1.2"}, {{96, 2}, "1.6 512x384 0.8"}};
        for (const auto &c : cases) {
            const VelaManager::Scaling s = VelaManager::scalingFor(c.first.x(), c.first.y());
            QCOMPARE(QStringLiteral("%1 %2x%3 %4").arg(s.scale).arg(s.minimumSize.width()).arg(s.minimumSize.height()).arg(s.sceneScale), c.second);
        }
    }

    void geometryAtStartUpAndShutdown()
    {
        // Stored position and size against the available size, both sides of each limit; rejected geometry is not saved at exit.
        const QSize screen = QGuiApplication::primaryScreen()->availableVirtualSize();
        const int w = screen.width(), h = screen.height();
        const QList<QPair<QRect, bool>> cases = {{{0, 0, w, h}, true},        {{0, 0, w + 1, h}, false}, {{0, 0, w, h + 1}, false},
                                                 {{w, h, 10, 10}, true},      {{w + 1, 0, 10, 10}, false}, {{0, h + 1, 10, 10}, false},
                                                 {{-50, -50, 640, 480}, true}};
        for (const auto &c : cases) {
            store("WindowSettings/WindowPosition", c.first.topLeft());
            store("WindowSettings/WindowSize", c.first.size());
            {
                VelaManager manager;
                QCOMPARE(manager.geometryRejected(), !c.second);
                QCOMPARE(manager.view()->size() == c.first.size(), c.second);
                manager.view()->resize(300, 200);
            }
            QCOMPARE(stored("WindowSettings/WindowSize").toSize(), c.second ? QSize(300, 200) : c.first.size());
        }
    }

    void logSettings()
    {
        // stored level, mode, developer mode -> stored level and mode after start-up, logger mode and level
        for (const QString c : {"9 -1 0 -> 5 0 2 1", "6 4 1 -> 5 3 3 0", "5 3 0 -> 5 3 2 1", "-1 0 1 -> 0 0 3 0", "0 1 0 -> 0 1 2 1"}) {
            const QStringList in = c.section(" -> ", 0, 0).split(' ');
            const bool developer = in[2] == "1";
            store("LogSettings/LogLevel", in[0].toInt()), store("LogSettings/LogMode", in[1].toInt()), store("DeveloperMode/DeveloperModeEnabled", developer);
            VelaManager manager;
            VelaSettings *s = manager.settings();
            auto state = [s] { return QStringLiteral("%1 %2 %3 %4").arg(s->logLevel()).arg(s->logMode()).arg(QLoggerManager::outputMode()).arg(QLoggerManager::defaultLevel()); };
            QCOMPARE(state(), c.section(" -> ", 1));
            QCOMPARE(manager.deviceManager()->model()->devModeEnabled(), developer);
            store("DeveloperMode/DeveloperModeEnabled", !developer), s->load(); // a settings change: the same rules
            QCOMPARE(manager.deviceManager()->model()->devModeEnabled(), !developer);
            store("DeveloperMode/DeveloperModeEnabled", developer), s->load();
            QCOMPARE(state(), c.section(" -> ", 1));
        }
    }

    void shutdownSavesWhatTheUserChanged()
    {
        {
            VelaManager manager;
            WdxModel *model = manager.deviceManager()->model();
            QLoggerManager::setOutputMode(QLogger::LogConsole), QLoggerManager::setDefaultLevel(QLogger::Warning);
            model->setDevModeEnabled(true), model->setAutoUpdateEnabled(false);
            model->updateOnlineApplicationVersion("2.02"), model->discardLatestVersion();
            manager.view()->setPosition(12, 34);
        }
        QCOMPARE(QVariantList({stored("LogSettings/LogMode").toInt(), stored("LogSettings/LogLevel").toInt(),
                               stored("DeveloperMode/DeveloperModeEnabled").toBool(), stored("OnlineAppVersion/VersionCheckEnabled").toBool(),
                               stored("OnlineAppVersion/LastVersionToDiscard"), stored("WindowSettings/WindowPosition").toPoint()}),
                 QVariantList({int(QLogger::LogConsole), int(QLogger::Warning), true, false, "2.02", QPoint(12, 34)}));
    }

    void resetRequestedByTheModel()
    {
        store("DeveloperMode/DeveloperModeEnabled", true), store("OnlineAppVersion/VersionCheckEnabled", false), store("OnlineAppVersion/LastVersionToDiscard", "2.07");
        VelaManager manager;
        WdxModel *model = manager.deviceManager()->model();
        auto state = [model] { return QStringLiteral("%1 %2 %3").arg(model->devModeEnabled()).arg(model->autoUpdateEnabled()).arg(model->lastVersionToDiscard()); };
        QCOMPARE(state(), QStringLiteral("1 0 2.07"));
        model->resetSettings();
        QCOMPARE(state(), QStringLiteral("0 1 2.01"));
        QVERIFY(QLoggerManager::outputMode() == QLogger::LogFile && stored("OnlineAppVersion/LastVersionToDiscard") == "2.07"); // stored when saved
    }

    void onlineVersionReachesTheModel()
    {
        // Only an application version with "." as its second character takes the online version.
        for (const QString appVersion : {"2.01", "10.1", "2-01"}) {
            QCoreApplication::setApplicationVersion(appVersion);
            WdxManager device;
            QCoreApplication::setApplicationVersion("2.01");
            device.versionChecker()->onHttpRequestCompleted(new CannedReply(
                "<v><Version>2.02</Version><DownloadUrl><mac>https://d/m</mac><win>https://d/w</win></DownloadUrl></v>"));
            QCOMPARE(device.versionChecker()->onlineVersion(), QStringLiteral("2.02"));
            QCOMPARE(device.model()->onlineApplicationVersion(), appVersion == "2.01" ? QStringLiteral("2.02") : QString());
            QList<QUrl> opened;
            WdxManager::setUrlOpener([&opened](const QUrl &url) { return opened << url, true; }), device.model()->downloadLatestVersion();
            WdxManager::setUrlOpener({});
            QCOMPARE(opened, QList<QUrl>{QUrl(QSysInfo::productType() == "windows" ? "https://d/w" : "https://d/m")});
        }
    }
};

VELA_TEST_MAIN_GUI(TstApp)
#include "tst_app.moc"
