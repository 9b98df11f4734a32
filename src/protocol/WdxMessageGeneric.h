#pragma once

#include "protocol/QRawData.h"

#include <QMetaType>
#include <QObject>
#include <QString>

// One frame of the device protocol:
//   SOF(1) NB(2, = DATA length + 2) CMD(1) OP(1) DATA(NB - 2) CHECKSUM(2)
// Multi-byte fields are big-endian; CHECKSUM is the two's complement of the byte sum of
// everything before it. Passed by value in signals; setters act (and signal) only on change.
class WdxMessageGeneric : public QObject
{
    Q_OBJECT
public:
    static constexpr quint8 kStartOfFrame = 0x55;
    static constexpr quint8 kStartOfFrameAlt = 0xAA;
    static constexpr quint8 kWriteBit = 0x01;
    static constexpr quint8 kErrorBit = 0x40;
    static constexpr quint8 kSlaveBit = 0x80;
    static constexpr int kHeaderSize = 5;
    static constexpr int kChecksumSize = 2;
    static constexpr int kMinFrameSize = kHeaderSize + kChecksumSize;
    // NB is 16 bits and counts CMD and OP too.
    static constexpr int kMaxDataSize = 0xFFFF - 2;

    explicit WdxMessageGeneric(QObject *parent = nullptr);
    WdxMessageGeneric(const WdxMessageGeneric &other);
    ~WdxMessageGeneric() override;
    WdxMessageGeneric &operator=(const WdxMessageGeneric &other);

    quint8 startOfFrame() const { return m_startOfFrame; }
    quint16 numberOfBytes() const { return m_numberOfBytes; }
    quint8 commandType() const { return m_commandType; }
    bool hasError() const { return m_commandType & kErrorBit; }
    bool isSlaveMessage() const { return m_commandType & kSlaveBit; }
    quint8 operationCode() const { return m_operationCode; }
    const QRawData &data() const { return m_data; }
    quint16 checksum() const { return m_checksum; }
    bool isValid() const { return m_isValid; }

    void setStartOfFrame(quint8 value);
    void setNumberOfBytes(quint16 value);
    void setCommandType(quint8 value);
    void setHasError(bool value);
    void setIsSlaveMessage(bool value);
    void setOperationCode(quint8 value);
    void setData(const QRawData &value);
    void setChecksum(quint16 value);
    void setIsValid(bool value);

    // Reads one frame from the head of bytes into message. Returns how many bytes the caller
    // may drop from the head (1 for a byte that cannot start a frame; the whole frame length
    // whether or not its checksum is right), or -1 while more bytes are needed.
    static int parse(const QRawData &bytes, WdxMessageGeneric &message);
    // Frame bytes with a freshly computed checksum; empty when the payload is longer than
    // NB can express.
    static QRawData buildFrame(const WdxMessageGeneric &message);
    static quint16 frameChecksum(const QRawData &bytes);

    // Same SOF, CMD and OP, same DATA length and, if any, the same first DATA byte.
    bool isSameRequest(const WdxMessageGeneric &other) const;

    static QString commandTypeName(quint8 commandType);
    static QString operationCodeName(quint8 operationCode);
    static QString subCodeName(quint8 operationCode, quint8 subCode);

    QString toString() const;

signals:
    void startOfFrameChanged();
    void numberOfBytesChanged();
    void commandTypeChanged();
    void hasErrorChanged();
    void isSlaveMessageChanged();
    void operationCodeChanged();
    void dataChanged();
    void checksumChanged();
    void isValidChanged();
    void messageChanged();

private:
    void setDataBytes(const char *bytes, int len);
    void dataReplaced();

    quint8 m_startOfFrame = 0;
    quint16 m_numberOfBytes = 2;
    quint8 m_commandType = 0;
    quint8 m_operationCode = 0;
    QRawData m_data;
    quint16 m_checksum = 0;
    bool m_isValid = false;
};

Q_DECLARE_METATYPE(WdxMessageGeneric)
