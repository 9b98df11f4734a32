#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>

class WdxController_CompressorSettings;
class WdxController_DelaysSettings;
class WdxController_DeviceInfo;
class WdxController_EqSettings;
class WdxController_GainsSettings;
class WdxController_PatchSettings;
class WdxController_SecuritySettings;
class WdxController_SpeakerSettings;
class WdxController_SpecificFunctions;
class WdxFirmwareUpdateController;
class WdxRequestProcessor;

namespace QLogger { class QLoggerManager; }

// The device side's facade: owns the worker thread with the request processor on it, the
// firmware update controller and one sub-controller per settings family. Lives on the
// user-interface thread; destruction joins every thread it started.
class WdxController : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReplyTimeoutMs = 250;
    static constexpr int kOutputCount = 3;
    static constexpr int kPreProcessingCount = 2;

    explicit WdxController(QObject *parent = nullptr);
    ~WdxController() override;

    // Null once stop() has released them.
    WdxRequestProcessor *processor() const { return m_processor; }
    WdxFirmwareUpdateController *firmwareUpdateController() const;
    WdxController_DeviceInfo *deviceInfo() const;
    WdxController_GainsSettings *gains() const;
    WdxController_DelaysSettings *delays() const;
    WdxController_PatchSettings *patch() const;
    WdxController_EqSettings *eq() const;
    WdxController_CompressorSettings *compressor() const;
    WdxController_SpeakerSettings *speaker() const;
    WdxController_SecuritySettings *security() const;
    WdxController_SpecificFunctions *specificFunctions() const;

public slots:
    void start();
    void stop();
    void verifyWdxConnection();

signals:
    void wdxConnected();
    void wdxDisconnected();

private:
    QThread m_workerThread;
    WdxRequestProcessor *m_processor;
    QPointer<WdxFirmwareUpdateController> m_firmware;
    QPointer<WdxController_DeviceInfo> m_deviceInfo;
    QPointer<WdxController_GainsSettings> m_gains;
    QPointer<WdxController_DelaysSettings> m_delays;
    QPointer<WdxController_PatchSettings> m_patch;
    QPointer<WdxController_EqSettings> m_eq;
    QPointer<WdxController_CompressorSettings> m_compressor;
    QPointer<WdxController_SpeakerSettings> m_speaker;
    QPointer<WdxController_SecuritySettings> m_security;
    QPointer<WdxController_SpecificFunctions> m_specificFunctions;
    QLogger::QLoggerManager *m_logger;
};
