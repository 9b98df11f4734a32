#pragma once

#include "firmware/WdxFirmwareWorker.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

class WdxRequestProcessor;

namespace QLogger { class QLoggerManager; }

// The user interface's handle on firmware updates: owns the upload worker and its thread, turns
// the worker's states and steps into the properties the interface shows (state name, progress,
// remaining time, a debug line and a display line, versions), refuses new uploads while the
// worker is busy (any state but Idle) and picks presets by id.
//
// Lives on the user-interface thread. The worker thread starts when the request processor
// starts, and the worker then loads the embedded package.
class WdxFirmwareUpdateController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString debugMessage READ debugMessage NOTIFY debugMessageChanged)
    Q_PROPERTY(QString displayMessage READ displayMessage NOTIFY displayMessageChanged)
    Q_PROPERTY(QString mainFwVersion READ mainFwVersion NOTIFY mainFwVersionChanged)
    Q_PROPERTY(QString dspFwVersion READ dspFwVersion NOTIFY dspFwVersionChanged)
    Q_PROPERTY(int timeToEnd READ timeToEnd NOTIFY timeToEndChanged)
public:
    static const QString kPackagePath; // ":/FirmwareUpdate/WDX_firmware.rvf"

    explicit WdxFirmwareUpdateController(WdxRequestProcessor *requestProcessor, QObject *parent = nullptr);
    ~WdxFirmwareUpdateController() override;

    // Null once stop() has ended the worker's thread.
    WdxFirmwareWorker *worker() const { return m_worker; }

    QString state() const;
    double progress() const;
    QString debugMessage() const { return m_debugMessage; }
    QString displayMessage() const { return m_displayMessage; }
    QString mainFwVersion() const;
    QString dspFwVersion() const;
    QString presetsVersion() const;
    int timeToEnd() const;
    int totalSteps() const { return m_totalSteps; }
    int stepsDone() const { return m_stepsDone; }

    QStringList mainPresetIds() const;
    QStringList subPresetIds() const;
    Q_INVOKABLE QString mainPresetAt(int position) const;
    Q_INVOKABLE QString subPresetAt(int position) const;

    // Monotonic milliseconds behind the upload timer; tests replace it to check the remaining
    // time without waiting. An empty function restores the steady clock.
    using Clock = std::function<qint64()>;
    static void setClock(Clock clock);

signals:
    void stateChanged();
    void progressChanged();
    void debugMessageChanged();
    void displayMessageChanged();
    void mainFwVersionChanged();
    void fwLoaded();
    void dspFwVersionChanged();
    void timeToEndChanged();
    void mainFwUploadStarted();
    void dspFwUploadStarted();
    void presetUploadStarted();
    void mainFwUploadCompleted();
    void dspFwUploadCompleted();
    void presetUploadCompleted();
    void failed();

public slots:
    void startUploadMainFirmware();
    void startUploadDspFirmware();
    void startUploadFirmware(const QString &mainPresetId, const QString &subPresetId);
    bool startUploadMainPreset();
    bool startUploadMainPreset(const QString &presetId);
    bool startUploadSubPreset();
    bool startUploadSubPreset(const QString &presetId);
    void stop();
    void reload(const QString &fileName);

    void onUploadStarted();
    void onStateChanged(WdxFirmwareWorker::enState state);
    void onFileLoaded();
    void onStepDone();
    void onMainFinished(int executionTime);
    void onDspFinished(int executionTime);
    void onPresetFinished(int executionTime);

private:
    // The busy check: claims the worker for the start that asks, or tells it is busy.
    bool claimWorker();
    bool hasMainImage();
    int mainSteps() const;
    int dspSteps() const;
    int mainPresetSteps() const;
    int subPresetSteps() const;
    void beginUpload(const QString &displayMessage, int totalSteps);
    bool startPreset(const QString &presetId, bool sub);
    // The first of the two ids that is neither empty nor a preset of its kind in the package.
    QString missingPreset(const QString &mainPresetId, const QString &subPresetId) const;
    void setDebugMessage(const QString &message);
    void setDisplayMessage(const QString &message);
    static qint64 now();

    WdxFirmwareWorker *m_worker;
    QThread m_workerThread;
    QLogger::QLoggerManager *m_logger;
    qint64 m_uploadStart = 0;
    int m_totalSteps = 0;
    int m_stepsDone = 0;
    QString m_debugMessage = QStringLiteral("Press start to begin");
    QString m_displayMessage;
    std::atomic<bool> m_threadStarted{false};
};
