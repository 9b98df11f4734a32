#include "WdxRequestBuilder.h"

namespace WdxRequestBuilder {

namespace {

constexpr quint8 kInputBase = 0x20;
constexpr quint8 kPreProcessingBase = 0x30;
constexpr quint8 kOutputBase = 0x40;

// Device Firmware sub-codes.
constexpr quint8 kMainStatus = 0x00;
constexpr quint8 kMainBlock = 0x01;
constexpr quint8 kDspStatus = 0x02;
constexpr quint8 kDspBlock = 0x03;

constexpr quint8 kAllOutputs = 0x40;
constexpr quint8 kFrontPanelGains = 0x80;
constexpr quint8 kUnlock = 0x00;
constexpr quint8 kLock = 0x01;
constexpr quint8 kInfo = 0x00;
constexpr quint8 kSpeakerPreset = 0x00;
constexpr quint8 kSpeakerMode = 0x01;
constexpr quint8 kDigitalMuxStatus = 0x00;
constexpr quint8 kNetworkDelayCompensation = 0x01;
constexpr int kMaxTextLength = 0xFF;

WdxMessageGeneric message(quint8 commandType, quint8 operationCode, const QRawData &payload)
{
    WdxMessageGeneric m;
    m.setStartOfFrame(WdxMessageGeneric::kStartOfFrame);
    m.setCommandType(commandType);
    m.setOperationCode(operationCode);
    m.setData(payload);
    return m;
}

WdxMessageGeneric read(quint8 operationCode, std::initializer_list<quint8> payload)
{
    QRawData bytes;
    for (quint8 b : payload)
        bytes.append(b);
    return message(enCommandType_Read, operationCode, bytes);
}

WdxMessageGeneric write(quint8 operationCode, std::initializer_list<quint8> head, const QRawData &tail)
{
    QRawData bytes;
    bytes.reserve(int(head.size()) + tail.byteLen());
    for (quint8 b : head)
        bytes.append(b);
    bytes.append(tail);
    return message(enCommandType_Write, operationCode, bytes);
}

WdxMessageGeneric write(quint8 operationCode, std::initializer_list<quint8> payload)
{
    QRawData bytes;
    for (quint8 b : payload)
        bytes.append(b);
    return message(enCommandType_Write, operationCode, bytes);
}

quint8 channelCode(quint8 base, quint8 channel)
{
    return quint8(base + channel);
}

QRawData values16(quint8 subCode, const QList<quint16> &values)
{
    QRawData bytes(1 + 2 * values.size());
    bytes.setAt(0, subCode);
    for (int i = 0; i < values.size(); ++i)
        bytes.setVal(1 + 2 * i, 2, values.at(i));
    return bytes;
}

// The size and checksum only travel with the states that close a download.
WdxMessageGeneric firmwareStatus(quint8 subCode, quint8 state, bool closes, quint16 size, const QRawData &bytes)
{
    if (!closes)
        return write(enOperationCode_DeviceFirmware, {subCode, state});
    QRawData tail(2);
    tail.setVal(0, 2, size);
    tail.append(bytes);
    return write(enOperationCode_DeviceFirmware, {subCode, state}, tail);
}

WdxMessageGeneric security(quint8 subCode, const QString &password)
{
    const int n = qMin(password.size(), kMaxTextLength);
    QRawData bytes(2 + n);
    bytes.setAt(0, subCode);
    bytes.setAt(1, quint8(n));
    bytes.setVal(2, n, password.left(n));
    return message(enCommandType_Write, enOperationCode_SecuritySettings, bytes);
}

} // namespace

WdxMessageGeneric readNullMessage()
{
    return read(enOperationCode_NullCommand, {});
}

WdxMessageGeneric writeNullMessage()
{
    return write(enOperationCode_NullCommand, {});
}

WdxMessageGeneric readDeviceInfoMessage(quint8 subCode)
{
    return read(enOperationCode_DeviceInfo, {subCode});
}

WdxMessageGeneric readMainStatusMessage()
{
    return read(enOperationCode_DeviceFirmware, {kMainStatus});
}

WdxMessageGeneric writeMainStatusMessage(quint8 state, quint16 size, const QRawData &bytes)
{
    return firmwareStatus(kMainStatus, state, state == kCloseImageState, size, bytes);
}

WdxMessageGeneric readMainBlockMessage(quint8 block)
{
    return read(enOperationCode_DeviceFirmware, {kMainBlock, block});
}

WdxMessageGeneric writeMainBlockMessage(quint8 block, const QRawData &bytes)
{
    return write(enOperationCode_DeviceFirmware, {kMainBlock, block}, bytes);
}

WdxMessageGeneric readDspStatusMessage()
{
    return read(enOperationCode_DeviceFirmware, {kDspStatus});
}

WdxMessageGeneric writeDspStatusMessage(quint8 state, quint16 size, const QRawData &bytes)
{
    const bool closes = state == kCloseImageState || state == kCloseMainPresetState || state == kCloseSubPresetState;
    return firmwareStatus(kDspStatus, state, closes, size, bytes);
}

WdxMessageGeneric readDspBlockMessage(quint8 block)
{
    return read(enOperationCode_DeviceFirmware, {kDspBlock, block});
}

WdxMessageGeneric writeDspBlockMessage(quint8 block, const QRawData &bytes)
{
    return write(enOperationCode_DeviceFirmware, {kDspBlock, block}, bytes);
}

WdxMessageGeneric readOutputGainsMessage()
{
    return read(enOperationCode_GainSettings, {kAllOutputs});
}

WdxMessageGeneric writeOutputGainsMessage(const QList<quint8> &gains)
{
    QRawData bytes(1 + gains.size());
    bytes.setAt(0, kAllOutputs);
    for (int i = 0; i < gains.size(); ++i)
        bytes.setAt(1 + i, gains.at(i));
    return message(enCommandType_Write, enOperationCode_GainSettings, bytes);
}

WdxMessageGeneric readFrontPanelGainsMessage()
{
    return read(enOperationCode_GainSettings, {kFrontPanelGains});
}

WdxMessageGeneric readInputDelaysMessage()
{
    return read(enOperationCode_DelaySettings, {kInputBase});
}

WdxMessageGeneric writeInputDelaysMessage(const QList<quint16> &delays)
{
    return message(enCommandType_Write, enOperationCode_DelaySettings, values16(kInputBase, delays));
}

WdxMessageGeneric readOutputDelaysMessage()
{
    return read(enOperationCode_DelaySettings, {kOutputBase});
}

WdxMessageGeneric writeOutputDelaysMessage(const QList<quint16> &delays)
{
    return message(enCommandType_Write, enOperationCode_DelaySettings, values16(kOutputBase, delays));
}

WdxMessageGeneric readPreProcessingPatchMessage(quint8 channel)
{
    return read(enOperationCode_PatchSettings, {channelCode(kPreProcessingBase, channel)});
}

WdxMessageGeneric writePreProcessingPatchMessage(quint8 channel, quint8 patch)
{
    return write(enOperationCode_PatchSettings, {channelCode(kPreProcessingBase, channel), patch});
}

WdxMessageGeneric readOutputPatchMessage(quint8 channel)
{
    return read(enOperationCode_PatchSettings, {channelCode(kOutputBase, channel)});
}

WdxMessageGeneric writeOutputPatchMessage(quint8 channel, quint8 patch)
{
    return write(enOperationCode_PatchSettings, {channelCode(kOutputBase, channel), patch});
}

WdxMessageGeneric readEqInfoMessage()
{
    return read(enOperationCode_EqSettings, {kInfo});
}

WdxMessageGeneric readEqMessage(quint8 channel)
{
    return read(enOperationCode_EqSettings, {channelCode(kPreProcessingBase, channel)});
}

WdxMessageGeneric writeEqMessage(quint8 channel, bool isEnabled, const QList<WdxEqBand *> &bands)
{
    QRawData bytes(2 + 4 * bands.size());
    bytes.setAt(0, channelCode(kPreProcessingBase, channel));
    bytes.setAt(1, isEnabled ? 0x01 : 0x00);
    for (int i = 0; i < bands.size(); ++i) {
        const WdxEqBand *band = bands.at(i);
        if (!band)
            continue; // already zero
        const int pos = 2 + 4 * i;
        bytes.setAt(pos, band->control());
        bytes.setAt(pos + 1, band->frequency());
        bytes.setAt(pos + 2, band->gain());
        bytes.setAt(pos + 3, band->qualityFactor());
    }
    return message(enCommandType_Write, enOperationCode_EqSettings, bytes);
}

WdxMessageGeneric readCompressorMessage(quint8 channel)
{
    return read(enOperationCode_CompressorSettings, {channelCode(kOutputBase, channel)});
}

WdxMessageGeneric writeCompressorMessage(quint8 channel, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled)
{
    return write(enOperationCode_CompressorSettings,
                 {channelCode(kOutputBase, channel), ratio, decay, threshold, quint8(isEnabled ? 0x01 : 0x00)});
}

WdxMessageGeneric readSpeakerPresetMessage()
{
    return read(enOperationCode_SpeakerModeSettings, {kSpeakerPreset});
}

WdxMessageGeneric readSpeakerModeMessage()
{
    return read(enOperationCode_SpeakerModeSettings, {kSpeakerMode});
}

WdxMessageGeneric writeSpeakerVariantMessage(quint8 mainVariant, quint8 subVariant)
{
    return write(enOperationCode_SpeakerModeSettings, {kSpeakerMode, mainVariant, subVariant});
}

WdxMessageGeneric unlockMessage(const QString &password)
{
    return security(kUnlock, password);
}

WdxMessageGeneric lockMessage(const QString &password)
{
    return security(kLock, password);
}

WdxMessageGeneric readDigitalMuxStatusMessage()
{
    return read(enOperationCode_DeviceSpecificFunctions, {kDigitalMuxStatus});
}

WdxMessageGeneric writeDigitalMuxStatusMessage(quint8 status)
{
    return write(enOperationCode_DeviceSpecificFunctions, {kDigitalMuxStatus, status});
}

WdxMessageGeneric readNetworkDelayCompensationMessage()
{
    return read(enOperationCode_DeviceSpecificFunctions, {kNetworkDelayCompensation});
}

WdxMessageGeneric writeNetworkDelayCompensationMessage(quint16 value)
{
    return write(enOperationCode_DeviceSpecificFunctions,
                 {kNetworkDelayCompensation, quint8(value >> 8), quint8(value & 0xFF)});
}

// The frame twins.

QRawData readNullFrame() { return WdxMessageGeneric::buildFrame(readNullMessage()); }
QRawData writeNullFrame() { return WdxMessageGeneric::buildFrame(writeNullMessage()); }
QRawData readDeviceInfoFrame(quint8 subCode) { return WdxMessageGeneric::buildFrame(readDeviceInfoMessage(subCode)); }
QRawData readMainStatusFrame() { return WdxMessageGeneric::buildFrame(readMainStatusMessage()); }
QRawData writeMainStatusFrame(quint8 state, quint16 size, const QRawData &bytes)
{
    return WdxMessageGeneric::buildFrame(writeMainStatusMessage(state, size, bytes));
}
QRawData readMainBlockFrame(quint8 block) { return WdxMessageGeneric::buildFrame(readMainBlockMessage(block)); }
QRawData writeMainBlockFrame(quint8 block, const QRawData &bytes)
{
    return WdxMessageGeneric::buildFrame(writeMainBlockMessage(block, bytes));
}
QRawData readDspStatusFrame() { return WdxMessageGeneric::buildFrame(readDspStatusMessage()); }
QRawData writeDspStatusFrame(quint8 state, quint16 size, const QRawData &bytes)
{
    return WdxMessageGeneric::buildFrame(writeDspStatusMessage(state, size, bytes));
}
QRawData readDspBlockFrame(quint8 block) { return WdxMessageGeneric::buildFrame(readDspBlockMessage(block)); }
QRawData writeDspBlockFrame(quint8 block, const QRawData &bytes)
{
    return WdxMessageGeneric::buildFrame(writeDspBlockMessage(block, bytes));
}
QRawData readOutputGainsFrame() { return WdxMessageGeneric::buildFrame(readOutputGainsMessage()); }
QRawData writeOutputGainsFrame(const QList<quint8> &gains)
{
    return WdxMessageGeneric::buildFrame(writeOutputGainsMessage(gains));
}
QRawData readFrontPanelGainsFrame() { return WdxMessageGeneric::buildFrame(readFrontPanelGainsMessage()); }
QRawData readInputDelaysFrame() { return WdxMessageGeneric::buildFrame(readInputDelaysMessage()); }
QRawData writeInputDelaysFrame(const QList<quint16> &delays)
{
    return WdxMessageGeneric::buildFrame(writeInputDelaysMessage(delays));
}
QRawData readOutputDelaysFrame() { return WdxMessageGeneric::buildFrame(readOutputDelaysMessage()); }
QRawData writeOutputDelaysFrame(const QList<quint16> &delays)
{
    return WdxMessageGeneric::buildFrame(writeOutputDelaysMessage(delays));
}
QRawData readPreProcessingPatchFrame(quint8 channel)
{
    return WdxMessageGeneric::buildFrame(readPreProcessingPatchMessage(channel));
}
QRawData writePreProcessingPatchFrame(quint8 channel, quint8 patch)
{
    return WdxMessageGeneric::buildFrame(writePreProcessingPatchMessage(channel, patch));
}
QRawData readOutputPatchFrame(quint8 channel) { return WdxMessageGeneric::buildFrame(readOutputPatchMessage(channel)); }
QRawData writeOutputPatchFrame(quint8 channel, quint8 patch)
{
    return WdxMessageGeneric::buildFrame(writeOutputPatchMessage(channel, patch));
}
QRawData readEqInfoFrame() { return WdxMessageGeneric::buildFrame(readEqInfoMessage()); }
QRawData readEqFrame(quint8 channel) { return WdxMessageGeneric::buildFrame(readEqMessage(channel)); }
QRawData writeEqFrame(quint8 channel, bool isEnabled, const QList<WdxEqBand *> &bands)
{
    return WdxMessageGeneric::buildFrame(writeEqMessage(channel, isEnabled, bands));
}
QRawData readCompressorFrame(quint8 channel) { return WdxMessageGeneric::buildFrame(readCompressorMessage(channel)); }
QRawData writeCompressorFrame(quint8 channel, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled)
{
    return WdxMessageGeneric::buildFrame(writeCompressorMessage(channel, ratio, decay, threshold, isEnabled));
}
QRawData readSpeakerPresetFrame() { return WdxMessageGeneric::buildFrame(readSpeakerPresetMessage()); }
QRawData readSpeakerModeFrame() { return WdxMessageGeneric::buildFrame(readSpeakerModeMessage()); }
QRawData writeSpeakerVariantFrame(quint8 mainVariant, quint8 subVariant)
{
    return WdxMessageGeneric::buildFrame(writeSpeakerVariantMessage(mainVariant, subVariant));
}
QRawData unlockFrame(const QString &password) { return WdxMessageGeneric::buildFrame(unlockMessage(password)); }
QRawData lockFrame(const QString &password) { return WdxMessageGeneric::buildFrame(lockMessage(password)); }
QRawData readDigitalMuxStatusFrame() { return WdxMessageGeneric::buildFrame(readDigitalMuxStatusMessage()); }
QRawData writeDigitalMuxStatusFrame(quint8 status)
{
    return WdxMessageGeneric::buildFrame(writeDigitalMuxStatusMessage(status));
}
QRawData readNetworkDelayCompensationFrame()
{
    return WdxMessageGeneric::buildFrame(readNetworkDelayCompensationMessage());
}
QRawData writeNetworkDelayCompensationFrame(quint16 value)
{
    return WdxMessageGeneric::buildFrame(writeNetworkDelayCompensationMessage(value));
}

} // namespace WdxRequestBuilder
