#pragma once

#include "protocol/QRawData.h"
#include "protocol/WdxMessageGeneric.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStateMachine>

#include <atomic>
#include <mutex>

class QTimer;
class UsbHidId;
class UsbHidUart;

namespace QLogger {
class QLoggerManager;
}

// Link layer between the request processor and the CP2110 bridge driver. While no bridge is
// connected it tries one candidate vendor/product id per connection tick; once one is open it
// cuts the received byte stream into frames (Idle / Parsing / Timeout / Error parser machine)
// and emits every frame whose checksum is right.
//
// Lives on the processor's monitor thread; every slot runs there. The one exception is write(),
// which the processor calls directly from its own thread: it is safe against a concurrent
// close of the bridge.
class WdxMonitor : public QObject
{
    Q_OBJECT
public:
    enum enErrCode {
        enErrCode_Ok = 0,
        enErrCode_CommunicationError = 1,
        enErrCode_NotConnected = 2
    };
    Q_ENUM(enErrCode)

    static constexpr int kConnectionTickMs = 250;
    static constexpr int kParseTimeoutMs = 50;
    static constexpr int kDefaultWriteTimeoutMs = 250;

    explicit WdxMonitor(bool extendedIds = false, QObject *parent = nullptr);
    ~WdxMonitor() override;

    // Safe from any thread.
    bool isConnected() const;

    // The id list built by initialize(), and the position the next connection check tries.
    const QList<UsbHidId *> &idList() const { return m_idList; }
    int currentIdIndex() const { return m_currentId.load(); }
    bool isCheckingEnabled() const { return m_checkingEnabled.load(); }
    int writeTimeout() const { return m_writeTimeout.load(); }
    void setWriteTimeout(int milliseconds) { m_writeTimeout.store(milliseconds); }

    // The owned driver; null before initialize().
    UsbHidUart *bridge() const { return m_bridge.load(); }

signals:
    void finished();
    void startConnectionTimer();
    void wdxConnected();
    void wdxDisconnected();
    void messageArrived(WdxMessageGeneric message);
    void error();
    void incompleteMessageArrived();

public slots:
    void initialize();
    void enable();
    void disable();
    void pause();
    void resume();
    void closeConnection();
    // maskInLog: passed to the driver for frames that carry a device PIN.
    WdxMonitor::enErrCode write(QRawData data, bool maskInLog = false);
    void onError();
    void checkIsConnected();
    void onStateMachineStarted();
    void onStateMachineStopped();
    void onIdleStateEntered();
    void onParsingStateEntered();
    void onTimeoutStateEntered();
    void onErrorStateEntered();

private:
    void setIsConnected(bool value);
    void buildIdList();
    void buildParser();

    QRawData m_inputBuffer;
    const bool m_extendedIds;
    QList<UsbHidId *> m_idList;
    std::atomic<int> m_currentId{0};
    std::atomic<bool> m_isConnected{false};
    std::atomic<int> m_writeTimeout{kDefaultWriteTimeoutMs};
    std::atomic<UsbHidUart *> m_bridge{nullptr};
    QTimer *m_connectionTimer = nullptr;
    QTimer *m_parseTimer = nullptr;
    QLogger::QLoggerManager *m_logger = nullptr;
    QPointer<QStateMachine> m_parser;
    std::atomic<bool> m_checkingEnabled{false};
    // Serialises write() (processor thread) with the bridge's creation and destruction.
    std::mutex m_writeLock;
};

Q_DECLARE_METATYPE(WdxMonitor::enErrCode)
