#include "QRawData.h"
#include "ThreadHandoff.h"

#include <cstring>
#include <stdexcept>

namespace {

// Queued connections look the type up by name, so it must be known before any signal
// carrying it is connected, not only once a value has been made.
const int s_rawDataTypeId = qRegisterMetaType<QRawData>("QRawData");

[[noreturn]] void rangeError(const char *warning, const char *error)
{
    qWarning("%s", warning);
    throw std::invalid_argument(error);
}

const char kHexDigits[] = "0123456789abcdef";

// pos and len must describe a slice of a buffer of size bytes; len < 0 means "to the end".
bool sliceFits(int pos, int len, int size)
{
    if (pos < 0 || pos > size)
        return false;
    return len < 0 ? len == -1 : len <= size - pos;
}

} // namespace

QRawData::QRawData(QObject *parent) : QObject(parent)
{
    Q_UNUSED(s_rawDataTypeId);
}

QRawData::QRawData(int size, QObject *parent) : QObject(parent), m_bytes(qMax(size, 0), '\0') {}

QRawData::QRawData(int size, int fill, QObject *parent)
    : QObject(parent), m_bytes(qMax(size, 0), char(quint8(fill)))
{
}

QRawData::QRawData(const QByteArray &bytes, int pos, int len, QObject *parent)
    : QObject(parent), m_bytes(pos == 0 && (len < 0 || len >= bytes.size()) ? bytes : bytes.mid(pos, len))
{
}

QRawData::QRawData(const char *bytes, int len, QObject *parent)
    : QObject(parent), m_bytes(bytes ? QByteArray(bytes, len) : QByteArray())
{
}

QRawData::QRawData(const QString &hex, QObject *parent) : QObject(parent)
{
    setHex(hex);
}

QRawData::QRawData(const QRawData &other) : QObject(nullptr), m_bytes(ThreadHandoff::accept(other).m_bytes)
{
    ThreadHandoff::announce(this);
}

QRawData::QRawData(QRawData &&other) noexcept : QObject(nullptr), m_bytes(std::move(other.m_bytes)) {}

QRawData::~QRawData() = default;

QRawData &QRawData::operator=(const QRawData &other)
{
    ThreadHandoff::accept(other);
    // Sharing the same bytes already: nothing to do.
    if (m_bytes.constData() != other.m_bytes.constData() || m_bytes.size() != other.m_bytes.size())
        m_bytes = other.m_bytes;
    return *this;
}

QRawData &QRawData::operator=(QRawData &&other) noexcept
{
    m_bytes.swap(other.m_bytes);
    return *this;
}

void QRawData::setAt(int i, quint8 value)
{
    if (i < 0 || i >= m_bytes.size())
        rangeError("RawData::setAt(int) error", "RawData::setAt(int) error");
    m_bytes[i] = char(value);
}

void QRawData::appendHex(const QString &hex)
{
    m_bytes.append(QByteArray::fromHex(hex.toLatin1()));
}

void QRawData::resize(int n)
{
    const int old = m_bytes.size();
    n = qMax(n, 0);
    m_bytes.resize(n);
    if (n > old)
        std::memset(m_bytes.data() + old, 0, size_t(n - old));
}

void QRawData::setData(const char *bytes, int len)
{
    len = bytes ? qMax(len, 0) : 0;
    const char *own = m_bytes.constData();
    const bool overlaps = len > 0 && bytes < own + m_bytes.size() && own < bytes + len;
    if (m_bytes.isDetached() && !overlaps && len <= m_bytes.capacity()) {
        m_bytes.resize(len);
        if (len > 0)
            std::memcpy(m_bytes.data(), bytes, size_t(len));
    } else {
        m_bytes = QByteArray(bytes, len);
    }
}

QString QRawData::toHex() const
{
    const int n = m_bytes.size();
    const auto *src = reinterpret_cast<const uchar *>(m_bytes.constData());
    QString text(n * 2, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < n; ++i) {
        *out++ = QLatin1Char(kHexDigits[src[i] >> 4]);
        *out++ = QLatin1Char(kHexDigits[src[i] & 0x0F]);
    }
    return text;
}

void QRawData::setHex(const QString &hex)
{
    m_bytes = QByteArray::fromHex(hex.toLatin1());
}

QString QRawData::toPrintable() const
{
    QString text;
    text.reserve(m_bytes.size() * 2);
    for (int i = 0; i < m_bytes.size(); ++i) {
        const quint8 b = at(i);
        if (b >= 0x20 && b <= 0x7F) {
            text.append(QLatin1Char(char(b)));
        } else {
            text.append(QLatin1Char(kHexDigits[b >> 4]));
            text.append(QLatin1Char(kHexDigits[b & 0x0F]));
        }
    }
    return text;
}

QString QRawData::toText(int pos, int len) const
{
    if (!sliceFits(pos, len, m_bytes.size()))
        rangeError("RawData.getBitVal Invalid len!", "RawData.getBitVal -> Invalid len.");
    if (len < 0)
        len = m_bytes.size() - pos;
    return QString::fromLatin1(m_bytes.constData() + pos, len);
}

QString QRawData::toUtf16Text(int pos, int len) const
{
    if (!sliceFits(pos, len, m_bytes.size()))
        rangeError("RawData.getBitVal Invalid len!", "RawData.getBitVal -> Invalid len.");
    if (len < 0)
        len = m_bytes.size() - pos;
    const int units = len / 2;
    QString text(units, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < units; ++i) {
        const int p = pos + 2 * i;
        out[i] = QChar(ushort(at(p) | (at(p + 1) << 8)));
    }
    return text;
}

bool QRawData::readNumber(int pos, int len, int order, quint64 &value) const
{
    if (len < 0 || !sliceFits(pos, len, m_bytes.size()))
        rangeError("RawData.getBitVal Invalid len!", "RawData.getBitVal -> Invalid len.");
    // Wider than 64 bits only fits when the extra most significant bytes are zero.
    quint64 v = 0;
    bool overflow = false;
    for (int i = 0; i < len; ++i) {
        const quint8 b = at(order == 1 ? pos + len - 1 - i : pos + i);
        if (v >> 56)
            overflow = true;
        v = (v << 8) | b;
    }
    value = v;
    return !overflow;
}

int QRawData::getVal(int pos, int len, int order) const
{
    quint64 v = 0;
    if (!readNumber(pos, len, order, v) || v > 0x7FFFFFFFu)
        return 0;
    return int(v);
}

quint32 QRawData::getUVal(int pos, int len, int order) const
{
    quint64 v = 0;
    if (!readNumber(pos, len, order, v) || v > 0xFFFFFFFFu)
        return 0;
    return quint32(v);
}

void QRawData::setSigned(int pos, int len, qint64 value)
{
    if (len < 0 || !sliceFits(pos, len, m_bytes.size()))
        rangeError("RawData::setVal(int, int, qint64) error", "RawData::setVal(int, int, qint64) error");
    if (len == 0)
        return;
    char *out = m_bytes.data() + pos;
    for (int i = len - 1, shift = 0; i >= 0; --i, shift += 8)
        out[i] = char(shift < 64 ? quint8(value >> shift) : (value < 0 ? 0xFF : 0x00));
}

void QRawData::setUnsigned(int pos, int len, quint64 value)
{
    if (len < 0 || !sliceFits(pos, len, m_bytes.size()))
        rangeError("RawData::setVal(int, int, quint64) error", "RawData::setVal(int, int, quint64) error");
    if (len == 0)
        return;
    char *out = m_bytes.data() + pos;
    for (int i = len - 1, shift = 0; i >= 0; --i, shift += 8)
        out[i] = char(shift < 64 ? quint8(value >> shift) : 0x00);
}

void QRawData::setVal(int pos, int len, const QString &text, QChar fill)
{
    if (len < 0 || !sliceFits(pos, len, m_bytes.size()))
        rangeError("RawData::setVal(int, int, QString char) error", "RawData::setVal(int, int, QString, QChar) error");
    if (len == 0)
        return;
    const int padding = qMax(len - text.size(), 0);
    char *out = m_bytes.data() + pos;
    auto byteOf = [](QChar c) { return char(c.unicode() < 256 ? c.unicode() : 0); };
    for (int i = 0; i < len; ++i)
        out[i] = i < padding ? byteOf(fill) : byteOf(text.at(i - padding));
}

QRawData QRawData::right(int len) const
{
    if (len < 0)
        rangeError("RawData.right() Invalid len!", "RawData.right -> Invalid len.");
    return QRawData(m_bytes.right(len));
}

QRawData QRawData::GetRange(int pos, int len) const
{
    if (pos < 0 || pos > m_bytes.size())
        rangeError("RawData.GetRange() Invalid range!", "RawData.GetRange -> Invalid range.");
    const int available = m_bytes.size() - pos;
    if (len < 0 || len > available)
        len = available;
    return QRawData(m_bytes, pos, len);
}

void QRawData::xorWith(const QRawData &other)
{
    const int n = qMin(m_bytes.size(), other.m_bytes.size());
    if (n == 0)
        return;
    char *mine = m_bytes.data() + (m_bytes.size() - n);
    const char *theirs = other.m_bytes.constData() + (other.m_bytes.size() - n);
    for (int i = 0; i < n; ++i)
        mine[i] = char(mine[i] ^ theirs[i]);
}

int QRawData::compareNumeric(const QRawData &other) const
{
    const auto *a = reinterpret_cast<const uchar *>(m_bytes.constData());
    const auto *b = reinterpret_cast<const uchar *>(other.m_bytes.constData());
    int na = m_bytes.size();
    int nb = other.m_bytes.size();
    while (na > 0 && *a == 0) {
        ++a;
        --na;
    }
    while (nb > 0 && *b == 0) {
        ++b;
        --nb;
    }
    if (na != nb)
        return na < nb ? -1 : 1;
    return na == 0 ? 0 : std::memcmp(a, b, size_t(na));
}

QDebug operator<<(QDebug debug, const QRawData &data)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "QRawData(" << data.toHex() << ')';
    return debug;
}
