#pragma once

#include "control/WdxSubController.h"

#include <QString>
#include <QVector>

// Device Info (OP 0x01): identity, firmware versions, run status, lock status and meters.
// Texts keep every byte of the answer, zero bytes included; the model gives them meaning.
class WdxController_DeviceInfo : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_DeviceInfo(WdxRequestProcessor *processor, QObject *parent = nullptr);

public slots:
    // Identity and versions are read again until an answer is accepted: the start-up walk
    // waits for them.
    void readDeviceName();
    void readDeviceType();
    void readMainFwVersion();
    void readDspFwVersion();
    void readPresetFwVersion();
    void readDeviceStatus();
    // With repostOnFail, one further attempt after an unusable answer.
    void readSecurityStatus(bool repostOnFail);
    void readSecurityStatus() { readSecurityStatus(false); }
    void readOutputsMeters();
    void readOutputCompressorMeters();
    void readInputsMeters();

signals:
    void deviceNameRead(QString deviceName);
    void deviceTypeRead(QString deviceType);
    void mainFwVersionRead(QString fwVersion);
    void dspFwVersionRead(QString dspVersion);
    void presetFwVersionRead(QString presetVersion);
    void deviceStatusRead(QString deviceStatus);
    void deviceSecurityStatusRead(QString deviceSecurityStatus);
    void outputMetersRead(QVector<quint8> values);
    void outputCompressorMetersRead(QVector<quint8> values);
    void inputMetersRead(QVector<quint8> values);

private slots:
    void onReadDeviceInfoNameCompleted();
    void onReadDeviceInfoTypeCompleted();
    void onReadMainFwVersionCompleted();
    void onReadDspFwVersionCompleted();
    void onReadPresetFwVersionCompleted();
    void onReadDeviceStatusCompleted();
    void onReadSecurityStatusCompleted();
    void onReadOutputMetersCompleted();
    void onReadOutputCompressorMetersCompleted();
    void onReadInputMetersCompleted();

private:
    void read(quint8 subCode, void (WdxController_DeviceInfo::*slot)(), bool repostOnFail);
    void completeText(quint8 subCode, void (WdxController_DeviceInfo::*signal)(QString),
                      const std::function<void()> &repost = {});
    void completeMeters(const DataCheck &accepts, void (WdxController_DeviceInfo::*signal)(QVector<quint8>));
};
