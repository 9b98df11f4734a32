#pragma once

#include "protocol/QRawData.h"
#include "protocol/WdxEqBand.h"
#include "protocol/WdxMessageGeneric.h"

#include <QList>
#include <QString>

// The catalogue of every request the application can send. Each builder returns a ready
// message (SOF 0x55, CMD 0x00 read / 0x01 write, OP, payload; NB follows the payload, the
// checksum is computed when the frame is built). Each has a twin named ...Frame instead of
// ...Message that returns the finished frame bytes.
//
// Payloads: the first byte is the sub-code; channel indexes are 0-based and added to the
// family base (0x20 inputs, 0x30 pre-processing, 0x40 outputs); 16-bit values big-endian;
// lists element by element without a count; text as a count byte and one Latin-1 byte per
// character; booleans 0x01/0x00. Single values are the low 8 bits of the argument.
namespace WdxRequestBuilder {

enum enOperationCode : quint8 {
    enOperationCode_NullCommand = 0x00,
    enOperationCode_DeviceInfo = 0x01,
    enOperationCode_DeviceFirmware = 0x02,
    enOperationCode_GainSettings = 0x03,
    enOperationCode_DelaySettings = 0x04,
    enOperationCode_PatchSettings = 0x05,
    enOperationCode_EqSettings = 0x06,
    enOperationCode_CompressorSettings = 0x07,
    enOperationCode_SpeakerModeSettings = 0x08,
    enOperationCode_SecuritySettings = 0x09,
    enOperationCode_DeviceSpecificFunctions = 0xFD,
    enOperationCode_FirmwareUpdate = 0xFE,
};

enum enCommandType : quint8 {
    enCommandType_Read = 0x00,
    enCommandType_Write = 0x01,
};

// Device Info sub-codes the application reads.
enum enDeviceInfo : quint8 {
    enDeviceInfo_DeviceType = 0x00,
    enDeviceInfo_DeviceName = 0x01,
    enDeviceInfo_SerialNumber = 0x02,
    enDeviceInfo_FirmwareVersion = 0x03,
    enDeviceInfo_DeviceStatus = 0x04,
    enDeviceInfo_SecurityInfo = 0x05,
    enDeviceInfo_DspVersion = 0x0A,
    enDeviceInfo_PresetVersion = 0x0B,
    enDeviceInfo_InputMeters = 0x80,
    enDeviceInfo_OutputMeters = 0x81,
    enDeviceInfo_OutputUserCompressorMeters = 0x86,
};

// Firmware states that close a download and so carry the image size and checksum.
constexpr quint8 kCloseImageState = 0x81;
constexpr quint8 kCloseMainPresetState = 0x82;
constexpr quint8 kCloseSubPresetState = 0x83;

WdxMessageGeneric readNullMessage();
WdxMessageGeneric writeNullMessage();
WdxMessageGeneric readDeviceInfoMessage(quint8 subCode);
WdxMessageGeneric readMainStatusMessage();
WdxMessageGeneric writeMainStatusMessage(quint8 state, quint16 size, const QRawData &bytes);
WdxMessageGeneric readMainBlockMessage(quint8 block);
WdxMessageGeneric writeMainBlockMessage(quint8 block, const QRawData &bytes);
WdxMessageGeneric readDspStatusMessage();
WdxMessageGeneric writeDspStatusMessage(quint8 state, quint16 size, const QRawData &bytes);
WdxMessageGeneric readDspBlockMessage(quint8 block);
WdxMessageGeneric writeDspBlockMessage(quint8 block, const QRawData &bytes);
WdxMessageGeneric readOutputGainsMessage();
WdxMessageGeneric writeOutputGainsMessage(const QList<quint8> &gains);
WdxMessageGeneric readFrontPanelGainsMessage();
WdxMessageGeneric readInputDelaysMessage();
WdxMessageGeneric writeInputDelaysMessage(const QList<quint16> &delays);
WdxMessageGeneric readOutputDelaysMessage();
WdxMessageGeneric writeOutputDelaysMessage(const QList<quint16> &delays);
WdxMessageGeneric readPreProcessingPatchMessage(quint8 channel);
WdxMessageGeneric writePreProcessingPatchMessage(quint8 channel, quint8 patch);
WdxMessageGeneric readOutputPatchMessage(quint8 channel);
WdxMessageGeneric writeOutputPatchMessage(quint8 channel, quint8 patch);
WdxMessageGeneric readEqInfoMessage();
WdxMessageGeneric readEqMessage(quint8 channel);
// A null entry in bands is sent as a cleared band so that the band positions stay put.
WdxMessageGeneric writeEqMessage(quint8 channel, bool isEnabled, const QList<WdxEqBand *> &bands);
WdxMessageGeneric readCompressorMessage(quint8 channel);
WdxMessageGeneric writeCompressorMessage(quint8 channel, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);
WdxMessageGeneric readSpeakerPresetMessage();
WdxMessageGeneric readSpeakerModeMessage();
WdxMessageGeneric writeSpeakerVariantMessage(quint8 mainVariant, quint8 subVariant);
// The count is one byte: a password longer than 255 characters is cut to 255.
WdxMessageGeneric unlockMessage(const QString &password);
WdxMessageGeneric lockMessage(const QString &password);
WdxMessageGeneric readDigitalMuxStatusMessage();
WdxMessageGeneric writeDigitalMuxStatusMessage(quint8 status);
WdxMessageGeneric readNetworkDelayCompensationMessage();
WdxMessageGeneric writeNetworkDelayCompensationMessage(quint16 value);

QRawData readNullFrame();
QRawData writeNullFrame();
QRawData readDeviceInfoFrame(quint8 subCode);
QRawData readMainStatusFrame();
QRawData writeMainStatusFrame(quint8 state, quint16 size, const QRawData &bytes);
QRawData readMainBlockFrame(quint8 block);
QRawData writeMainBlockFrame(quint8 block, const QRawData &bytes);
QRawData readDspStatusFrame();
QRawData writeDspStatusFrame(quint8 state, quint16 size, const QRawData &bytes);
QRawData readDspBlockFrame(quint8 block);
QRawData writeDspBlockFrame(quint8 block, const QRawData &bytes);
QRawData readOutputGainsFrame();
QRawData writeOutputGainsFrame(const QList<quint8> &gains);
QRawData readFrontPanelGainsFrame();
QRawData readInputDelaysFrame();
QRawData writeInputDelaysFrame(const QList<quint16> &delays);
QRawData readOutputDelaysFrame();
QRawData writeOutputDelaysFrame(const QList<quint16> &delays);
QRawData readPreProcessingPatchFrame(quint8 channel);
QRawData writePreProcessingPatchFrame(quint8 channel, quint8 patch);
QRawData readOutputPatchFrame(quint8 channel);
QRawData writeOutputPatchFrame(quint8 channel, quint8 patch);
QRawData readEqInfoFrame();
QRawData readEqFrame(quint8 channel);
QRawData writeEqFrame(quint8 channel, bool isEnabled, const QList<WdxEqBand *> &bands);
QRawData readCompressorFrame(quint8 channel);
QRawData writeCompressorFrame(quint8 channel, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);
QRawData readSpeakerPresetFrame();
QRawData readSpeakerModeFrame();
QRawData writeSpeakerVariantFrame(quint8 mainVariant, quint8 subVariant);
QRawData unlockFrame(const QString &password);
QRawData lockFrame(const QString &password);
QRawData readDigitalMuxStatusFrame();
QRawData writeDigitalMuxStatusFrame(quint8 status);
QRawData readNetworkDelayCompensationFrame();
QRawData writeNetworkDelayCompensationFrame(quint16 value);

} // namespace WdxRequestBuilder
