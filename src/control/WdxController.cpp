#include "control/WdxController.h"

#include "control/WdxController_CompressorSettings.h"
#include "control/WdxController_DelaysSettings.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_EqSettings.h"
#include "control/WdxController_GainsSettings.h"
#include "control/WdxController_PatchSettings.h"
#include "control/WdxController_SecuritySettings.h"
#include "control/WdxController_SpeakerSettings.h"
#include "control/WdxController_SpecificFunctions.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "logger/QLoggerManager.h"
#include "protocol/WdxRequestProcessor.h"

namespace {
const char kModule[] = "WdxController";
}

WdxController::WdxController(QObject *parent) : QObject(parent)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->trace(kModule, __func__, "Logger created");
    m_workerThread.setObjectName(QStringLiteral("WdxControllerWorker"));

    m_processor = new WdxRequestProcessor(false);
    m_processor->moveToThread(&m_workerThread);
    m_processor->setTimeout(kReplyTimeoutMs);

    m_firmware = new WdxFirmwareUpdateController(m_processor, this);
    m_deviceInfo = new WdxController_DeviceInfo(m_processor, this);
    m_gains = new WdxController_GainsSettings(m_processor, this);
    m_delays = new WdxController_DelaysSettings(m_processor, this);
    m_patch = new WdxController_PatchSettings(m_processor, this);
    m_patch->setOutputCount(kOutputCount);
    m_patch->setPreProcessingCount(kPreProcessingCount);
    m_eq = new WdxController_EqSettings(m_processor, this);
    m_eq->setChannelCount(kPreProcessingCount);
    m_compressor = new WdxController_CompressorSettings(m_processor, this);
    m_compressor->setChannelCount(kOutputCount);
    m_speaker = new WdxController_SpeakerSettings(m_processor, this);
    m_security = new WdxController_SecuritySettings(m_processor, this);
    m_specificFunctions = new WdxController_SpecificFunctions(m_processor, this);

    connect(&m_workerThread, &QThread::started, m_processor, &WdxRequestProcessor::start);
    // Quitting is thread-safe, and this thread may be the one blocked in stop().
    connect(m_processor, &WdxRequestProcessor::finished, &m_workerThread, &QThread::quit, Qt::DirectConnection);
    connect(m_processor, &WdxRequestProcessor::wdxConnected, this, &WdxController::wdxConnected);
    connect(m_processor, &WdxRequestProcessor::wdxDisconnected, this, &WdxController::wdxDisconnected);
}

WdxFirmwareUpdateController *WdxController::firmwareUpdateController() const
{
    return m_firmware;
}

WdxController_DeviceInfo *WdxController::deviceInfo() const
{
    return m_deviceInfo;
}

WdxController_GainsSettings *WdxController::gains() const
{
    return m_gains;
}

WdxController_DelaysSettings *WdxController::delays() const
{
    return m_delays;
}

WdxController_PatchSettings *WdxController::patch() const
{
    return m_patch;
}

WdxController_EqSettings *WdxController::eq() const
{
    return m_eq;
}

WdxController_CompressorSettings *WdxController::compressor() const
{
    return m_compressor;
}

WdxController_SpeakerSettings *WdxController::speaker() const
{
    return m_speaker;
}

WdxController_SecuritySettings *WdxController::security() const
{
    return m_security;
}

WdxController_SpecificFunctions *WdxController::specificFunctions() const
{
    return m_specificFunctions;
}

WdxController::~WdxController()
{
    stop();
    // The firmware worker may still hold the processor: it goes first, then the processor,
    // whose thread has ended.
    delete m_firmware.data();
    delete m_processor;
}

void WdxController::start()
{
    if (!m_workerThread.isRunning())
        m_workerThread.start(QThread::InheritPriority);
}

void WdxController::stop()
{
    for (QObject *child : std::initializer_list<QObject *>{m_firmware, m_deviceInfo, m_gains, m_delays, m_patch, m_eq,
                                                           m_compressor, m_speaker, m_security, m_specificFunctions}) {
        if (child)
            child->deleteLater();
    }
    // The upload worker may be blocked on a request: release it before the engine goes.
    if (m_firmware)
        m_firmware->stop();
    m_processor->stop();
    if (m_workerThread.isRunning()) {
        m_workerThread.quit();
        m_workerThread.wait();
    }
}

void WdxController::verifyWdxConnection()
{
    if (m_processor->isConnected())
        emit wdxConnected();
    else
        emit wdxDisconnected();
}
