#include "app/WdxManager.h"

#include "app/VersionOnlineController.h"
#include "app/WdxConnections.h"
#include "control/WdxController.h"
#include "control/WdxStateMachine.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "models/VelaScreenController.h"
#include "models/WdxModel.h"
#include "speakers/RVSpeakerDB.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QSysInfo>

namespace {
WdxManager::UrlOpener &urlOpener()
{
    static WdxManager::UrlOpener opener;
    return opener;
}

QString &versionCheckUrl()
{
    static QString url = QString::fromLatin1(VersionOnlineController::kDefaultUrl);
    return url;
}
}

void WdxManager::setUrlOpener(UrlOpener opener)
{
    urlOpener() = std::move(opener);
}

void WdxManager::setVersionCheckUrl(const QString &url)
{
    versionCheckUrl() = url;
}

WdxManager::WdxManager(QObject *parent) : QObject(parent)
{
    m_controller = new WdxController(this);
    connect(m_controller->firmwareUpdateController(), &WdxFirmwareUpdateController::fwLoaded, &m_firmwareDb,
            &WdxFirmwareDb::updateDb);

    m_model = new WdxModel(this);
    m_model->setFirmwareDb(&m_firmwareDb);
    connectControllerToModel(m_controller, m_model);
    connect(m_model, &WdxModel::notifyRequestToDownloadLatestVersion, this, &WdxManager::downloadLastVersion);

    m_screenController = new VelaScreenController(m_controller, m_model, this);
    m_speakerDb = new RVSpeakerDB(this);

    m_versionChecker = new VersionOnlineController(this);
    m_versionChecker->setUrl(versionCheckUrl());
    // Only release versions ("2.01": one digit, then a dot) look for a newer one.
    const QString version = QCoreApplication::applicationVersion();
    if (m_model->autoUpdateEnabled() && version.size() > 1 && version.at(1) == QLatin1Char('.'))
        connect(m_versionChecker, &VersionOnlineController::onlineVersionChanged, this,
                &WdxManager::onOnlineVersionChanged);

    m_stateMachine = new WdxStateMachine(m_controller, m_model, this);
    connect(m_stateMachine, &WdxStateMachine::started, m_controller, &WdxController::start);
    connect(m_stateMachine, &WdxStateMachine::stateChanged, m_model, &WdxModel::setState);
    connect(m_stateMachine, &WdxStateMachine::pollingTimeout, m_screenController,
            &VelaScreenController::pollingTimeout);
    connect(m_stateMachine, &WdxStateMachine::applicationLoaded, m_versionChecker, &VersionOnlineController::start);
    m_stateMachine->start();
}

WdxManager::~WdxManager()
{
    m_stateMachine->stop();
    // The model goes before the controller whose signals feed it; the controller joins its
    // threads as it goes.
    delete m_model;
    m_model = nullptr;
    delete m_controller;
    m_controller = nullptr;
}

void WdxManager::downloadLastVersion()
{
    const QString address = m_versionChecker->downloadUrlFor(QSysInfo::productType(), QSysInfo::kernelType());
    if (address.isEmpty())
        return;
    const QUrl url(address);
    if (urlOpener())
        urlOpener()(url);
    else
        QDesktopServices::openUrl(url);
}

void WdxManager::onOnlineVersionChanged()
{
    m_model->updateOnlineApplicationVersion(m_versionChecker->onlineVersion());
}
