#include "WdxFirmwareUpdateController.h"

#include "logger/QLoggerManager.h"
#include "protocol/WdxRequestProcessor.h"

#include <QElapsedTimer>

#include <mutex>

namespace {
const char kModule[] = "WdxFirmwareUpdateController";

std::mutex clockLock;
WdxFirmwareUpdateController::Clock clockFunction;

qint64 steadyNow()
{
    static QElapsedTimer clock;
    static std::once_flag started;
    std::call_once(started, [] { clock.start(); });
    return clock.elapsed();
}
}

const QString WdxFirmwareUpdateController::kPackagePath = QStringLiteral(":/FirmwareUpdate/WDX_firmware.rvf");

void WdxFirmwareUpdateController::setClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(clockLock);
    clockFunction = std::move(clock);
}

qint64 WdxFirmwareUpdateController::now()
{
    std::lock_guard<std::mutex> lock(clockLock);
    return clockFunction ? clockFunction() : steadyNow();
}

WdxFirmwareUpdateController::WdxFirmwareUpdateController(WdxRequestProcessor *requestProcessor, QObject *parent)
    : QObject(parent)
{
    m_workerThread.setObjectName(QStringLiteral("WdxFirmwareWorker"));
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Debug);
    m_logger->info(kModule, __func__, "Logger created");
    m_logger->trace(kModule, __func__, "Initialized");
    m_uploadStart = now();

    m_worker = new WdxFirmwareWorker(false, kPackagePath);
    m_worker->moveToThread(&m_workerThread);
    m_worker->setRequestProcessor(requestProcessor);

    connect(m_worker, &WdxFirmwareWorker::stateChanged, this, &WdxFirmwareUpdateController::onStateChanged);
    connect(m_worker, &WdxFirmwareWorker::fwFileLoaded, this, &WdxFirmwareUpdateController::onFileLoaded);
    connect(m_worker, &WdxFirmwareWorker::mainUploadStarted, this, &WdxFirmwareUpdateController::onUploadStarted);
    connect(m_worker, &WdxFirmwareWorker::dspUploadStarted, this, &WdxFirmwareUpdateController::onUploadStarted);
    connect(m_worker, &WdxFirmwareWorker::presetUploadStarted, this, &WdxFirmwareUpdateController::onUploadStarted);
    connect(m_worker, &WdxFirmwareWorker::stepDone, this, &WdxFirmwareUpdateController::onStepDone);
    connect(m_worker, &WdxFirmwareWorker::failed, this, &WdxFirmwareUpdateController::failed);
    connect(m_worker, &WdxFirmwareWorker::mainFinished, this, &WdxFirmwareUpdateController::onMainFinished);
    connect(m_worker, &WdxFirmwareWorker::dspFinished, this, &WdxFirmwareUpdateController::onDspFinished);
    connect(m_worker, &WdxFirmwareWorker::presetFinished, this, &WdxFirmwareUpdateController::onPresetFinished);

    connect(&m_workerThread, &QThread::started, m_worker, &WdxFirmwareWorker::initialize);
    connect(&m_workerThread, &QThread::started, this, [this] { m_threadStarted.store(true); }, Qt::DirectConnection);
    connect(&m_workerThread, &QThread::finished, m_worker, &QObject::deleteLater);
    if (requestProcessor)
        connect(requestProcessor, &WdxRequestProcessor::started, &m_workerThread, [this] { m_workerThread.start(); });
}

WdxFirmwareUpdateController::~WdxFirmwareUpdateController()
{
    stop();
    // A worker whose thread never ran was never handed to that thread's clean-up.
    if (m_worker && !m_threadStarted.load())
        delete m_worker;
}

void WdxFirmwareUpdateController::stop()
{
    if (!m_workerThread.isRunning())
        return;
    // A procedure may be blocked on the device: let it go before the thread is asked to end.
    if (m_worker)
        m_worker->abort();
    m_workerThread.quit();
    m_workerThread.wait();
    // The thread's end released the worker.
    m_worker = nullptr;
}

void WdxFirmwareUpdateController::reload(const QString &fileName)
{
    if (m_worker)
        m_worker->setFileName(fileName);
}

// --- Properties ------------------------------------------------------------------------------

QString WdxFirmwareUpdateController::state() const
{
    return WdxFirmwareWorker::stateName(m_worker ? m_worker->state() : WdxFirmwareWorker::Idle);
}

double WdxFirmwareUpdateController::progress() const
{
    if (m_totalSteps == 0)
        return 0.0;
    if (m_totalSteps < m_stepsDone)
        return 1.0;
    return double(m_stepsDone) / double(m_totalSteps);
}

int WdxFirmwareUpdateController::timeToEnd() const
{
    if (m_totalSteps == 0 || m_stepsDone == 0 || m_totalSteps < m_stepsDone)
        return 0;
    const qint64 elapsed = now() - m_uploadStart;
    return int(qint64(m_totalSteps - m_stepsDone) * (elapsed / m_stepsDone) / 1000);
}

QString WdxFirmwareUpdateController::mainFwVersion() const
{
    return m_worker ? m_worker->mainFwVersion() : QString();
}

QString WdxFirmwareUpdateController::dspFwVersion() const
{
    return m_worker ? m_worker->dspFwVersion() : QString();
}

QString WdxFirmwareUpdateController::presetsVersion() const
{
    return m_worker ? m_worker->presetsVersion() : QString();
}

QStringList WdxFirmwareUpdateController::mainPresetIds() const
{
    return m_worker ? m_worker->mainPresetIds() : QStringList();
}

QStringList WdxFirmwareUpdateController::subPresetIds() const
{
    return m_worker ? m_worker->subPresetIds() : QStringList();
}

QString WdxFirmwareUpdateController::mainPresetAt(int position) const
{
    const QStringList ids = mainPresetIds();
    return position >= 0 && position < ids.size() ? ids.at(position) : QString();
}

QString WdxFirmwareUpdateController::subPresetAt(int position) const
{
    const QStringList ids = subPresetIds();
    return position >= 0 && position < ids.size() ? ids.at(position) : QString();
}

void WdxFirmwareUpdateController::setDebugMessage(const QString &message)
{
    if (m_debugMessage == message)
        return;
    m_debugMessage = message;
    emit debugMessageChanged();
}

void WdxFirmwareUpdateController::setDisplayMessage(const QString &message)
{
    if (m_displayMessage == message)
        return;
    m_displayMessage = message;
    emit displayMessageChanged();
}

// --- Steps -------------------------------------------------------------------------------------

bool WdxFirmwareUpdateController::claimWorker()
{
    return m_worker && m_worker->claim();
}

int WdxFirmwareUpdateController::mainSteps() const
{
    const int blocks = m_worker ? m_worker->mainBlocks() : -1;
    return blocks < 0 ? 0 : blocks + m_worker->mainWaitMs() / m_worker->waitTickMs();
}

int WdxFirmwareUpdateController::dspSteps() const
{
    const int blocks = m_worker ? m_worker->dspBlocks() : -1;
    return blocks < 0 ? 0 : blocks + 1;
}

int WdxFirmwareUpdateController::mainPresetSteps() const
{
    const int blocks = m_worker ? m_worker->firstMainPresetBlocks() : -1;
    return blocks < 0 ? 0 : blocks + 1;
}

int WdxFirmwareUpdateController::subPresetSteps() const
{
    const int blocks = m_worker ? m_worker->firstSubPresetBlocks() : -1;
    return blocks < 0 ? 0 : blocks + 1;
}

bool WdxFirmwareUpdateController::hasMainImage()
{
    // Rebooting the device with no main image to send would leave it held in its boot loader.
    if (m_worker->mainBlocks() >= 0)
        return true;
    setDebugMessage(QStringLiteral("Firmware is not loaded yet"));
    return false;
}

void WdxFirmwareUpdateController::beginUpload(const QString &displayMessage, int totalSteps)
{
    setDisplayMessage(displayMessage);
    m_stepsDone = 0;
    m_totalSteps = totalSteps;
}

// --- Start operations --------------------------------------------------------------------------

void WdxFirmwareUpdateController::startUploadMainFirmware()
{
    if (!claimWorker()) {
        setDebugMessage(QStringLiteral("Firmware uploader is busy, state is %1").arg(state()));
        return;
    }
    if (!hasMainImage()) {
        m_worker->releaseClaim();
        return;
    }
    beginUpload(QStringLiteral("Uploading main firmware"), mainSteps());
    emit mainFwUploadStarted();
    m_worker->uploadFirmware(WdxFirmwareWorker::UploadMain, QString(), QString());
}

void WdxFirmwareUpdateController::startUploadDspFirmware()
{
    if (!claimWorker()) {
        setDebugMessage(QStringLiteral("Firmware uploader is busy, state is %1").arg(state()));
        return;
    }
    beginUpload(QStringLiteral("Uploading dsp firmware"), dspSteps());
    emit dspFwUploadStarted();
    m_worker->uploadFirmware(WdxFirmwareWorker::UploadDsp, QString(), QString());
}

void WdxFirmwareUpdateController::startUploadFirmware(const QString &requestedMainPresetId,
                                                      const QString &requestedSubPresetId)
{
    // A blank id is the model's "no loudspeaker known" (presets never read, as on a device held
    // in its boot loader): that channel keeps the preset the device holds.
    const QString mainPresetId = requestedMainPresetId.trimmed();
    const QString subPresetId = requestedSubPresetId.trimmed();
    if (!claimWorker()) {
        setDebugMessage(QStringLiteral("Firmware uploader is busy, state is %1").arg(state()));
        return;
    }
    if (!hasMainImage()) {
        m_worker->releaseClaim();
        return;
    }
    // Checked before anything is sent. Uploading main and DSP while that channel keeps its
    // preset would leave a device whose preset version still differs from the package's: every
    // connection would ask for the same update and flash main and DSP again, for ever. Refused,
    // the device stays as it is and the user learns which preset the package lacks.
    const QString missing = missingPreset(mainPresetId, subPresetId);
    if (!missing.isEmpty()) {
        m_worker->releaseClaim();
        const QString text = QStringLiteral("Preset %1 is not in this firmware package").arg(missing);
        m_logger->warning(kModule, __func__, text);
        setDisplayMessage(text);
        setDebugMessage(text);
        emit failed();
        return;
    }
    beginUpload(QStringLiteral("Uploading firmware"), mainSteps() + dspSteps() + mainPresetSteps() + subPresetSteps());
    emit mainFwUploadStarted();
    m_worker->uploadFirmware(WdxFirmwareWorker::UploadAll, mainPresetId, subPresetId);
}

QString WdxFirmwareUpdateController::missingPreset(const QString &mainPresetId, const QString &subPresetId) const
{
    if (!mainPresetId.isEmpty() && !mainPresetIds().contains(mainPresetId))
        return mainPresetId;
    if (!subPresetId.isEmpty() && !subPresetIds().contains(subPresetId))
        return subPresetId;
    return QString();
}

bool WdxFirmwareUpdateController::startUploadMainPreset()
{
    return startPreset(QString(), false);
}

bool WdxFirmwareUpdateController::startUploadMainPreset(const QString &presetId)
{
    return startPreset(presetId, false);
}

bool WdxFirmwareUpdateController::startUploadSubPreset()
{
    return startPreset(QString(), true);
}

bool WdxFirmwareUpdateController::startUploadSubPreset(const QString &presetId)
{
    return startPreset(presetId, true);
}

bool WdxFirmwareUpdateController::startPreset(const QString &presetId, bool sub)
{
    if (!claimWorker()) {
        setDebugMessage(QStringLiteral("Firmware uploader is busy"));
        return false;
    }
    const QStringList ids = sub ? subPresetIds() : mainPresetIds();
    QString id = presetId;
    if (!id.isNull() && !ids.contains(id)) {
        setDisplayMessage(QStringLiteral("Preset %1 not available").arg(id));
        id = QString();
    }
    if (id.isNull()) {
        // No id given, or not one of the package: the first preset of the kind.
        if (ids.isEmpty()) {
            setDebugMessage(QStringLiteral("Firmware file does not contains any preset"));
            m_worker->releaseClaim();
            return false;
        }
        id = ids.first();
    }

    beginUpload(sub ? QStringLiteral("Uploading preset") : QStringLiteral("Uploading main preset"),
                sub ? subPresetSteps() : mainPresetSteps());
    emit presetUploadStarted();
    if (sub)
        m_worker->uploadFirmware(WdxFirmwareWorker::UploadPreset, QString(), id);
    else
        m_worker->uploadFirmware(WdxFirmwareWorker::UploadPreset, id, QString());
    return true;
}

// --- Worker signals ----------------------------------------------------------------------------

void WdxFirmwareUpdateController::onUploadStarted()
{
    m_uploadStart = now();
    emit progressChanged();
    emit timeToEndChanged();
}

void WdxFirmwareUpdateController::onStepDone()
{
    ++m_stepsDone;
    emit progressChanged();
    emit timeToEndChanged();
    setDebugMessage(QStringLiteral("%1 block sent, %2 to send").arg(m_stepsDone).arg(m_totalSteps - m_stepsDone));
}

void WdxFirmwareUpdateController::onStateChanged(WdxFirmwareWorker::enState state)
{
    switch (state) {
    case WdxFirmwareWorker::Idle: break;
    case WdxFirmwareWorker::Reboot: setDebugMessage(QStringLiteral("Reboot")); break;
    case WdxFirmwareWorker::WaitReconnection: setDebugMessage(QStringLiteral("Wait reconnection")); break;
    case WdxFirmwareWorker::LockOnBoot: setDebugMessage(QStringLiteral("Locking on boot")); break;
    case WdxFirmwareWorker::UploadingMain: setDebugMessage(QStringLiteral("Uploading Main")); break;
    case WdxFirmwareWorker::UploadingDsp: setDebugMessage(QStringLiteral("Uploading Dsp")); break;
    case WdxFirmwareWorker::UploadingPreset: setDebugMessage(QStringLiteral("Uploading Preset")); break;
    case WdxFirmwareWorker::Failed:
        setDebugMessage(QStringLiteral("Failed, %1")
                            .arg(WdxFirmwareWorker::errorText(m_worker ? m_worker->lastErrorCode()
                                                                       : WdxFirmwareWorker::Unknown)));
        break;
    case WdxFirmwareWorker::Parsing: setDebugMessage(QStringLiteral("Parsing file")); break;
    case WdxFirmwareWorker::TimeoutOnDisconnect: setDebugMessage(QStringLiteral("Timeout on disconnection")); break;
    case WdxFirmwareWorker::TimeoutOnReconnect: setDebugMessage(QStringLiteral("Timeout on reconnection")); break;
    default: setDebugMessage(QStringLiteral("Unknown state")); break;
    }
    emit progressChanged();
    emit stateChanged();
}

void WdxFirmwareUpdateController::onFileLoaded()
{
    const int presets = mainPresetIds().size() + subPresetIds().size();
    setDebugMessage(QStringLiteral("Fw version %1 loaded, %2 presets available").arg(mainFwVersion()).arg(presets));
    emit fwLoaded();
    emit mainFwVersionChanged();
    emit dspFwVersionChanged();
}

void WdxFirmwareUpdateController::onMainFinished(int executionTime)
{
    setDebugMessage(QStringLiteral("Completed in %1 ms").arg(executionTime));
    emit mainFwUploadCompleted();
}

void WdxFirmwareUpdateController::onDspFinished(int executionTime)
{
    setDebugMessage(QStringLiteral("Completed in %1 ms").arg(executionTime));
    emit dspFwUploadCompleted();
}

void WdxFirmwareUpdateController::onPresetFinished(int executionTime)
{
    setDebugMessage(QStringLiteral("Completed in %1 ms").arg(executionTime));
    emit presetUploadCompleted();
}
