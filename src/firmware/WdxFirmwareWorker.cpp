#include "WdxFirmwareWorker.h"

#include "firmware/WdxFirmwarePackage.h"
#include "logger/QLoggerManager.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

#include <QFile>
#include <QState>
#include <QStateMachine>
#include <QTimer>

#include <memory>

namespace {
const char kModule[] = "WdxFirmwareWorker";

namespace Builder = WdxRequestBuilder;
namespace Pkg = WdxFirmwarePackage;

constexpr quint8 kStateNone = 0;
constexpr quint8 kOpenImage = 1;
constexpr quint8 kOpenMainPreset = 2;
constexpr quint8 kOpenSubPreset = 3;
constexpr quint8 kDeviceFirmwareOp = 0x02;
constexpr int kAttempts = 3;
}

QString WdxFirmwareWorker::stateName(int state)
{
    switch (state) {
    case Idle: return QStringLiteral("Idle");
    case Reboot: return QStringLiteral("Reboot");
    case WaitReconnection: return QStringLiteral("WaitReconnection");
    case LockOnBoot: return QStringLiteral("LockOnBoot");
    case UploadingMain: return QStringLiteral("UploadingMain");
    case UploadingDsp: return QStringLiteral("UploadingDsp");
    case UploadingPreset: return QStringLiteral("UploadingPreset");
    case Failed: return QStringLiteral("Failed");
    case Parsing: return QStringLiteral("Parsing");
    case TimeoutOnDisconnect: return QStringLiteral("TimeoutOnDisconnect");
    case TimeoutOnReconnect: return QStringLiteral("TimeoutOnReconnect");
    default: return QStringLiteral("Unknown");
    }
}

QString WdxFirmwareWorker::errorText(int errorCode)
{
    switch (errorCode) {
    case Ok: return QStringLiteral("Ok");
    case BadCRC: return QStringLiteral("Bad CRC");
    case CommunicationError: return QStringLiteral("Communication Error");
    case BadReply: return QStringLiteral("Bad Reply");
    case BadFile: return QStringLiteral("Bad File");
    case FileNotFound: return QStringLiteral("File Not Found");
    case Interrupted: return QStringLiteral("Interrupted");
    case Timeout: return QStringLiteral("Timeout");
    case BadState: return QStringLiteral("Bad State");
    default: return QStringLiteral("Unknown");
    }
}

WdxFirmwareWorker::WdxFirmwareWorker(bool verifySentBlocks, const QString &fileName, QObject *parent)
    : QObject(parent), m_fileName(fileName), m_verifySentBlocks(verifySentBlocks)
{
    qRegisterMetaType<WdxFirmwareWorker::enState>("WdxFirmwareWorker::enState");
    qRegisterMetaType<WdxFirmwareWorker::enFwUploadType>("WdxFirmwareWorker::enFwUploadType");
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Debug);
    m_logger->trace(kModule, __func__, "Logger created");
    m_stepTimer.start();
}

WdxFirmwareWorker::~WdxFirmwareWorker()
{
    // Fields the controller's thread wrote under the lock are released under it too.
    std::lock_guard<std::mutex> lock(m_dataMutex);
    m_mainPresetIds.clear();
    m_subPresetIds.clear();
    m_fileName.clear();
    m_mainPresetId.clear();
    m_subPresetId.clear();
}

void WdxFirmwareWorker::setRequestProcessor(WdxRequestProcessor *processor)
{
    m_requestProcessor = processor;
}

QString WdxFirmwareWorker::fileName() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_fileName;
}

void WdxFirmwareWorker::setFileName(const QString &fileName)
{
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        if (m_fileName == fileName)
            return;
        m_fileName = fileName;
    }
    emit fwFileChanged();
}

// --- Package accessors -----------------------------------------------------------------------

WdxFirmware *WdxFirmwareWorker::mainFw() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_mainFw;
}

WdxFirmware *WdxFirmwareWorker::dspFw() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_dspFw;
}

QMap<QString, WdxFirmware *> WdxFirmwareWorker::mainPresets() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_mainPresets;
}

QMap<QString, WdxFirmware *> WdxFirmwareWorker::subPresets() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_subPresets;
}

QStringList WdxFirmwareWorker::mainPresetIds()
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    if (m_mainPresetIds.isEmpty())
        m_mainPresetIds = m_mainPresets.keys();
    return m_mainPresetIds;
}

QStringList WdxFirmwareWorker::subPresetIds()
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    if (m_subPresetIds.isEmpty())
        m_subPresetIds = m_subPresets.keys();
    return m_subPresetIds;
}

QString WdxFirmwareWorker::mainFwVersion() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_mainFw ? m_mainFw->versionText() : QString();
}

QString WdxFirmwareWorker::dspFwVersion() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_dspFw ? m_dspFw->versionText() : QString();
}

QString WdxFirmwareWorker::presetsVersion() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    if (m_mainPresets.isEmpty())
        return QString();
    const QString main = m_mainPresets.first()->versionText();
    // The device always reports both halves. A package without a sub preset cannot change the
    // sub half, so it is not asked to differ from the main half: requiring anything else would
    // make the application ask for an update that the package cannot perform.
    const QString sub = m_subPresets.isEmpty() ? main : m_subPresets.first()->versionText();
    return QStringLiteral("%1/%2").arg(main, sub);
}

int WdxFirmwareWorker::mainBlocks() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_mainFw ? int(m_mainFw->totalBlocks()) : -1;
}

int WdxFirmwareWorker::dspBlocks() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_dspFw ? int(m_dspFw->totalBlocks()) : -1;
}

int WdxFirmwareWorker::firstMainPresetBlocks() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_mainPresets.isEmpty() ? -1 : int(m_mainPresets.first()->totalBlocks());
}

int WdxFirmwareWorker::firstSubPresetBlocks() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_subPresets.isEmpty() ? -1 : int(m_subPresets.first()->totalBlocks());
}

void WdxFirmwareWorker::abort()
{
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_aborted.store(true);
    }
    m_waitCondition.notify_all();
}

bool WdxFirmwareWorker::claim()
{
    // State first: the claim is dropped before Idle is stored, so a claim taken once Idle was
    // read cannot be undone by the end of the previous upload.
    if (state() != Idle)
        return false;
    bool expected = false;
    return m_claimed.compare_exchange_strong(expected, true);
}

WdxFirmwareWorker::enFwUploadType WdxFirmwareWorker::uploadType() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_fwUploadType;
}

bool WdxFirmwareWorker::tracing() const
{
    return QLogger::QLoggerManager::outputMode() != QLogger::LogOff
        && QLogger::QLoggerManager::defaultLevel() <= QLogger::Trace
        && QLogger::QLoggerManager::moduleWriter(QString::fromLatin1(kModule))->level() <= QLogger::Trace;
}

// --- State machine ----------------------------------------------------------------------------

void WdxFirmwareWorker::initialize()
{
    if (m_stateMachine)
        return;

    // Precise: a coarse timer may fire up to 5 % early and cut the device's allowance short.
    m_reconnectionTimer = new QTimer(this);
    m_reconnectionTimer->setSingleShot(true);
    m_reconnectionTimer->setTimerType(Qt::PreciseTimer);
    m_disconnectionTimer = new QTimer(this);
    m_disconnectionTimer->setSingleShot(true);
    m_disconnectionTimer->setTimerType(Qt::PreciseTimer);

    m_stateMachine = new QStateMachine(this);
    auto *idle = new QState(m_stateMachine);
    auto *load = new QState(m_stateMachine);
    auto *reboot = new QState(m_stateMachine);
    auto *waitReconnection = new QState(m_stateMachine);
    auto *lockOnBoot = new QState(m_stateMachine);
    auto *uploadMain = new QState(m_stateMachine);
    auto *uploadDsp = new QState(m_stateMachine);
    auto *uploadPreset = new QState(m_stateMachine);
    auto *failedState = new QState(m_stateMachine);
    auto *timeoutOnDisconnect = new QState(m_stateMachine);
    auto *timeoutOnReconnect = new QState(m_stateMachine);

    idle->addTransition(this, &WdxFirmwareWorker::fwFileChanged, load);
    idle->addTransition(this, &WdxFirmwareWorker::requestToUploadMain, reboot);
    idle->addTransition(this, &WdxFirmwareWorker::requestToUploadDsp, uploadDsp);
    idle->addTransition(this, &WdxFirmwareWorker::requestToUploadPreset, uploadPreset);
    load->addTransition(this, &WdxFirmwareWorker::fwFileLoaded, idle);
    load->addTransition(this, &WdxFirmwareWorker::failed, failedState);
    if (m_requestProcessor) {
        reboot->addTransition(m_requestProcessor, &WdxRequestProcessor::wdxDisconnected, waitReconnection);
        waitReconnection->addTransition(m_requestProcessor, &WdxRequestProcessor::wdxConnected, lockOnBoot);
    }
    reboot->addTransition(m_disconnectionTimer, &QTimer::timeout, timeoutOnDisconnect);
    waitReconnection->addTransition(m_reconnectionTimer, &QTimer::timeout, timeoutOnReconnect);
    lockOnBoot->addTransition(this, &WdxFirmwareWorker::deviceLockedOnBoot, uploadMain);
    lockOnBoot->addTransition(this, &WdxFirmwareWorker::failed, failedState);
    uploadMain->addTransition(this, &WdxFirmwareWorker::requestToUploadDsp, uploadDsp);
    uploadMain->addTransition(this, &WdxFirmwareWorker::fwUploadFinished, idle);
    uploadMain->addTransition(this, &WdxFirmwareWorker::failed, failedState);
    uploadDsp->addTransition(this, &WdxFirmwareWorker::requestToUploadPreset, uploadPreset);
    uploadDsp->addTransition(this, &WdxFirmwareWorker::fwUploadFinished, idle);
    uploadDsp->addTransition(this, &WdxFirmwareWorker::failed, failedState);
    uploadPreset->addTransition(this, &WdxFirmwareWorker::fwUploadFinished, idle);
    uploadPreset->addTransition(this, &WdxFirmwareWorker::failed, failedState);
    failedState->addTransition(failedState, &QState::entered, idle);
    timeoutOnDisconnect->addTransition(timeoutOnDisconnect, &QState::entered, idle);
    timeoutOnReconnect->addTransition(timeoutOnReconnect, &QState::entered, idle);

    connect(idle, &QState::entered, this, &WdxFirmwareWorker::onIdleEntered);
    connect(load, &QState::entered, this, &WdxFirmwareWorker::onLoadEntered);
    connect(reboot, &QState::entered, this, &WdxFirmwareWorker::onRebootEntered);
    connect(waitReconnection, &QState::entered, this, &WdxFirmwareWorker::onWaitReconnectionEntered);
    connect(lockOnBoot, &QState::entered, this, &WdxFirmwareWorker::onLockOnBootEntered);
    connect(uploadMain, &QState::entered, this, &WdxFirmwareWorker::onUploadMainEntered);
    connect(uploadDsp, &QState::entered, this, &WdxFirmwareWorker::onUploadDspEntered);
    connect(uploadPreset, &QState::entered, this, &WdxFirmwareWorker::onUploadPresetEntered);
    connect(failedState, &QState::entered, this, &WdxFirmwareWorker::onFailedEntered);
    connect(timeoutOnDisconnect, &QState::entered, this, &WdxFirmwareWorker::onTimeoutOnRebootDisconnection);
    connect(timeoutOnReconnect, &QState::entered, this, &WdxFirmwareWorker::onTimeoutOnRebootReconnection);

    // The package is loaded as soon as the thread runs.
    m_stateMachine->setInitialState(load);
    m_stateMachine->start();
}

void WdxFirmwareWorker::updateState(enState state)
{
    const enState old = enState(m_state.load());
    if (state == old)
        return;
    m_logger->info(kModule, __func__, QStringLiteral("Firmware SM: %1 -> %2").arg(stateName(old), stateName(state)));
    m_state.store(state);
    emit stateChanged(state);
}

void WdxFirmwareWorker::uploadFirmware(enFwUploadType fwUploadType, const QString &mainPresetId,
                                       const QString &subPresetId)
{
    {
        // An empty id means that channel keeps its preset; an id left from an earlier upload
        // must not stand in for it.
        std::lock_guard<std::mutex> lock(m_dataMutex);
        m_mainPresetId = mainPresetId;
        m_subPresetId = subPresetId;
        m_fwUploadType = fwUploadType;
    }
    if (fwUploadType == UploadMain || fwUploadType == UploadAll)
        emit requestToUploadMain();
    else if (fwUploadType == UploadDsp)
        emit requestToUploadDsp();
    else
        emit requestToUploadPreset();
}

void WdxFirmwareWorker::onIdleEntered()
{
    // Every upload ends here, well or not, and leaves nothing for the next one: a full update
    // that failed before its presets would otherwise install them with a later preset change.
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        m_mainPresetId.clear();
        m_subPresetId.clear();
        m_fwUploadType = UploadNone;
    }
    // Also after the package load: a request sent before the machine ran was never taken.
    m_claimed.store(false);
    updateState(Idle);
}

void WdxFirmwareWorker::onLoadEntered()
{
    updateState(Parsing);
    const enErrCode code = loadFile();
    setLastErrorCode(code);
    if (code != Ok)
        emit failed();
}

void WdxFirmwareWorker::onRebootEntered()
{
    updateState(Reboot);
    QTimer::singleShot(kRebootDelayMs, Qt::PreciseTimer, this, &WdxFirmwareWorker::reboot);
    m_disconnectionTimer->start(kDisconnectionTimeoutMs);
}

void WdxFirmwareWorker::onWaitReconnectionEntered()
{
    updateState(WaitReconnection);
    m_reconnectionTimer->start(kReconnectionTimeoutMs);
}

void WdxFirmwareWorker::onLockOnBootEntered()
{
    updateState(LockOnBoot);
    const enErrCode code = stopMainLoad();
    setLastErrorCode(code);
    if (code != Ok)
        emit failed();
    else
        emit deviceLockedOnBoot();
}

void WdxFirmwareWorker::onUploadMainEntered()
{
    updateState(UploadingMain);
    emit mainUploadStarted();
    m_stepTimer.restart();
    const enErrCode code = uploadMainFirmware();
    setLastErrorCode(code);
    if (code != Ok)
        emit failed();
    else
        emit mainFinished(int(m_stepTimer.elapsed()));
    if (uploadType() == UploadAll)
        emit requestToUploadDsp();
    else
        emit fwUploadFinished();
}

void WdxFirmwareWorker::onUploadDspEntered()
{
    updateState(UploadingDsp);
    emit dspUploadStarted();
    m_stepTimer.restart();
    const enErrCode code = uploadDspFirmware();
    setLastErrorCode(code);
    if (code != Ok)
        emit failed();
    else
        emit dspFinished(int(m_stepTimer.elapsed()));
    if (uploadType() == UploadAll)
        emit requestToUploadPreset();
    else
        emit fwUploadFinished();
}

void WdxFirmwareWorker::onUploadPresetEntered()
{
    updateState(UploadingPreset);
    QString mainId, subId;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        mainId = m_mainPresetId;
        subId = m_subPresetId;
    }
    if (mainId.isEmpty() && subId.isEmpty()) {
        emit presetFinished(0);
        emit fwUploadFinished();
        return;
    }

    emit presetUploadStarted();
    m_stepTimer.restart();
    if (!mainId.isEmpty()) {
        const enErrCode code = uploadMainPreset(mainId);
        setLastErrorCode(code);
        if (code != Ok) {
            emit failed();
            return;
        }
    }
    if (!subId.isEmpty()) {
        const enErrCode code = uploadSubPreset(subId);
        setLastErrorCode(code);
        if (code != Ok) {
            emit failed();
            return;
        }
    }
    emit presetFinished(int(m_stepTimer.elapsed()));
    emit fwUploadFinished();
}

void WdxFirmwareWorker::onFailedEntered()
{
    updateState(Failed);
}

void WdxFirmwareWorker::onTimeoutOnRebootDisconnection()
{
    updateState(TimeoutOnDisconnect);
    setLastErrorCode(Timeout);
    emit failed();
}

void WdxFirmwareWorker::onTimeoutOnRebootReconnection()
{
    updateState(TimeoutOnReconnect);
    setLastErrorCode(Timeout);
    emit failed();
}

// --- Package loading --------------------------------------------------------------------------

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::loadFile()
{
    return loadFile(fileName());
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::loadFile(const QString &fileName)
{
    const char *function = "loadFile";
    m_logger->trace(kModule, function, "Opening file");
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_logger->error(kModule, function, QStringLiteral("Error parsing file, %1").arg(errorText(FileNotFound)));
        return FileNotFound;
    }
    m_logger->trace(kModule, function, "File opened, create byte array");
    const QByteArray bytes = file.readAll();
    m_logger->trace(kModule, function, "Create rawdata");
    const QRawData data(bytes);
    m_logger->trace(kModule, function, QStringLiteral("File read, file size %1").arg(data.byteLen()));
    return loadData(data);
}

void WdxFirmwareWorker::discardPackage()
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    if (m_mainFw)
        m_mainFw->deleteLater();
    if (m_dspFw)
        m_dspFw->deleteLater();
    for (WdxFirmware *fw : qAsConst(m_mainPresets))
        fw->deleteLater();
    for (WdxFirmware *fw : qAsConst(m_subPresets))
        fw->deleteLater();
    m_mainPresets.clear();
    m_subPresets.clear();
    m_mainPresetIds.clear();
    m_subPresetIds.clear();
    m_mainFw = nullptr;
    m_dspFw = nullptr;
    m_mainWaitMs.store(0);
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::loadData(const QRawData &bytes)
{
    const char *function = "loadFile";
    const QString badFile = QStringLiteral("Error parsing file, %1").arg(errorText(BadFile));
    const int size = bytes.byteLen();
    if (size < Pkg::kSectionOverhead) {
        m_logger->error(kModule, function, badFile);
        return BadFile;
    }

    discardPackage();

    qint64 pos = 0;
    while (pos < size) {
        const qint64 n = Pkg::sectionDataSize(bytes, int(pos));
        m_logger->trace(kModule, function, QStringLiteral("Fw size: %1, fw data size: %2").arg(n).arg(size - 8));
        // A package refused part-way leaves nothing behind: half a package must not be uploadable.
        if (!Pkg::sectionFits(n, size, pos)) {
            m_logger->error(kModule, function, badFile);
            discardPackage();
            return BadFile;
        }

        auto *fw = new WdxFirmware(this);
        if (!fw->load(bytes, int(pos))) {
            fw->deleteLater();
            m_logger->error(kModule, function, badFile);
            discardPackage();
            return BadFile;
        }
        // A damaged section must never reach the device: the whole package is refused.
        if (!fw->crcMatches()) {
            fw->deleteLater();
            m_logger->error(kModule, function, QStringLiteral("Error parsing file, %1").arg(errorText(BadCRC)));
            discardPackage();
            return BadCRC;
        }

        QString presetId, presetKind;
        switch (Pkg::sectionUse(*fw, &presetId, &presetKind)) {
        case Pkg::enSectionUse_Main: {
            std::lock_guard<std::mutex> lock(m_dataMutex);
            m_mainFw = fw;
            m_mainWaitMs.store(int(fw->totalBlocks() / 6) * 1000);
            break;
        }
        case Pkg::enSectionUse_Cabinet:
            break;
        case Pkg::enSectionUse_Dsp: {
            std::lock_guard<std::mutex> lock(m_dataMutex);
            m_dspFw = fw;
            break;
        }
        case Pkg::enSectionUse_MainPreset:
        case Pkg::enSectionUse_SubPreset: {
            m_logger->trace(kModule, function, QStringLiteral("Adding %1 preset %2").arg(presetKind, presetId));
            std::lock_guard<std::mutex> lock(m_dataMutex);
            if (presetKind == Pkg::kKindMainSpeaker) {
                m_mainPresets.insert(presetId, fw);
                m_mainPresetIds.clear();
            } else {
                m_subPresets.insert(presetId, fw);
                m_subPresetIds.clear();
            }
            break;
        }
        case Pkg::enSectionUse_UnknownPresetKind:
            m_logger->trace(kModule, function, QStringLiteral("Adding %1 preset %2").arg(presetKind, presetId));
            m_logger->warning(kModule, function,
                              QStringLiteral("Unknown preset kind [%1] for preset %2").arg(presetKind, presetId));
            fw->deleteLater();
            break;
        case Pkg::enSectionUse_BadPresetVersion:
            m_logger->warning(kModule, function,
                              QStringLiteral("Bad fw version for %1 preset %2").arg(presetKind, presetId));
            fw->deleteLater();
            break;
        case Pkg::enSectionUse_Unmanaged:
            m_logger->warning(kModule, function, QStringLiteral("Unmanaged fw slot, target is [%1]").arg(fw->target()));
            fw->deleteLater();
            break;
        }
        pos += n + Pkg::kSectionOverhead;
    }

    bool complete;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        complete = m_mainFw && m_dspFw;
    }
    if (!complete) {
        m_logger->error(kModule, function, badFile);
        discardPackage();
        return BadFile;
    }
    m_logger->debug(kModule, function, QStringLiteral("File parsed, main version %1").arg(mainFwVersion()));
    emit fwFileLoaded();
    return Ok;
}

// --- Requests ----------------------------------------------------------------------------------

bool WdxFirmwareWorker::submit(WdxRequest *request, Submission kind)
{
    WdxRequestProcessor *processor = m_requestProcessor;
    if (!processor || m_aborted.load())
        return false;
    if (kind == Submission::Execute)
        return processor->executeRequest(request);

    // Post and wait: woken by the request's completion (on the processor's thread) or by abort().
    auto done = std::make_shared<bool>(false);
    connect(
        request, &WdxRequest::completed, this,
        [this, done] {
            {
                std::lock_guard<std::mutex> lock(m_waitMutex);
                *done = true;
            }
            m_waitCondition.notify_all();
        },
        Qt::DirectConnection);
    if (!processor->postRequest(request, kTransferPriority) || request->status() == WdxRequest::Merged)
        return false;
    std::unique_lock<std::mutex> lock(m_waitMutex);
    m_waitCondition.wait(lock, [this, &done] { return *done || m_aborted.load(); });
    return *done;
}

void WdxFirmwareWorker::release(WdxRequest *request)
{
    const WdxRequest::RequestStatus status = request->status();
    if (WdxRequest::isFinal(status) || status == WdxRequest::Idle || status == WdxRequest::Merged) {
        request->deleteLater();
        return;
    }
    // Abandoned while the processor may still hold it (abort): it goes when it finishes.
    disconnect(request, nullptr, this, nullptr);
    connect(request, &WdxRequest::completed, request, &QObject::deleteLater);
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::outcome(WdxRequest *request, bool submitted, const char *function,
                                                        const QString &errorBitText)
{
    if (!submitted) {
        m_logger->error(kModule, function, QStringLiteral("Error posting request, %1").arg(errorText(CommunicationError)));
        return CommunicationError;
    }
    switch (request->status()) {
    case WdxRequest::Completed:
        break;
    case WdxRequest::Timeout:
        m_logger->trace(kModule, function, "TIMEOUT");
        return Timeout;
    case WdxRequest::ErrorWriting:
        m_logger->trace(kModule, function, "Error writing");
        return CommunicationError;
    case WdxRequest::NotSent:
        m_logger->trace(kModule, function, "Not Sent");
        return CommunicationError;
    default:
        // The link failed while the request was in flight: no answer to trust.
        m_logger->trace(kModule, function, "Communication error");
        return CommunicationError;
    }
    if (request->noReply())
        return Ok;
    const WdxMessageGeneric reply = request->replyMessage();
    if (reply.hasError()) {
        m_logger->error(kModule, function, errorBitText.arg(request->replyFrame().toHex()));
        return BadReply;
    }
    if (!reply.isValid())
        m_logger->error(kModule, function, "Bad checksum");
    return Ok;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::readFirmwareState(enFwTarget target, quint8 *state)
{
    const char *function = "readFirmwareState";
    auto *request = new WdxRequest(target == TargetMain ? Builder::readMainStatusMessage()
                                                        : Builder::readDspStatusMessage());
    request->setMaxRetry(3);
    const bool submitted = submit(request, Submission::PostAndWait);
    enErrCode code = outcome(request, submitted, function,
                             QStringLiteral("Error reading firmware state, bad reply received: %1"));
    if (code == Ok) {
        const QRawData data = request->replyMessage().data();
        if (data.byteLen() >= 2) {
            *state = data.at(1);
            m_logger->trace(kModule, function, QStringLiteral("Firmware state is %1").arg(*state));
        } else {
            m_logger->error(kModule, function, QStringLiteral("Bad reply, data is too short (%1 bytes").arg(data.byteLen()));
            code = BadReply;
        }
    }
    release(request);
    return code;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::setFirmwareState(enFwTarget target, quint8 state, quint16 size,
                                                                 const QRawData &checksum)
{
    const char *function = "setFirmwareState";
    auto *request = new WdxRequest(target == TargetMain ? Builder::writeMainStatusMessage(state, size, checksum)
                                                        : Builder::writeDspStatusMessage(state, size, checksum));
    request->setMaxRetry(3);
    const bool submitted = submit(request, Submission::Execute);
    const enErrCode code = outcome(request, submitted, function,
                                   QStringLiteral("Error sending set firmware state, bad reply received: %1"));
    if (code == Ok)
        m_logger->trace(kModule, function, "Firmware state set");
    release(request);
    return code;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::setFirmwareStateNoReply(enFwTarget target, quint8 state,
                                                                        quint16 size, const QRawData &checksum)
{
    const char *function = "setFirmwareState";
    auto *request = new WdxRequest(target == TargetMain ? Builder::writeMainStatusMessage(state, size, checksum)
                                                        : Builder::writeDspStatusMessage(state, size, checksum));
    request->setNoReply(true);
    const bool submitted = submit(request, Submission::Execute);
    // No answer to check; a closing request that never left (device gone) is still a failure.
    const enErrCode code = outcome(request, submitted, function, QString());
    release(request);
    return code;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::getBlock(enFwTarget target, quint32 blockId, QRawData *data)
{
    const char *function = "getBlock";
    const QString badReply = QStringLiteral("Error getting block, bad reply received: %1");
    auto *request = new WdxRequest(target == TargetMain ? Builder::readMainBlockMessage(quint8(blockId))
                                                        : Builder::readDspBlockMessage(quint8(blockId)));
    request->setMaxRetry(5);
    const bool submitted = submit(request, Submission::PostAndWait);
    enErrCode code = outcome(request, submitted, function, badReply);
    if (code == Ok) {
        const WdxMessageGeneric reply = request->replyMessage();
        if (reply.operationCode() != kDeviceFirmwareOp || reply.data().byteLen() <= 2) {
            m_logger->error(kModule, function, badReply.arg(request->replyFrame().toHex()));
            code = BadReply;
        } else {
            *data = reply.data().GetRange(2);
            if (tracing())
                m_logger->trace(kModule, function, QStringLiteral("Block received: %1").arg(reply.data().toHex()));
        }
    }
    release(request);
    return code;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::sendBlock(enFwTarget target, quint32 blockId, const QRawData &data)
{
    const char *function = "sendBlock";
    m_logger->trace(kModule, function, "Creating request");
    auto *request = new WdxRequest;
    m_logger->trace(kModule, function, "Copying block message");
    request->setRequestMessage(target == TargetMain ? Builder::writeMainBlockMessage(quint8(blockId), data)
                                                    : Builder::writeDspBlockMessage(quint8(blockId), data));
    m_logger->debug(kModule, function, "posting sendBlock request");
    const bool submitted = submit(request, Submission::Execute);
    const enErrCode code = outcome(request, submitted, function,
                                   QStringLiteral("Error sending block, bad reply received: %1"));
    if (code == Ok && tracing())
        m_logger->trace(kModule, function, QStringLiteral("Block sent: %1").arg(request->replyMessage().data().toHex()));
    release(request);
    return code;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::readInfoStatus()
{
    const char *function = "readInfoStatus";
    auto *request = new WdxRequest(Builder::readDeviceInfoMessage(Builder::enDeviceInfo_DeviceStatus));
    const bool submitted = submit(request, Submission::Execute);
    const enErrCode code = outcome(request, submitted, function,
                                   QStringLiteral("Error reading device status, bad reply received: %1"));
    if (code == Ok) {
        const QRawData data = request->replyMessage().data();
        m_logger->trace(kModule, function,
                        QStringLiteral("Status is %1").arg(data.byteLen() > 1 ? data.toText(1) : QString()));
    }
    release(request);
    return code;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::stopMainLoad()
{
    auto *request = new WdxRequest(Builder::readNullMessage());
    request->setMaxRetry(3);
    const bool submitted = submit(request, Submission::Execute);
    enErrCode code = Ok;
    if (!submitted || request->status() != WdxRequest::Completed) {
        m_logger->error(kModule, __func__, QStringLiteral("Error posting request, %1").arg(errorText(CommunicationError)));
        code = CommunicationError;
    }
    release(request);
    return code;
}

void WdxFirmwareWorker::reboot()
{
    auto *request = new WdxRequest(Builder::writeNullMessage());
    request->setNoReply(true);
    connect(request, &WdxRequest::completed, request, &QObject::deleteLater);
    WdxRequestProcessor *processor = m_requestProcessor;
    if (!processor || !processor->postRequest(request, kTransferPriority)
        || request->status() == WdxRequest::Merged) {
        m_logger->error(kModule, __func__, QStringLiteral("Error posting request, %1").arg(errorText(CommunicationError)));
        setLastErrorCode(CommunicationError);
        request->deleteLater();
        emit failed();
    }
}

// --- Upload procedures ---------------------------------------------------------------------------

bool WdxFirmwareWorker::sleepTick()
{
    std::unique_lock<std::mutex> lock(m_waitMutex);
    return !m_waitCondition.wait_for(lock, std::chrono::milliseconds(m_waitTickMs.load()),
                                     [this] { return m_aborted.load(); });
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadFirmwareSlot(enFwTarget target, WdxFirmware *firmware)
{
    const char *function = "updateFirmwareSlot";
    if (!firmware) {
        m_logger->error(kModule, function, "Error parsing blocks");
        return BadFile;
    }
    if (!firmware->allBlocksParsed()) {
        firmware->parseAllBlocks();
        if (!firmware->allBlocksParsed()) {
            m_logger->error(kModule, function, "Error parsing blocks");
            return BadFile;
        }
    }

    const QMap<quint32, QRawData> blocks = firmware->blocks();
    for (auto it = blocks.constBegin(); it != blocks.constEnd(); ++it) {
        const quint32 id = it.key();
        m_logger->debug(kModule, function, QStringLiteral("Sending block #%1").arg(id));
        enErrCode code = Unknown;
        for (int attempt = 0; attempt < kAttempts && code != Ok; ++attempt)
            code = sendBlock(target, id, it.value());
        if (code != Ok) {
            m_logger->error(kModule, function, QStringLiteral("Error uploading firmware, %1").arg(errorText(code)));
            return code;
        }

        if (m_verifySentBlocks) {
            m_logger->debug(kModule, function, QStringLiteral("Block #%1 sent, check it").arg(id));
            QRawData readBack;
            code = Unknown;
            for (int attempt = 0; attempt < kAttempts && code != Ok; ++attempt)
                code = getBlock(target, id, &readBack);
            if (code != Ok) {
                m_logger->error(kModule, function, QStringLiteral("Error uploading firmware, %1").arg(errorText(code)));
                return code;
            }
            if (readBack != it.value()) {
                m_logger->error(kModule, function, "Error uploading firmware, mismatch on sent block");
                return CommunicationError;
            }
        }
        m_logger->debug(kModule, function,
                        QStringLiteral("Block #%1 of #%2 for %3 sent").arg(id).arg(firmware->totalBlocks()).arg(firmware->target()));
        emit stepDone();
    }
    return Ok;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::pollStatusAfterClose(const char *function)
{
    QElapsedTimer polling;
    polling.start();
    enErrCode code = readInfoStatus();
    while (code != Ok) {
        if (polling.elapsed() >= m_statusPollLimitMs.load()) {
            m_logger->error(kModule, function,
                            QStringLiteral("No device status within %1 ms, %2").arg(m_statusPollLimitMs.load()).arg(errorText(Timeout)));
            return Timeout;
        }
        m_logger->debug(kModule, function, "Waiting...");
        if (!sleepTick())
            return Interrupted;
        code = readInfoStatus();
    }
    emit stepDone();
    return Ok;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadImage(const char *function, enFwTarget target,
                                                            WdxFirmware *firmware)
{
    if (!firmware) {
        m_logger->error(kModule, function, "Firmware is not loaded yet");
        emit failed();
        return Unknown;
    }

    m_logger->debug(kModule, function, "Reading firmware state");
    quint8 state = kStateNone;
    enErrCode code = readFirmwareState(target, &state);
    if (code != Ok) {
        m_logger->error(kModule, function, QStringLiteral("Error reading firmware's state, %1").arg(errorText(code)));
        return code;
    }
    if (state != kStateNone) {
        m_logger->error(kModule, function, "Firmware is already downloading, stop new download");
        return BadState;
    }

    m_logger->debug(kModule, function, QStringLiteral("Firmware state is %1, setting it to %2").arg(state).arg(kOpenImage));
    code = setFirmwareState(target, kOpenImage, quint16(firmware->payloadSize()), firmware->imageChecksum());
    if (code != Ok) {
        m_logger->error(kModule, function, QStringLiteral("Error setting firmware's state, %1").arg(errorText(code)));
        return code;
    }

    m_logger->debug(kModule, function, "Sending main blocks");
    code = uploadFirmwareSlot(target, firmware);
    if (code != Ok) {
        m_logger->error(kModule, function, QStringLiteral("Error sending main firmware, %1").arg(errorText(code)));
        return code;
    }

    m_logger->debug(kModule, function, QStringLiteral("Setting firmware state to %1").arg(Builder::kCloseImageState));
    const enErrCode closed = setFirmwareStateNoReply(target, Builder::kCloseImageState,
                                                     quint16(firmware->payloadSize()), firmware->imageChecksum());
    // The device gets its time even when the closing request failed: it may have arrived, and the
    // next attempt must not find the device still busy with this image.
    if (target == TargetMain) {
        const int ticks = m_mainWaitMs.load() / m_waitTickMs.load();
        for (int i = 0; i < ticks; ++i) {
            m_logger->debug(kModule, function, "Waiting...");
            if (!sleepTick())
                return Interrupted;
            emit stepDone();
        }
        return closed;
    }
    const enErrCode polled = pollStatusAfterClose(function);
    return closed != Ok ? closed : polled;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadMainFirmware()
{
    return uploadImage("uploadMainFirmware", TargetMain, mainFw());
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadDspFirmware()
{
    return uploadImage("uploadDspFirmware", TargetDsp, dspFw());
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadPreset(const char *function, const QString &presetId, bool sub)
{
    WdxFirmware *firmware;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        firmware = (sub ? m_subPresets : m_mainPresets).value(presetId);
    }
    if (!firmware) {
        m_logger->error(kModule, function, QStringLiteral("No preset fw for %1").arg(presetId));
        emit failed();
        return BadFile;
    }

    quint8 state = kStateNone;
    enErrCode code = readFirmwareState(TargetDsp, &state);
    if (code != Ok) {
        m_logger->error(kModule, function, QStringLiteral("Error reading firmware's state, %1").arg(errorText(code)));
        return code;
    }
    if (state != kStateNone) {
        m_logger->error(kModule, function, "Firmware is already downloading, stop new download");
        return BadState;
    }

    const quint8 open = sub ? kOpenSubPreset : kOpenMainPreset;
    m_logger->debug(kModule, function, QStringLiteral("Firmware state is %1, setting it to %2").arg(state).arg(open));
    code = Unknown;
    for (int attempt = 0; attempt < kAttempts && code != Ok; ++attempt)
        code = setFirmwareState(TargetDsp, open, 0, QRawData());
    if (code != Ok) {
        m_logger->error(kModule, function, QStringLiteral("Error setting firmware's state, %1").arg(errorText(code)));
        return code;
    }

    m_logger->debug(kModule, function, QStringLiteral("Sending preset blocks for %1").arg(presetId));
    code = uploadFirmwareSlot(TargetDsp, firmware);
    if (code != Ok) {
        m_logger->error(kModule, function, QStringLiteral("Error sending preset fw, %1").arg(errorText(code)));
        return code;
    }

    const quint8 close = sub ? Builder::kCloseSubPresetState : Builder::kCloseMainPresetState;
    m_logger->debug(kModule, function, QStringLiteral("Setting firmware state to %1").arg(close));
    const enErrCode closed = setFirmwareStateNoReply(TargetDsp, close, quint16(firmware->payloadSize()),
                                                     firmware->imageChecksum());
    const enErrCode polled = pollStatusAfterClose(function);
    return closed != Ok ? closed : polled;
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadMainPreset(const QString &presetId)
{
    return uploadPreset("uploadMainPreset", presetId, false);
}

WdxFirmwareWorker::enErrCode WdxFirmwareWorker::uploadSubPreset(const QString &presetId)
{
    return uploadPreset("uploadSubPreset", presetId, true);
}
