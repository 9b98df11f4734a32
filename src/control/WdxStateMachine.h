#pragma once

#include <QStateMachine>
#include <QString>

class QState;
class QTimer;
class WdxController;
class WdxModel;

namespace QLogger { class QLoggerManager; }

// The application's view of the device's life cycle: waits for the firmware package and for
// a device, reads its identity, waits for it to leave its boot loader, reads the lock state
// and the presets, compares the three firmware versions with the package's, follows or asks
// for an upload when they differ, and polls while connected. The name of the state entered
// last is published for the scene.
//
// User-interface thread.
class WdxStateMachine : public QStateMachine
{
    Q_OBJECT
public:
    static constexpr int kPollMs = 250;
    static constexpr int kStatusMs = 1000;
    static constexpr int kWaitForMainMs = 30000;

    WdxStateMachine(WdxController *controller, WdxModel *model, QObject *parent = nullptr);

    QString stateName() const { return m_stateName; }

    // For tests only (the scene cannot reach it): shortens the wait for the main firmware.
    void setWaitForMainInterval(int milliseconds);

signals:
    void stateChanged(QString state);
    void applicationLoaded();
    void pollingTimeout();
    void waitForMainTimeout();
    void deviceInfoRead();

public slots:
    void verifyDeviceInfo();

private slots:
    void onApplicationLoaded();
    void onWaitingWdxEntered();
    void onReadStartupInfosEntered();
    void onCheckStatusEntered();
    void onReadLockStatusEntered();
    void onLockedOnBootEntered();
    void onReadCurrentPresetEntered();
    void onCheckMainVersionEntered();
    void onRequireMainFwEntered();
    void onUploadingMainFwEntered();
    void onCheckDspVersionEntered();
    void onCheckPresetVersionEntered();
    void onUploadingPresetEntered();
    void onPollingEntered();
    void onFailedEntered();
    void onFatalErrorEntered();

private:
    void buildStates();
    void setState(const QString &name);
    void stopPolling();

    QString m_stateName;
    WdxController *m_controller;
    WdxModel *m_model;
    QTimer *m_pollTimer;
    QTimer *m_statusTimer;
    QTimer *m_waitForMainTimer;
    QLogger::QLoggerManager *m_logger;
};
