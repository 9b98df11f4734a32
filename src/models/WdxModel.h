#pragma once

#include "EditTimer.h"
#include "protocol/WdxEqBand.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class WdxFirmwareDb;
class WdxInputListModel;
class WdxOutputItem;
class WdxOutputListModel;
class WdxPreProcItem;
class WdxPreProcListModel;

namespace QLogger { class QLoggerManager; }

// What the application knows about the connected device, as the scene sees it ("wdx"):
// identity, run and lock status, firmware versions, connection history, application flags
// and the three channel lists. Device reports arrive through the "update" slots and the
// forwarded "Read" signals; user edits leave as "notifyRequestTo" signals carrying the values
// that the protocol writes together.
//
// Device reports of a gain, a delay or a speaker variant are not applied to an output within
// a second of the user's own edit of it, nor the digital input selection within a second of
// its edit or while the user is choosing: an answer that left the device before the write
// arrived would snap the control back.
//
// Recovery code: a locked device whose PIN is lost is opened with a code derived from its
// serial number (the last six characters of its name): the first four bytes of
// SHA-256("Vela recovery code " + serial), as a big-endian number modulo 10^8, written as
// eight decimal digits. One-way, so the code cannot be turned back into a PIN or serial.
//
// GUI thread only.
class WdxModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int deviceStatus READ deviceStatus NOTIFY deviceStatusChanged)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(bool isHwMode READ isHwMode NOTIFY isHwModeChanged)
    Q_PROPERTY(int deviceType READ deviceType NOTIFY deviceTypeChanged)
    Q_PROPERTY(QString serialNumber READ serialNumber NOTIFY serialNumberChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(QString lastConnectionTimeString READ lastConnectionTimeString NOTIFY lastConnectionTimeStringChanged)
    Q_PROPERTY(int digitalMux READ digitalMux WRITE setDigitalMuxFromScene NOTIFY digitalMuxChanged)
    Q_PROPERTY(bool isAbsoluteLink READ isAbsoluteLink WRITE setIsAbsoluteLink NOTIFY isAbsoluteLinkChanged)
    Q_PROPERTY(bool isLocked READ isLocked NOTIFY isLockedChanged)
    Q_PROPERTY(QString activeScreen READ activeScreen WRITE setActiveScreen NOTIFY activeScreenChanged)
    Q_PROPERTY(QString mainFwVersion READ mainFwVersion NOTIFY mainFwVersionChanged)
    Q_PROPERTY(QString dspFwVersion READ dspFwVersion NOTIFY dspFwVersionChanged)
    Q_PROPERTY(QString presetFwVersion READ presetFwVersion NOTIFY presetFwVersionChanged)
    Q_PROPERTY(bool devModeEnabled READ devModeEnabled WRITE setDevModeEnabled NOTIFY devModeEnabledChanged)
    Q_PROPERTY(bool logEnabled READ logEnabled WRITE setLogEnabled NOTIFY logEnabledChanged)
    Q_PROPERTY(QString onlineApplicationVersion READ onlineApplicationVersion NOTIFY onlineApplicationVersionChanged)
    Q_PROPERTY(bool autoUpdateEnabled READ autoUpdateEnabled WRITE setAutoUpdateEnabled NOTIFY autoUpdateEnabledChanged)
    Q_PROPERTY(QString lastVersionToDiscard READ lastVersionToDiscard NOTIFY lastVersionToDiscardChanged)
    Q_PROPERTY(bool isBetaVersion READ isBetaVersion CONSTANT)
    Q_PROPERTY(int activeViewIndex READ activeViewIndex NOTIFY currentViewIndexChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    // Why the device's settings cannot be edited now; empty while they can. Locked comes
    // before hardware mode: unlocking is what the user can do from here.
    Q_PROPERTY(QString readOnlyMessage READ readOnlyMessage NOTIFY readOnlyMessageChanged)
public:
    static const QString kDefaultName;  // "WDX"
    static constexpr int kUnknown = 255;
    static constexpr int kIdentityLength = 14;
    static constexpr qint64 kEditGuardMs = 1000;

    explicit WdxModel(QObject *parent = nullptr);
    ~WdxModel() override;

    // Handed over once by the device side's assembly, before any device data arrives.
    void setFirmwareDb(WdxFirmwareDb *firmwareDb);
    WdxFirmwareDb *firmwareDb() const;

    static QString recoveryCode(const QString &serialNumber);

    Q_INVOKABLE int deviceStatus() const { return m_deviceStatus; }
    Q_INVOKABLE QString name() const { return m_name; }
    Q_INVOKABLE bool isHwMode() const { return m_isHwMode; }
    Q_INVOKABLE int deviceType() const;
    Q_INVOKABLE QString deviceTypeString() const;
    Q_INVOKABLE QString serialNumber() const;
    Q_INVOKABLE bool isConnected() const { return m_isConnected; }
    Q_INVOKABLE QString lastConnectionTimeString() const;
    Q_INVOKABLE int digitalMux() const { return m_digitalMux; }
    Q_INVOKABLE bool isAbsoluteLink() const { return m_isAbsoluteLink; }
    Q_INVOKABLE bool isLocked() const { return m_securityStatus == 1; }
    int securityStatus() const { return m_securityStatus; }
    Q_INVOKABLE QString activeScreen() const { return m_activeScreen; }
    Q_INVOKABLE QString mainFwVersion() const { return m_mainFwVersion; }
    Q_INVOKABLE QString dspFwVersion() const { return m_dspFwVersion; }
    Q_INVOKABLE QString presetFwVersion() const { return m_presetFwVersion; }
    Q_INVOKABLE bool devModeEnabled() const { return m_devModeEnabled; }
    Q_INVOKABLE bool logEnabled() const;
    Q_INVOKABLE QString onlineApplicationVersion() const { return m_onlineApplicationVersion; }
    Q_INVOKABLE bool autoUpdateEnabled() const { return m_autoUpdateEnabled; }
    Q_INVOKABLE QString lastVersionToDiscard() const { return m_lastVersionToDiscard; }
    Q_INVOKABLE bool isBetaVersion() const;
    Q_INVOKABLE int activeViewIndex() const;
    Q_INVOKABLE QString state() const { return m_state; }
    QString readOnlyMessage() const;
    QDateTime lastConnectionTime() const { return m_lastConnectionTime; }
    bool isEditingDigitalMux() const { return m_isEditingDigitalMux; }

    Q_INVOKABLE void setIsEditingDigitalMux(bool editing);
    Q_INVOKABLE bool isValidPuk(const QString &code) const;
    Q_INVOKABLE WdxInputListModel *inputList() const { return m_inputList; }
    Q_INVOKABLE WdxPreProcListModel *preProcList() const { return m_preProcList; }
    Q_INVOKABLE WdxOutputListModel *outputList() const { return m_outputList; }
    Q_INVOKABLE WdxOutputItem *getOutput(int row) const;
    Q_INVOKABLE WdxPreProcItem *getPreProc(int row) const;
    Q_INVOKABLE void uploadFirmware();
    Q_INVOKABLE void uploadSpeakerPreset(int channelIndex, const QString &speakerId);
    Q_INVOKABLE void downloadLatestVersion();
    Q_INVOKABLE void discardLatestVersion();
    Q_INVOKABLE void resetSettings();

signals:
    void nameChanged();
    void readOnlyMessageChanged();
    void deviceStatusChanged();
    void deviceTypeChanged();
    void deviceTypeStringChanged();
    void serialNumberChanged();
    void isConnectedChanged();
    void lastConnectionTimeStringChanged();
    void isMutedChanged();
    void digitalMuxChanged();
    void isAbsoluteLinkChanged();
    void isLockedChanged();
    void selectedOutputChanged();
    void activeScreenChanged();
    void currentViewIndexChanged();
    void devModeEnabledChanged();
    void logEnabledChanged();
    void onlineApplicationVersionChanged();
    void autoUpdateEnabledChanged();
    void lastVersionToDiscardChanged();
    void notifyRequestToWriteGains(QList<quint8> gains);
    void notifyRequestToWriteDelays(QList<quint16> delays);
    void notifyRequestToWritePreProcessingPatch(int channelId, quint8 patchValue);
    void notifyRequestToWriteOutputPatch(int channelId, quint8 patchValue);
    void notifyRequestToWriteEq(int channelId, bool isEnabled, QList<WdxEqBand *> bands);
    void notifyRequestToWriteCompressor(int channelId, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);
    void notifyRequestToWriteSpeakerVariant(quint8 mainVariant, quint8 subVariant);
    void notifyRequestToWriteDigitalMux(quint8 digitalMux);
    void notifyRequestToUploadFirmware(QString mainPresetId, QString subPresetId);
    void notifyRequestToChangeMainPreset(QString presetId);
    void notifyRequestToChangeSubPreset(QString presetId);
    void notifyRequestToDownloadLatestVersion();
    void notifyRequestToResetSettings();
    void preProcessingPatchRead(int channelId, quint8 patchValue);
    void outputPatchRead(int channelId, quint8 patchValue);
    void eqRead(int channelId, bool isEnabled, QList<WdxEqBand *> bands);
    void compressorRead(int channelId, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);
    void isHwModeChanged();
    void inputDataChanged();
    void mainFwVersionChanged();
    void dspFwVersionChanged();
    void presetFwVersionChanged();
    void mainFwMismatch();
    void mainFwChecked();
    void dspFwMismatch();
    void dspFwChecked();
    void presetFwMismatch();
    void presetFwChecked();
    void mainReached();
    void wdxLocked();
    void wdxUnlocked();
    void stateChanged();

public slots:
    void clear();
    void setLastConnectionTime(const QDateTime &time);
    void setIsAbsoluteLink(bool isAbsoluteLink);
    void setActiveScreen(const QString &screen);
    void updateIsHwMode(bool isHwMode);
    void setDigitalMux(quint8 digitalMux);
    void setDevModeEnabled(bool enabled);
    void setLogEnabled(bool enabled);
    void setAutoUpdateEnabled(bool enabled);
    void setLastVersionToDiscard(const QString &version);

    void updateDeviceName(const QString &name);
    void updateOutputMeters(const QVector<quint8> &values);
    void updateCompressorMeters(const QVector<quint8> &values);
    void updateInputMeters(const QVector<quint8> &values);
    void updateMainFwVersion(const QString &version);
    void updateDspFwVersion(const QString &version);
    void updatePresetFwVersion(const QString &version);
    void updateDeviceStatus(const QString &status);
    void updateSecurityStatus(const QString &status);
    void updateOutputDelays(const QVector<quint16> &values);
    void updateOutputGains(const QVector<quint8> &values);
    void updateFrontPanelGains(const QVector<quint8> &values);
    void updateDigitalMux(quint8 digitalMux);
    void updateSpeakerMode(quint8 hwMode, quint8 mainSwMode, quint8 subSwMode);
    void updateSpeakerPreset(const QString &mainPreset, const QString &subPreset);
    void updateOnlineApplicationVersion(const QString &version);

    void onRequestToWriteGains();
    void onRequestToWriteDelays();
    void onRequestToWritePreProcessingPatch();
    void onRequestToWriteOutputPatch();
    void onRequestToWriteCompressor();
    void onRequestToWriteSpeakerVariant();

    void onWdxConnected();
    void onWdxDisconnected();
    void checkMainFwCompatibility();
    void checkDspFwCompatibility();
    void checkPresetFwCompatibility();
    void setState(const QString &state);

private slots:
    // Demonstration aids: random meter levels.
    void randomInputs();
    void randomOutputs();

private:
    // The scene writes the selection as a plain number.
    void setDigitalMuxFromScene(int digitalMux) { setDigitalMux(quint8(digitalMux)); }
    QList<WdxOutputItem *> outputs() const;

    int m_deviceStatus = kUnknown;
    QString m_name = kDefaultName;
    WdxInputListModel *m_inputList = nullptr;
    WdxPreProcListModel *m_preProcList = nullptr;
    WdxOutputListModel *m_outputList = nullptr;
    QDateTime m_lastConnectionTime;
    bool m_isConnected = false;
    quint8 m_digitalMux = 1;
    bool m_isEditingDigitalMux = false;
    EditTimer m_digitalMuxEditTime;
    bool m_isAbsoluteLink = false;
    int m_securityStatus = kUnknown;
    QPointer<WdxFirmwareDb> m_firmwareDb;
    QString m_mainFwVersion;
    QString m_dspFwVersion;
    QString m_presetFwVersion;
    QString m_activeScreen = QStringLiteral("main");
    bool m_isHwMode = false;
    QString m_onlineApplicationVersion;
    QString m_lastVersionToDiscard = QStringLiteral("2.01");
    bool m_devModeEnabled = false;
    bool m_autoUpdateEnabled = true;
    QString m_state = QStringLiteral("WaitingWdx");
    QLogger::QLoggerManager *m_logger;
};
