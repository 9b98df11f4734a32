#pragma once

#include "firmware/WdxFirmware.h"
#include "protocol/QRawData.h"

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QState;
class QStateMachine;
class QTimer;
class WdxRequest;
class WdxRequestProcessor;

namespace QLogger { class QLoggerManager; }

// Loads the firmware package and uploads its images to the device: main controller firmware,
// DSP firmware and loudspeaker presets. Runs on a thread of its own; every request blocks that
// thread until the request has a final status, so the procedures read as sequential code.
//
// A main upload follows the device's reboot handshake: reboot request, the device drops off the
// bus (within 4 s) and comes back (within 3 s), a Null Command read holds it in its boot loader,
// and only then are blocks sent. Every failure ends in Idle with lastErrorCode() telling why,
// and failed() emitted; the loaded package survives it.
//
// Thread use: the controller calls uploadFirmware(), setFileName(), state() and the package
// accessors directly from its own thread; they are guarded here. Everything else runs on the
// worker's thread.
class WdxFirmwareWorker : public QObject
{
    Q_OBJECT
public:
    enum enState {
        Idle = 0,
        Reboot = 1,
        WaitReconnection = 2,
        LockOnBoot = 3,
        UploadingMain = 4,
        UploadingDsp = 5,
        UploadingPreset = 6,
        Failed = 7,
        Parsing = 8,
        TimeoutOnDisconnect = 9,
        TimeoutOnReconnect = 10
    };
    Q_ENUM(enState)

    enum enErrCode {
        Ok = 0,
        BadCRC = 1,
        CommunicationError = 2,
        BadReply = 3,
        BadFile = 4,
        FileNotFound = 5,
        Interrupted = 6,
        Timeout = 7,
        BadState = 8,
        Unknown = 9
    };
    Q_ENUM(enErrCode)

    enum enFwUploadType { UploadMain = 0, UploadDsp = 1, UploadPreset = 2, UploadAll = 3, UploadNone = 255 };
    Q_ENUM(enFwUploadType)

    enum enFwTarget { TargetMain = 0, TargetDsp = 1 };
    Q_ENUM(enFwTarget)

    static constexpr int kRebootDelayMs = 250;
    static constexpr int kDisconnectionTimeoutMs = 4000;
    static constexpr int kReconnectionTimeoutMs = 3000;
    static constexpr int kDefaultWaitTickMs = 250;
    // Longest wait for the device to answer a status read after a DSP image or a preset was
    // closed; a device that stays silent longer ends the upload with Timeout.
    static constexpr int kDefaultStatusPollLimitMs = 30000;
    static constexpr quint8 kTransferPriority = 2;

    static QString stateName(int state);
    static QString errorText(int errorCode);

    WdxFirmwareWorker(bool verifySentBlocks, const QString &fileName, QObject *parent = nullptr);
    ~WdxFirmwareWorker() override;

    enState state() const { return enState(m_state.load()); }
    void setRequestProcessor(WdxRequestProcessor *processor);
    WdxRequestProcessor *requestProcessor() const { return m_requestProcessor; }
    QString fileName() const;
    void setFileName(const QString &fileName);
    bool verifySentBlocks() const { return m_verifySentBlocks; }

    // The loaded package. The pointers belong to the worker and change only while it loads;
    // the block counts and versions below are the thread-safe way to read them.
    WdxFirmware *mainFw() const;
    WdxFirmware *dspFw() const;
    QMap<QString, WdxFirmware *> mainPresets() const;
    QMap<QString, WdxFirmware *> subPresets() const;
    QStringList mainPresetIds();
    QStringList subPresetIds();
    QString mainFwVersion() const;
    QString dspFwVersion() const;
    QString presetsVersion() const;
    // Blocks of the main image, the DSP image, and the first (lowest id) preset of each kind;
    // -1 when there is none.
    int mainBlocks() const;
    int dspBlocks() const;
    int firstMainPresetBlocks() const;
    int firstSubPresetBlocks() const;

    int mainWaitMs() const { return m_mainWaitMs.load(); }
    int waitTickMs() const { return m_waitTickMs.load(); }
    int statusPollLimitMs() const { return m_statusPollLimitMs.load(); }
    // Test seams: a shorter tick for the waits and polls, a shorter bound on the status polling.
    // The application keeps the defaults.
    void setWaitTickMs(int milliseconds) { m_waitTickMs.store(qMax(1, milliseconds)); }
    void setStatusPollLimitMs(int milliseconds) { m_statusPollLimitMs.store(qMax(0, milliseconds)); }

    // The controller's busy check and start in one step: true when the worker idles and nobody
    // has claimed it since, and it is then claimed. An upload request changes state() only once
    // the worker's thread takes it; until then the claim keeps a second start from overwriting
    // the first one's type and ids. The worker drops the claim when it comes back to Idle.
    bool claim();
    // For a claimer that decided to send nothing after all.
    void releaseClaim() { m_claimed.store(false); }

    // Makes a blocked procedure give up at once (application shutdown): waits end, requests not
    // yet finished are abandoned. There is no way back.
    void abort();

    // The package bytes already read: what loadFile() does after reading the file.
    enErrCode loadData(const QRawData &bytes);

signals:
    void requestToUploadMain();
    void requestToUploadDsp();
    void requestToUploadPreset();
    void fwFileChanged();
    void fwFileLoaded();
    void blockParsed(uint blockId);
    void mainUploadStarted();
    void dspUploadStarted();
    void presetUploadStarted();
    void stepDone();
    void paused();
    void deviceLockedOnBoot();
    void failed();
    void mainFinished(int executionTime);
    void dspFinished(int executionTime);
    void presetFinished(int executionTime);
    void fwUploadFinished();
    void stateChanged(WdxFirmwareWorker::enState state);

public slots:
    void initialize();
    void uploadFirmware(WdxFirmwareWorker::enFwUploadType fwUploadType, const QString &mainPresetId = QString(),
                        const QString &subPresetId = QString());
    enErrCode stopMainLoad();
    enErrCode lastErrorCode() const { return enErrCode(m_lastErrorCode.load()); }
    enErrCode uploadFirmwareSlot(WdxFirmwareWorker::enFwTarget target, WdxFirmware *firmware);
    enErrCode loadFile(const QString &fileName);
    enErrCode loadFile();
    enErrCode uploadMainFirmware();
    enErrCode uploadDspFirmware();
    enErrCode uploadMainPreset(const QString &presetId);
    enErrCode uploadSubPreset(const QString &presetId);
    void reboot();
    enErrCode readInfoStatus();

    void onIdleEntered();
    void onRebootEntered();
    void onLoadEntered();
    void onWaitReconnectionEntered();
    void onLockOnBootEntered();
    void onUploadMainEntered();
    void onUploadDspEntered();
    void onUploadPresetEntered();
    void onFailedEntered();
    void onTimeoutOnRebootDisconnection();
    void onTimeoutOnRebootReconnection();

private:
    enum class Submission { PostAndWait, Execute };

    enErrCode readFirmwareState(enFwTarget target, quint8 *state);
    enErrCode setFirmwareState(enFwTarget target, quint8 state, quint16 size, const QRawData &checksum);
    enErrCode setFirmwareStateNoReply(enFwTarget target, quint8 state, quint16 size, const QRawData &checksum);
    enErrCode getBlock(enFwTarget target, quint32 blockId, QRawData *data);
    enErrCode sendBlock(enFwTarget target, quint32 blockId, const QRawData &data);

    // Submits the request and waits for its final status; false when it could not be submitted.
    bool submit(WdxRequest *request, Submission kind);
    // Steps 1 to 6 of every outcome: submission, final status, error bit, checksum. Ok means the
    // procedure may look at the reply.
    enErrCode outcome(WdxRequest *request, bool submitted, const char *function, const QString &errorBitText);
    void release(WdxRequest *request);
    enErrCode uploadImage(const char *function, enFwTarget target, WdxFirmware *firmware);
    enErrCode uploadPreset(const char *function, const QString &presetId, bool sub);
    enErrCode pollStatusAfterClose(const char *function);
    // Sleeps one wait tick; false when the worker was aborted meanwhile.
    bool sleepTick();
    // Whether Trace lines reach the log: some are costly to build (whole blocks in hexadecimal).
    bool tracing() const;

    void updateState(enState state);
    void setLastErrorCode(enErrCode code) { m_lastErrorCode.store(int(code)); }
    void discardPackage();
    enFwUploadType uploadType() const;

    // The package, the file name and the pending upload, guarded by m_dataMutex: the controller
    // reads and sets them from its own thread.
    mutable std::mutex m_dataMutex;
    WdxFirmware *m_mainFw = nullptr;
    WdxFirmware *m_dspFw = nullptr;
    QMap<QString, WdxFirmware *> m_mainPresets;
    QMap<QString, WdxFirmware *> m_subPresets;
    QStringList m_mainPresetIds;
    QStringList m_subPresetIds;

    std::atomic<int> m_state{Idle};
    WdxRequestProcessor *m_requestProcessor = nullptr;
    QLogger::QLoggerManager *m_logger;
    QElapsedTimer m_stepTimer;
    QStateMachine *m_stateMachine = nullptr;
    QTimer *m_reconnectionTimer = nullptr;
    QTimer *m_disconnectionTimer = nullptr;
    std::atomic<int> m_mainWaitMs{0};
    std::atomic<int> m_waitTickMs{kDefaultWaitTickMs};
    std::atomic<int> m_statusPollLimitMs{kDefaultStatusPollLimitMs};
    QString m_fileName;
    QString m_mainPresetId;
    QString m_subPresetId;
    enFwUploadType m_fwUploadType = UploadNone;
    const bool m_verifySentBlocks;
    std::atomic<int> m_lastErrorCode{Ok};

    // Wakes a procedure blocked on a request (completion or abort).
    std::mutex m_waitMutex;
    std::condition_variable m_waitCondition;
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_claimed{false};
};

Q_DECLARE_METATYPE(WdxFirmwareWorker::enState)
Q_DECLARE_METATYPE(WdxFirmwareWorker::enFwUploadType)
