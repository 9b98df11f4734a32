#pragma once

#include <QByteArray>
#include <QDebug>
#include <QMetaType>
#include <QObject>
#include <QString>

// Byte buffer of the whole device path: frames, payloads, bridge reports, firmware blocks.
// Multi-byte fields are big-endian unless an operation says otherwise. Positional operations
// other than at() check their range: on a bad range they write a warning, throw
// std::invalid_argument and leave the buffer untouched. The bytes are shared on copy.
class QRawData : public QObject
{
    Q_OBJECT
public:
    explicit QRawData(QObject *parent = nullptr);
    // size bytes of 0
    explicit QRawData(int size, QObject *parent = nullptr);
    // size bytes equal to the low 8 bits of fill
    QRawData(int size, int fill, QObject *parent = nullptr);
    // the slice of bytes from pos, to its end or len bytes long (cut to what exists)
    explicit QRawData(const QByteArray &bytes, int pos = 0, int len = -1, QObject *parent = nullptr);
    // the first len bytes of a character buffer (len < 0: up to the terminating NUL)
    QRawData(const char *bytes, int len, QObject *parent = nullptr);
    // the bytes written by a hexadecimal text
    explicit QRawData(const QString &hex, QObject *parent = nullptr);
    QRawData(const QRawData &other);
    QRawData(QRawData &&other) noexcept;
    ~QRawData() override;

    QRawData &operator=(const QRawData &other);
    QRawData &operator=(QRawData &&other) noexcept;

    int byteLen() const { return m_bytes.size(); }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // No range check: the caller checks first.
    quint8 at(int i) const { return quint8(m_bytes.constData()[i]); }
    void setAt(int i, quint8 value);

    void append(quint8 byte) { m_bytes.append(char(byte)); }
    void append(const QByteArray &bytes) { m_bytes.append(bytes); }
    void append(const QRawData &other) { m_bytes.append(other.m_bytes); }
    void append(const char *bytes, int len) { m_bytes.append(bytes, len); }
    void appendHex(const QString &hex);

    // Bytes added at the end are zero so that nothing uninitialised can reach the wire.
    void resize(int n);
    void reserve(int n) { m_bytes.reserve(n); }

    void setData(const QByteArray &bytes) { m_bytes = bytes; }
    // Copies len bytes; reuses the buffer when it is not shared.
    void setData(const char *bytes, int len);
    const QByteArray &toByteArray() const { return m_bytes; }
    const char *constData() const { return m_bytes.constData(); }

    QString toHex() const;
    void setHex(const QString &hex);
    QString toPrintable() const;
    QString toText(int pos = 0, int len = -1) const;
    QString toUtf16Text(int pos, int len) const;

    int getVal(int pos, int len, int order = 0) const;
    quint32 getUVal(int pos, int len, int order = 0) const;

    void setVal(int pos, int len, qint8 value) { setSigned(pos, len, value); }
    void setVal(int pos, int len, qint16 value) { setSigned(pos, len, value); }
    void setVal(int pos, int len, qint32 value) { setSigned(pos, len, value); }
    void setVal(int pos, int len, long value) { setSigned(pos, len, value); }
    void setVal(int pos, int len, qint64 value) { setSigned(pos, len, value); }
    void setVal(int pos, int len, quint8 value) { setUnsigned(pos, len, value); }
    void setVal(int pos, int len, quint16 value) { setUnsigned(pos, len, value); }
    void setVal(int pos, int len, quint32 value) { setUnsigned(pos, len, value); }
    void setVal(int pos, int len, unsigned long value) { setUnsigned(pos, len, value); }
    void setVal(int pos, int len, quint64 value) { setUnsigned(pos, len, value); }
    void setVal(int pos, int len, const QString &text, QChar fill = QLatin1Char(' '));

    QRawData right(int len) const;
    QRawData GetRange(int pos, int len = -1) const;
    void xorWith(const QRawData &other);

    bool operator==(const QRawData &other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const QRawData &other) const { return m_bytes != other.m_bytes; }
    // Ordered as unsigned big-endian numbers: leading zero bytes do not count.
    bool operator<(const QRawData &other) const { return compareNumeric(other) < 0; }
    bool operator<=(const QRawData &other) const { return compareNumeric(other) <= 0; }
    bool operator>(const QRawData &other) const { return compareNumeric(other) > 0; }
    bool operator>=(const QRawData &other) const { return compareNumeric(other) >= 0; }

private:
    void setSigned(int pos, int len, qint64 value);
    void setUnsigned(int pos, int len, quint64 value);
    bool readNumber(int pos, int len, int order, quint64 &value) const;
    int compareNumeric(const QRawData &other) const;

    QByteArray m_bytes;
};

QDebug operator<<(QDebug debug, const QRawData &data);

Q_DECLARE_METATYPE(QRawData)
