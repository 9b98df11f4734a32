#include "VelaManager.h"
#include "VelaSettings.h"
#include "WdxManager.h"

#include "control/WdxController.h"
#include "control/WdxController_SecuritySettings.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "models/WdxModel.h"
#include "speakers/RVSpeakerDB.h"
#include "tester/WdxProtocolTester.h"

#include "firmware/WdxFirmwareWorker.h"
#include "logger/QLoggerManager.h"
#include "models/RVEQBand.h"
#include "models/RVEQBandListModel.h"
#include "models/RVEq.h"
#include "models/WdxOutputItem.h"
#include "models/WdxPreProcItem.h"
#include "protocol/WdxMessageGeneric.h"
#include "protocol/WdxRequestProcessor.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlContext>
#include <QSortFilterProxyModel>
#include <QtQml>
#include <QQmlEngine>
#include <QQuickView>
#include <QScreen>
#include <QStandardPaths>

namespace {
const char *const kModule = "VelaManager";
constexpr int kLogFileMaxAgeDays = 1;
QUrl s_sceneUrl(QStringLiteral("qrc:/VelaMain.qml"));
}

void VelaManager::setSceneUrl(const QUrl &url)
{
    s_sceneUrl = url;
}

QUrl VelaManager::sceneUrl()
{
    return s_sceneUrl;
}

QString VelaManager::applicationVersion()
{
    return QStringLiteral("%1").arg(QStringLiteral("2.01"));
}

QString VelaManager::applicationName()
{
    return QStringLiteral("ORVO Vela %1").arg(applicationVersion());
}

VelaManager::VelaManager(QObject *parent) : QObject(parent)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvo"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvo-audio.com"));
    QCoreApplication::setApplicationVersion(applicationVersion());
    QCoreApplication::setApplicationName(applicationName());

    registerTypes();

    m_settings = new VelaSettings(this);

    m_settings->setLogLevel(clampLogLevel(m_settings->logLevel()));
    m_settings->setLogMode(clampLogMode(m_settings->logMode()));
    applySettingsToLogger();
    QLogger::QLoggerManager::setBasePath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QLogger::QLoggerManager::deleteOldLogFiles(kLogFileMaxAgeDays);

    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");

    m_deviceManager = new WdxManager(this);
    pushSettingsToModel();
    connect(m_deviceManager->model(), &WdxModel::notifyRequestToResetSettings, m_settings, &VelaSettings::resetToDefault);

    auto *tester = new WdxProtocolTester(this);
    tester->setRequestProcessor(m_deviceManager->controller()->processor());

    createView();

    connect(m_settings, &VelaSettings::settingsChanged, this, &VelaManager::onSettingsChanged);
}

VelaManager::~VelaManager()
{
    m_logger->info(kModule, __func__, "Saving settings");
    if (!m_geometryRejected) {
        m_settings->setWindowPosition(m_view->position());
        m_settings->setWindowSize(m_view->size());
    }
    WdxModel *model = m_deviceManager->model();
    m_settings->setLastVersionToDiscard(model->lastVersionToDiscard());
    m_view->close();
    m_settings->setLogLevel(QLogger::QLoggerManager::defaultLevel());
    m_settings->setLogMode(QLogger::QLoggerManager::outputMode());
    m_settings->setDeveloperModeEnabled(model->devModeEnabled());
    m_settings->setLastVersionToDiscard(model->lastVersionToDiscard());
    m_settings->setVersionCheckEnabled(model->autoUpdateEnabled());
    m_settings->save();
    delete m_view;
}

void VelaManager::registerTypes()
{
    qRegisterMetaType<WdxMessageGeneric>("WdxMessageGeneric");

    const char *const uri = "com.orvo.qmlcomponents";
    qmlRegisterType<WdxPreProcItem>(uri, 1, 0, "WdxPreProcItem");
    qmlRegisterType<WdxOutputItem>(uri, 1, 0, "WdxOutputItem");
    qmlRegisterType<RVEQBandListModel>(uri, 1, 0, "RVEQBandListModel");
    qmlRegisterType<RVEQBand>(uri, 1, 0, "RVEQBand");
    qmlRegisterType<RVEq>(uri, 1, 0, "RVEq");
    qmlRegisterType<QSortFilterProxyModel>(uri, 1, 0, "QSortFilterProxyModel");
    qmlRegisterType<WdxProtocolTester>(uri, 1, 0, "WdxProtocolTester");

    qRegisterMetaType<WdxFirmwareWorker::enState>("WdxFirmwareWorker::enState");
    qRegisterMetaType<WdxFirmwareWorker::enErrCode>("WdxFirmwareWorker::enErrCode");
}

int VelaManager::clampLogLevel(int level)
{
    return qBound(int(QLogger::Trace), level, int(QLogger::Fatal));
}

int VelaManager::clampLogMode(int mode)
{
    return qBound(int(QLogger::LogOff), mode, int(QLogger::LogConsoleAndFile));
}

void VelaManager::applySettingsToLogger()
{
    // Developer mode alone decides; the stored level and mode are only kept in range.
    if (m_settings->developerModeEnabled()) {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsoleAndFile);
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
    } else {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);
    }
}

void VelaManager::onSettingsChanged()
{
    m_settings->setLogLevel(clampLogLevel(m_settings->logLevel()));
    m_settings->setLogMode(clampLogMode(m_settings->logMode()));
    applySettingsToLogger();
    if (m_deviceManager)
        pushSettingsToModel();
}

void VelaManager::pushSettingsToModel()
{
    WdxModel *model = m_deviceManager->model();
    model->setDevModeEnabled(m_settings->developerModeEnabled());
    model->setAutoUpdateEnabled(m_settings->versionCheckEnabled());
    model->setLastVersionToDiscard(m_settings->lastVersionToDiscard());
}

VelaManager::Scaling VelaManager::scalingFor(qreal physicalDotsPerInch, qreal devicePixelRatio)
{
    const qreal dpi = qMax<qreal>(160, physicalDotsPerInch);
    const qreal scale = devicePixelRatio * dpi / 200;
    return {scale, QSize(int(640 * scale / devicePixelRatio), int(480 * scale / devicePixelRatio)),
            scale / devicePixelRatio};
}

bool VelaManager::geometryFits(const QPoint &position, const QSize &size, const QSize &available)
{
    return size.width() <= available.width() && size.height() <= available.height()
        && position.x() <= available.width() && position.y() <= available.height();
}

void VelaManager::applyScaling()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const Scaling scaling = scalingFor(screen->physicalDotsPerInch(), screen->devicePixelRatio());
    m_view->setMinimumSize(scaling.minimumSize);
    m_view->rootContext()->setContextProperty(QStringLiteral("devicePixelRatio"), scaling.sceneScale);
}

void VelaManager::onPhysicalDotsPerInchChanged()
{
    applyScaling();
}

void VelaManager::createView()
{
    m_view = new QQuickView;
    m_view->setClearBeforeRendering(false);
    m_view->setTitle(applicationName());
    m_view->setIcon(QIcon(QStringLiteral(":/images/ui/vela.svg")));

    connect(QGuiApplication::primaryScreen(), &QScreen::physicalDotsPerInchChanged, this,
            &VelaManager::onPhysicalDotsPerInchChanged);
    applyScaling();

    QQmlContext *context = m_view->rootContext();
    WdxController *controller = m_deviceManager->controller();
    context->setContextProperty(QStringLiteral("wdx"), m_deviceManager->model());
    context->setContextProperty(QStringLiteral("speakerDb"), m_deviceManager->speakerDb());
    context->setContextProperty(QStringLiteral("securityTool"), controller->security());
    context->setContextProperty(QStringLiteral("protocolTester"),
                                findChild<WdxProtocolTester *>(QString(), Qt::FindDirectChildrenOnly));
    context->setContextProperty(QStringLiteral("firmwareUpdater"), controller->firmwareUpdateController());
    context->setContextProperty(QStringLiteral("firmwareDb"), m_deviceManager->firmwareDb());
    context->setContextProperty(QStringLiteral("applicationFont"), QStringLiteral("Segoe UI"));
    context->setContextProperty(QStringLiteral("isFirstUse"), m_settings->isFirstUse());

    m_view->setSource(s_sceneUrl);
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    connect(m_view->engine(), &QQmlEngine::quit, this, &VelaManager::appQuit);

    restoreGeometry();
    m_view->show();

    m_settings->setIsFirstUse(false);
    m_settings->save();
}

void VelaManager::restoreGeometry()
{
    const QSize available = QGuiApplication::primaryScreen()->availableVirtualSize();
    const QPoint position = m_settings->windowPosition();
    const QSize size = m_settings->windowSize();
    if (geometryFits(position, size, available)) {
        m_view->resize(size);
        m_view->setPosition(position);
    } else {
        m_geometryRejected = true;
        m_logger->warning(kModule, __func__,
                          QStringLiteral("Stored window geometry %1,%2 %3x%4 does not fit the screen, ignored")
                              .arg(position.x()).arg(position.y()).arg(size.width()).arg(size.height()));
    }
}
