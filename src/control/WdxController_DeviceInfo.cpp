#include "control/WdxController_DeviceInfo.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kOp = enOperationCode_DeviceInfo;
constexpr int kInputMetersLength = 7; // sub-code and six inputs

QVector<quint8> bytesFrom(const QRawData &data, int first)
{
    QVector<quint8> values;
    values.reserve(data.byteLen() - first);
    for (int i = first; i < data.byteLen(); ++i)
        values.append(data.at(i));
    return values;
}
}

WdxController_DeviceInfo::WdxController_DeviceInfo(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_DeviceInfo::read(quint8 subCode, void (WdxController_DeviceInfo::*slot)(), bool repostOnFail)
{
    postRead(readDeviceInfoMessage(subCode), slot, repostOnFail);
}

void WdxController_DeviceInfo::readDeviceName()
{
    read(enDeviceInfo_DeviceName, &WdxController_DeviceInfo::onReadDeviceInfoNameCompleted, true);
}

void WdxController_DeviceInfo::readDeviceType()
{
    read(enDeviceInfo_DeviceType, &WdxController_DeviceInfo::onReadDeviceInfoTypeCompleted, true);
}

void WdxController_DeviceInfo::readMainFwVersion()
{
    read(enDeviceInfo_FirmwareVersion, &WdxController_DeviceInfo::onReadMainFwVersionCompleted, true);
}

void WdxController_DeviceInfo::readDspFwVersion()
{
    read(enDeviceInfo_DspVersion, &WdxController_DeviceInfo::onReadDspFwVersionCompleted, true);
}

void WdxController_DeviceInfo::readPresetFwVersion()
{
    read(enDeviceInfo_PresetVersion, &WdxController_DeviceInfo::onReadPresetFwVersionCompleted, true);
}

void WdxController_DeviceInfo::readDeviceStatus()
{
    read(enDeviceInfo_DeviceStatus, &WdxController_DeviceInfo::onReadDeviceStatusCompleted, false);
}

void WdxController_DeviceInfo::readSecurityStatus(bool repostOnFail)
{
    read(enDeviceInfo_SecurityInfo, &WdxController_DeviceInfo::onReadSecurityStatusCompleted, repostOnFail);
}

void WdxController_DeviceInfo::readOutputsMeters()
{
    read(enDeviceInfo_OutputMeters, &WdxController_DeviceInfo::onReadOutputMetersCompleted, false);
}

void WdxController_DeviceInfo::readOutputCompressorMeters()
{
    read(enDeviceInfo_OutputUserCompressorMeters, &WdxController_DeviceInfo::onReadOutputCompressorMetersCompleted,
         false);
}

void WdxController_DeviceInfo::readInputsMeters()
{
    read(enDeviceInfo_InputMeters, &WdxController_DeviceInfo::onReadInputMetersCompleted, false);
}

void WdxController_DeviceInfo::completeText(quint8 subCode, void (WdxController_DeviceInfo::*signal)(QString),
                                            const std::function<void()> &repost)
{
    complete(kOp, atLeast(2, subCode), [this, signal](const QRawData &data) { emit(this->*signal)(data.toText(1)); },
             repost);
}

void WdxController_DeviceInfo::completeMeters(const DataCheck &accepts,
                                              void (WdxController_DeviceInfo::*signal)(QVector<quint8>))
{
    complete(kOp, accepts, [this, signal](const QRawData &data) { emit(this->*signal)(bytesFrom(data, 1)); });
}

void WdxController_DeviceInfo::onReadDeviceInfoNameCompleted()
{
    completeText(enDeviceInfo_DeviceName, &WdxController_DeviceInfo::deviceNameRead, [this] { readDeviceName(); });
}

void WdxController_DeviceInfo::onReadDeviceInfoTypeCompleted()
{
    completeText(enDeviceInfo_DeviceType, &WdxController_DeviceInfo::deviceTypeRead, [this] { readDeviceType(); });
}

void WdxController_DeviceInfo::onReadMainFwVersionCompleted()
{
    completeText(enDeviceInfo_FirmwareVersion, &WdxController_DeviceInfo::mainFwVersionRead,
                 [this] { readMainFwVersion(); });
}

void WdxController_DeviceInfo::onReadDspFwVersionCompleted()
{
    completeText(enDeviceInfo_DspVersion, &WdxController_DeviceInfo::dspFwVersionRead, [this] { readDspFwVersion(); });
}

void WdxController_DeviceInfo::onReadPresetFwVersionCompleted()
{
    completeText(enDeviceInfo_PresetVersion, &WdxController_DeviceInfo::presetFwVersionRead,
                 [this] { readPresetFwVersion(); });
}

void WdxController_DeviceInfo::onReadDeviceStatusCompleted()
{
    completeText(enDeviceInfo_DeviceStatus, &WdxController_DeviceInfo::deviceStatusRead);
}

void WdxController_DeviceInfo::onReadSecurityStatusCompleted()
{
    // One further attempt only: the further read no longer re-posts.
    completeText(enDeviceInfo_SecurityInfo, &WdxController_DeviceInfo::deviceSecurityStatusRead,
                 [this] { readSecurityStatus(false); });
}

void WdxController_DeviceInfo::onReadOutputMetersCompleted()
{
    completeMeters(atLeast(2, enDeviceInfo_OutputMeters), &WdxController_DeviceInfo::outputMetersRead);
}

void WdxController_DeviceInfo::onReadOutputCompressorMetersCompleted()
{
    completeMeters(atLeast(2, enDeviceInfo_OutputUserCompressorMeters),
                   &WdxController_DeviceInfo::outputCompressorMetersRead);
}

void WdxController_DeviceInfo::onReadInputMetersCompleted()
{
    completeMeters(exactly(kInputMetersLength, enDeviceInfo_InputMeters), &WdxController_DeviceInfo::inputMetersRead);
}
