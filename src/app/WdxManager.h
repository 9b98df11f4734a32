#pragma once

#include "firmware/WdxFirmwareDb.h"

#include <QObject>
#include <QUrl>

#include <functional>

class RVSpeakerDB;
class VelaScreenController;
class VersionOnlineController;
class WdxController;
class WdxModel;
class WdxStateMachine;

// Owns the device side and makes every connection between the controller side and the model
// side: the controller, the model, the screen controller, the speaker and firmware
// catalogues, the online version check and the application state machine, which it starts.
//
// User-interface thread.
class WdxManager : public QObject
{
    Q_OBJECT
public:
    explicit WdxManager(QObject *parent = nullptr);
    ~WdxManager() override;

    WdxController *controller() const { return m_controller; }
    VelaScreenController *screenController() const { return m_screenController; }
    WdxModel *model() const { return m_model; }
    WdxStateMachine *stateMachine() const { return m_stateMachine; }
    WdxFirmwareDb *firmwareDb() { return &m_firmwareDb; }
    RVSpeakerDB *speakerDb() const { return m_speakerDb; }
    VersionOnlineController *versionChecker() const { return m_versionChecker; }

    // How a download address reaches the system browser; tests replace it. An empty function
    // restores QDesktopServices::openUrl.
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener);
    // The address of the version document for managers created from now on; empty turns the
    // online check off (tests and the demo stay off the network).
    static void setVersionCheckUrl(const QString &url);

public slots:
    void downloadLastVersion();

private slots:
    void onOnlineVersionChanged();

private:
    WdxFirmwareDb m_firmwareDb;
    WdxController *m_controller = nullptr;
    VelaScreenController *m_screenController = nullptr;
    WdxModel *m_model = nullptr;
    WdxStateMachine *m_stateMachine = nullptr;
    RVSpeakerDB *m_speakerDb = nullptr;
    VersionOnlineController *m_versionChecker = nullptr;
};
