#include "WdxMessageGeneric.h"
#include "ThreadHandoff.h"

#include <cstring>

namespace {

quint32 byteSum(const uchar *bytes, int len)
{
    quint32 sum = 0;
    for (int i = 0; i < len; ++i)
        sum += bytes[i];
    return sum;
}

quint16 twosComplement(quint32 sum)
{
    return quint16(0x10000u - (sum & 0xFFFFu));
}

// Sub-codes whose low nibble is a channel index: 0x2_ inputs, 0x3_ pre-processing
// channels, 0x4_ outputs, 0x5_ speaker modes.
QString channelName(const char *pattern, quint8 subCode)
{
    return QString::fromLatin1(pattern).arg(subCode & 0x0F);
}

QString deviceInfoName(quint8 subCode)
{
    switch (subCode) {
    case 0x00: return QStringLiteral("Device Type");
    case 0x01: return QStringLiteral("Device Name");
    case 0x02: return QStringLiteral("Serial Number");
    case 0x03: return QStringLiteral("Firmware version");
    case 0x04: return QStringLiteral("Device status");
    case 0x05: return QStringLiteral("Security Info");
    case 0x06: return QStringLiteral("Inputs Number");
    case 0x07: return QStringLiteral("Preproc Number");
    case 0x08: return QStringLiteral("Outputs Number");
    case 0x09: return QStringLiteral("Modes Number");
    case 0x0A: return QStringLiteral("Dsp Version");
    case 0x80: return QStringLiteral("Input Meters");
    case 0x81: return QStringLiteral("Output Meters");
    case 0x82: return QStringLiteral("In/Out Meters");
    case 0x83: return QStringLiteral("Input Eq In/Out Meters");
    case 0x84: return QStringLiteral("Output Eq In/Out Meters");
    case 0x85: return QStringLiteral("In/Out Eq In/Out Meters");
    case 0x86: return QStringLiteral("Output User Compressor Meters");
    case 0x87: return QStringLiteral("Output Compressor In/Out Meters");
    case 0x88: return QStringLiteral("In/Out Compressor In/Out Meters");
    default: break;
    }
    switch (subCode & 0xF0) {
    case 0x20: return channelName("Input #%1 Name", subCode);
    case 0x30: return channelName("Preproc #%1 Name", subCode);
    case 0x40: return channelName("Output #%1 Name", subCode);
    case 0x50: return channelName("Mode #%1 Name", subCode);
    default: return QString();
    }
}

QString firmwareName(quint8 subCode)
{
    switch (subCode) {
    case 0x00: return QStringLiteral("Main Status");
    case 0x01: return QStringLiteral("Main Block");
    case 0x02: return QStringLiteral("Dsp Status");
    case 0x03: return QStringLiteral("Dsp Block");
    default: return QString();
    }
}

QString gainDelayName(quint8 subCode, const char *inputs, const char *outputs, const char *all)
{
    switch (subCode) {
    case 0x00: return QStringLiteral("Info");
    case 0x20: return QString::fromLatin1(inputs);
    case 0x40: return QString::fromLatin1(outputs);
    case 0xFF: return QString::fromLatin1(all);
    default: return QString();
    }
}

} // namespace

WdxMessageGeneric::WdxMessageGeneric(QObject *parent) : QObject(parent) {}

WdxMessageGeneric::WdxMessageGeneric(const WdxMessageGeneric &other)
    : QObject(nullptr),
      m_startOfFrame(ThreadHandoff::accept(other).m_startOfFrame),
      m_numberOfBytes(other.m_numberOfBytes),
      m_commandType(other.m_commandType),
      m_operationCode(other.m_operationCode),
      m_data(other.m_data),
      m_checksum(other.m_checksum),
      m_isValid(other.m_isValid)
{
    ThreadHandoff::announce(this);
}

WdxMessageGeneric::~WdxMessageGeneric() = default;

WdxMessageGeneric &WdxMessageGeneric::operator=(const WdxMessageGeneric &other)
{
    if (this == &other)
        return *this;
    ThreadHandoff::accept(other);
    setStartOfFrame(other.m_startOfFrame);
    setNumberOfBytes(other.m_numberOfBytes);
    setCommandType(other.m_commandType);
    setOperationCode(other.m_operationCode);
    setData(other.m_data);
    setChecksum(other.m_checksum);
    setIsValid(other.m_isValid);
    return *this;
}

void WdxMessageGeneric::setStartOfFrame(quint8 value)
{
    if (m_startOfFrame == value)
        return;
    m_startOfFrame = value;
    emit startOfFrameChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setNumberOfBytes(quint16 value)
{
    if (m_numberOfBytes == value)
        return;
    m_numberOfBytes = value;
    emit numberOfBytesChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setCommandType(quint8 value)
{
    if (m_commandType == value)
        return;
    m_commandType = value;
    emit commandTypeChanged();
    emit hasErrorChanged();
    emit isSlaveMessageChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setHasError(bool value)
{
    if (hasError() == value)
        return;
    m_commandType ^= kErrorBit;
    emit commandTypeChanged();
    emit hasErrorChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setIsSlaveMessage(bool value)
{
    if (isSlaveMessage() == value)
        return;
    m_commandType ^= kSlaveBit;
    emit commandTypeChanged();
    emit isSlaveMessageChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setOperationCode(quint8 value)
{
    if (m_operationCode == value)
        return;
    m_operationCode = value;
    emit operationCodeChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setData(const QRawData &value)
{
    // Equal bytes are equal hexadecimal texts; comparing bytes saves building the texts.
    if (m_data == value)
        return;
    m_data = value;
    dataReplaced();
}

void WdxMessageGeneric::setDataBytes(const char *bytes, int len)
{
    if (m_data.byteLen() == len && (len == 0 || std::memcmp(m_data.constData(), bytes, size_t(len)) == 0))
        return;
    m_data.setData(bytes, len);
    dataReplaced();
}

void WdxMessageGeneric::dataReplaced()
{
    setNumberOfBytes(quint16(qMin(m_data.byteLen() + 2, 0xFFFF)));
    emit dataChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setChecksum(quint16 value)
{
    if (m_checksum == value)
        return;
    m_checksum = value;
    emit checksumChanged();
    emit messageChanged();
}

void WdxMessageGeneric::setIsValid(bool value)
{
    if (m_isValid == value)
        return;
    m_isValid = value;
    emit isValidChanged();
    emit messageChanged();
}

int WdxMessageGeneric::parse(const QRawData &bytes, WdxMessageGeneric &message)
{
    const int size = bytes.byteLen();
    // Nothing to look at yet: the message is left as it was.
    if (size == 0)
        return -1;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    if (p[0] != kStartOfFrameAlt && p[0] != kStartOfFrame) {
        message.setIsValid(false);
        return 1;
    }
    if (size <= 4) {
        message.setIsValid(false);
        return -1;
    }
    message.setStartOfFrame(p[0]);
    const int nb = (p[1] << 8) | p[2];
    message.setNumberOfBytes(quint16(nb));
    if (size < nb + 5) {
        message.setIsValid(false);
        return -1;
    }
    message.setCommandType(p[3]);

    int summed;
    int frameLength;
    if (nb >= 2) {
        message.setOperationCode(p[4]);
        message.setDataBytes(reinterpret_cast<const char *>(p + 5), nb - 2);
        summed = nb + 3;
        frameLength = nb + 5;
    } else {
        // Too short to hold OP: the checksum follows CMD directly.
        message.setOperationCode(0);
        if (size < 6) {
            message.setIsValid(false);
            return -1;
        }
        summed = 4;
        frameLength = 6;
    }
    const quint16 received = quint16((p[summed] << 8) | p[summed + 1]);
    message.setChecksum(received);
    message.setIsValid(((received + byteSum(p, summed)) & 0xFFFFu) == 0);
    return frameLength;
}

QRawData WdxMessageGeneric::buildFrame(const WdxMessageGeneric &message)
{
    const int len = message.m_data.byteLen();
    if (len > kMaxDataSize) {
        qWarning("WdxMessageGeneric::buildFrame payload of %d bytes does not fit in a frame", len);
        return QRawData();
    }
    QByteArray frame(kMinFrameSize + len, Qt::Uninitialized);
    auto *out = reinterpret_cast<uchar *>(frame.data());
    out[0] = message.m_startOfFrame;
    out[1] = uchar(message.m_numberOfBytes >> 8);
    out[2] = uchar(message.m_numberOfBytes);
    out[3] = message.m_commandType;
    out[4] = message.m_operationCode;
    if (len > 0)
        std::memcpy(out + kHeaderSize, message.m_data.constData(), size_t(len));
    const quint16 checksum = twosComplement(byteSum(out, kHeaderSize + len));
    out[kHeaderSize + len] = uchar(checksum >> 8);
    out[kHeaderSize + len + 1] = uchar(checksum);
    return QRawData(frame);
}

quint16 WdxMessageGeneric::frameChecksum(const QRawData &bytes)
{
    return twosComplement(byteSum(reinterpret_cast<const uchar *>(bytes.constData()), bytes.byteLen()));
}

bool WdxMessageGeneric::isSameRequest(const WdxMessageGeneric &other) const
{
    if (m_startOfFrame != other.m_startOfFrame || m_commandType != other.m_commandType
        || m_operationCode != other.m_operationCode || m_data.byteLen() != other.m_data.byteLen())
        return false;
    return m_data.isEmpty() || m_data.at(0) == other.m_data.at(0);
}

QString WdxMessageGeneric::commandTypeName(quint8 commandType)
{
    switch (commandType) {
    case 0x00: return QStringLiteral("Read");
    case 0x01: return QStringLiteral("Write");
    case 0x80: return QStringLiteral("Ack Read");
    case 0x81: return QStringLiteral("Ack Write");
    case 0xC0: return QStringLiteral("Nack Read");
    case 0xC1: return QStringLiteral("Nack Write");
    default: return QStringLiteral("Unknown");
    }
}

QString WdxMessageGeneric::operationCodeName(quint8 operationCode)
{
    switch (operationCode) {
    case 0x00: return QStringLiteral("Null Command");
    case 0x01: return QStringLiteral("Device Info");
    case 0x02: return QStringLiteral("Device Firmware");
    case 0x03: return QStringLiteral("Gain Settings");
    case 0x04: return QStringLiteral("Delay Settings");
    case 0x05: return QStringLiteral("Patch Settings");
    case 0x06: return QStringLiteral("Eq Settings");
    case 0x07: return QStringLiteral("Compressor Settings");
    case 0x08: return QStringLiteral("Speaker Mode Settings");
    case 0x09: return QStringLiteral("Security Settings");
    case 0xFD: return QStringLiteral("Device Specific Functions");
    case 0xFE: return QStringLiteral("Firmware Update");
    default: return QStringLiteral("Unknown");
    }
}

QString WdxMessageGeneric::subCodeName(quint8 operationCode, quint8 subCode)
{
    const quint8 family = subCode & 0xF0;
    switch (operationCode) {
    case 0x01:
        return deviceInfoName(subCode);
    case 0x02:
        return firmwareName(subCode);
    case 0x03:
        return gainDelayName(subCode, "Input Gains", "Output Gains", "All Gains");
    case 0x04:
        return gainDelayName(subCode, "Input Delays", "Output Delays", "All Delays");
    case 0x05:
        if (subCode == 0x00)
            return QStringLiteral("Info");
        if (family == 0x30)
            return channelName("Preproc #%1 Patch", subCode);
        if (family == 0x40)
            return channelName("Output #%1 Patch", subCode);
        return QString();
    case 0x06:
        if (subCode == 0x00)
            return QStringLiteral("Info");
        if (family == 0x30)
            return channelName("Preproc #%1 Eq Settings", subCode);
        return QString();
    case 0x07:
        if (subCode == 0x00)
            return QStringLiteral("Info");
        if (family == 0x40)
            return channelName("Output #%1 Compressor Settings", subCode);
        return QString();
    case 0x08:
        if (subCode == 0x00)
            return QStringLiteral("Info");
        if (subCode == 0x01)
            return QStringLiteral("Mode Settings");
        return QString();
    case 0xFD:
        if (subCode == 0x00)
            return QStringLiteral("Digital Mux Status");
        if (subCode == 0x01)
            return QStringLiteral("Network Delay Compensation");
        return QString();
    default:
        return QString();
    }
}

QString WdxMessageGeneric::toString() const
{
    const QLatin1Char zero('0');
    return QStringLiteral("SOF: [%1]\nNB: [%2]\nCMD: [%3]\nOP: [%4]\nDATA: [%5]\nCHECKSUM: [%6]\n")
        .arg(m_startOfFrame, 2, 16, zero)
        .arg(m_numberOfBytes, 4, 16, zero)
        .arg(m_commandType, 2, 16, zero)
        .arg(m_operationCode, 2, 16, zero)
        .arg(m_data.toHex())
        .arg(m_checksum, 4, 16, zero);
}
