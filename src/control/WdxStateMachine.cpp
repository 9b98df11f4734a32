#include "control/WdxStateMachine.h"

#include "control/WdxController.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_SpeakerSettings.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "logger/QLoggerManager.h"
#include "models/WdxModel.h"
#include "protocol/WdxMonitor.h"
#include "protocol/WdxRequestProcessor.h"

#include <QState>
#include <QTimer>

namespace {
const char kModule[] = "WdxStateMachine";
constexpr int kMonitorEnableDelayMs = 10;
}

WdxStateMachine::WdxStateMachine(WdxController *controller, WdxModel *model, QObject *parent)
    : QStateMachine(parent), m_controller(controller), m_model(model)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->trace(kModule, __func__, "Logger created");

    connect(model, &WdxModel::nameChanged, this, &WdxStateMachine::verifyDeviceInfo);
    connect(model, &WdxModel::deviceTypeChanged, this, &WdxStateMachine::verifyDeviceInfo);
    // A changed main firmware sends a polling device back to its identity without clearing the
    // model: the name read then changes nothing, and the walk must go on all the same.
    connect(controller->deviceInfo(), &WdxController_DeviceInfo::deviceNameRead, this,
            &WdxStateMachine::verifyDeviceInfo);

    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(kPollMs);
    connect(m_pollTimer, &QTimer::timeout, this, &WdxStateMachine::pollingTimeout);
    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(kStatusMs);
    connect(m_statusTimer, &QTimer::timeout, controller->deviceInfo(), &WdxController_DeviceInfo::readDeviceStatus);
    m_waitForMainTimer = new QTimer(this);
    m_waitForMainTimer->setSingleShot(true);
    m_waitForMainTimer->setInterval(kWaitForMainMs);
    // A coarse timer may fire early by a few percent; the wait is a promise to the user.
    m_waitForMainTimer->setTimerType(Qt::PreciseTimer);
    connect(m_waitForMainTimer, &QTimer::timeout, this, &WdxStateMachine::waitForMainTimeout);
    connect(this, &QStateMachine::stopped, this, &WdxStateMachine::stopPolling);

    buildStates();
}

void WdxStateMachine::setWaitForMainInterval(int milliseconds)
{
    m_waitForMainTimer->setInterval(milliseconds);
}

void WdxStateMachine::stopPolling()
{
    m_pollTimer->stop();
    m_statusTimer->stop();
}

void WdxStateMachine::buildStates()
{
    auto *loading = new QState(this);
    auto *waitingWdx = new QState(this);
    auto *readStartupInfos = new QState(this);
    auto *checkStatus = new QState(this);
    auto *readLockStatus = new QState(this);
    auto *lockedOnBoot = new QState(this);
    auto *readCurrentPreset = new QState(this);
    auto *checkMainVersion = new QState(this);
    auto *requireMainFw = new QState(this);
    auto *uploadingMainFw = new QState(this);
    auto *checkDspVersion = new QState(this);
    auto *checkPresetVersion = new QState(this);
    auto *uploadingPreset = new QState(this);
    auto *polling = new QState(this);
    auto *pollingLocked = new QState(this);
    auto *failed = new QState(this);
    auto *fatalError = new QState(this);
    setInitialState(loading);

    using M = WdxStateMachine;
    connect(loading, &QState::exited, this, &M::onApplicationLoaded);
    connect(waitingWdx, &QState::entered, this, &M::onWaitingWdxEntered);
    connect(readStartupInfos, &QState::entered, this, &M::onReadStartupInfosEntered);
    connect(checkStatus, &QState::entered, this, &M::onCheckStatusEntered);
    connect(readLockStatus, &QState::entered, this, &M::onReadLockStatusEntered);
    connect(lockedOnBoot, &QState::entered, this, &M::onLockedOnBootEntered);
    connect(readCurrentPreset, &QState::entered, this, &M::onReadCurrentPresetEntered);
    connect(checkMainVersion, &QState::entered, this, &M::onCheckMainVersionEntered);
    connect(requireMainFw, &QState::entered, this, &M::onRequireMainFwEntered);
    connect(uploadingMainFw, &QState::entered, this, &M::onUploadingMainFwEntered);
    connect(checkDspVersion, &QState::entered, this, &M::onCheckDspVersionEntered);
    connect(checkPresetVersion, &QState::entered, this, &M::onCheckPresetVersionEntered);
    connect(uploadingPreset, &QState::entered, this, &M::onUploadingPresetEntered);
    connect(polling, &QState::entered, this, &M::onPollingEntered);
    connect(pollingLocked, &QState::entered, this, &M::onPollingEntered);
    connect(failed, &QState::entered, this, &M::onFailedEntered);
    connect(fatalError, &QState::entered, this, &M::onFatalErrorEntered);

    WdxController *c = m_controller;
    WdxModel *m = m_model;
    WdxFirmwareUpdateController *fw = c->firmwareUpdateController();
    using F = WdxFirmwareUpdateController;

    loading->addTransition(fw, &F::fwLoaded, waitingWdx);
    waitingWdx->addTransition(c, &WdxController::wdxConnected, readStartupInfos);
    readStartupInfos->addTransition(this, &M::deviceInfoRead, checkStatus);
    readStartupInfos->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    checkStatus->addTransition(m, &WdxModel::mainReached, readLockStatus);
    checkStatus->addTransition(this, &M::waitForMainTimeout, lockedOnBoot);
    checkStatus->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    readLockStatus->addTransition(m, &WdxModel::wdxUnlocked, readCurrentPreset);
    readLockStatus->addTransition(m, &WdxModel::wdxLocked, pollingLocked);
    readLockStatus->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    lockedOnBoot->addTransition(fw, &F::mainFwUploadStarted, uploadingMainFw);
    lockedOnBoot->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    readCurrentPreset->addTransition(c->speaker(), &WdxController_SpeakerSettings::speakerPresetRead, checkMainVersion);
    readCurrentPreset->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    checkMainVersion->addTransition(m, &WdxModel::mainFwChecked, checkDspVersion);
    checkMainVersion->addTransition(m, &WdxModel::mainFwMismatch, requireMainFw);
    checkMainVersion->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    requireMainFw->addTransition(fw, &F::mainFwUploadStarted, uploadingMainFw);
    requireMainFw->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    // No disconnection here: the device restarts during the upload, which decides the end.
    uploadingMainFw->addTransition(fw, &F::presetUploadCompleted, polling);
    uploadingMainFw->addTransition(fw, &F::failed, failed);
    checkDspVersion->addTransition(m, &WdxModel::dspFwChecked, checkPresetVersion);
    checkDspVersion->addTransition(m, &WdxModel::dspFwMismatch, requireMainFw);
    checkDspVersion->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    checkPresetVersion->addTransition(m, &WdxModel::presetFwChecked, polling);
    checkPresetVersion->addTransition(m, &WdxModel::presetFwMismatch, requireMainFw);
    checkPresetVersion->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    uploadingPreset->addTransition(fw, &F::presetUploadCompleted, polling);
    uploadingPreset->addTransition(fw, &F::failed, failed);
    uploadingPreset->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    polling->addTransition(m, &WdxModel::mainFwVersionChanged, readStartupInfos);
    polling->addTransition(m, &WdxModel::dspFwVersionChanged, checkDspVersion);
    polling->addTransition(fw, &F::presetUploadStarted, uploadingPreset);
    polling->addTransition(m, &WdxModel::wdxLocked, pollingLocked);
    polling->addTransition(fw, &F::failed, failed);
    polling->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    pollingLocked->addTransition(m, &WdxModel::wdxUnlocked, readCurrentPreset);
    pollingLocked->addTransition(fw, &F::failed, failed);
    pollingLocked->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    failed->addTransition(c, &WdxController::wdxConnected, fatalError);
    failed->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
    fatalError->addTransition(c, &WdxController::wdxDisconnected, waitingWdx);
}

void WdxStateMachine::setState(const QString &name)
{
    if (name == m_stateName)
        return;
    m_logger->info(kModule, __func__, QStringLiteral("Main App SM: %1 -> %2").arg(m_stateName, name));
    m_stateName = name;
    emit stateChanged(name);
}

void WdxStateMachine::verifyDeviceInfo()
{
    if (m_model->deviceType() != WdxModel::kUnknown && m_model->name() != WdxModel::kDefaultName)
        emit deviceInfoRead();
}

void WdxStateMachine::onApplicationLoaded()
{
    emit applicationLoaded();
    // Device traffic starts only once the package is there; the monitor's timers are its own
    // thread's.
    if (WdxMonitor *monitor = m_controller->processor()->monitor())
        QTimer::singleShot(kMonitorEnableDelayMs, monitor, &WdxMonitor::enable);
}

void WdxStateMachine::onWaitingWdxEntered()
{
    setState(QStringLiteral("WaitingWdx"));
    stopPolling();
    m_model->clear();
}

void WdxStateMachine::onReadStartupInfosEntered()
{
    setState(QStringLiteral("ReadStartupInfos"));
    // Coming back from polling the model still holds the run and lock status, and the walk
    // moves on only when they change: polling stops and they are read again from unknown.
    stopPolling();
    m_model->updateDeviceStatus(QString());
    m_model->updateSecurityStatus(QString());
    m_controller->deviceInfo()->readDeviceName();
    m_controller->deviceInfo()->readDeviceType();
}

void WdxStateMachine::onCheckStatusEntered()
{
    setState(QStringLiteral("CheckStatus"));
    m_statusTimer->start();
    m_waitForMainTimer->start();
}

void WdxStateMachine::onReadLockStatusEntered()
{
    setState(QStringLiteral("ReadLockStatus"));
    m_waitForMainTimer->stop();
    stopPolling();
    // The walk moves on when the lock status changes. A lock answer may have come in already
    // (a read the polling re-posted before a replug), so it is read again from unknown.
    m_model->updateSecurityStatus(QString());
    m_controller->deviceInfo()->readSecurityStatus(true);
}

void WdxStateMachine::onLockedOnBootEntered()
{
    setState(QStringLiteral("LockedOnBoot"));
    stopPolling();
}

void WdxStateMachine::onReadCurrentPresetEntered()
{
    setState(QStringLiteral("ReadCurrentPreset"));
    stopPolling();
    m_controller->speaker()->readSpeakerPreset(true);
}

void WdxStateMachine::onCheckMainVersionEntered()
{
    setState(QStringLiteral("CheckMainVersion"));
    m_controller->deviceInfo()->readMainFwVersion();
}

void WdxStateMachine::onRequireMainFwEntered()
{
    setState(QStringLiteral("RequireMainFw"));
}

void WdxStateMachine::onUploadingMainFwEntered()
{
    setState(QStringLiteral("UploadingMainFw"));
}

void WdxStateMachine::onCheckDspVersionEntered()
{
    setState(QStringLiteral("CheckDspVersion"));
    stopPolling();
    m_controller->deviceInfo()->readDspFwVersion();
}

void WdxStateMachine::onCheckPresetVersionEntered()
{
    setState(QStringLiteral("CheckPresetVersion"));
    stopPolling();
    m_controller->deviceInfo()->readPresetFwVersion();
}

void WdxStateMachine::onUploadingPresetEntered()
{
    setState(QStringLiteral("UploadingPreset"));
    stopPolling();
}

void WdxStateMachine::onPollingEntered()
{
    setState(QStringLiteral("Polling"));
    m_pollTimer->start();
}

void WdxStateMachine::onFailedEntered()
{
    setState(QStringLiteral("Failed"));
    m_pollTimer->stop();
    m_controller->verifyWdxConnection();
}

void WdxStateMachine::onFatalErrorEntered()
{
    setState(QStringLiteral("FatalError"));
    stopPolling();
    m_waitForMainTimer->stop();
}
