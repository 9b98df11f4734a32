// Positional operations of QRawData driven by arbitrary bytes and checked against a plain
// byte-vector model: same bytes after every operation, same values read, a range error
// exactly where the model says the range is bad, and nothing changed by a failed operation.

#include "FuzzSupport.h"
#include "protocol/QRawData.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

using Model = std::vector<uint8_t>;

class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    uint8_t u8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int small() { return int(int8_t(u8())); } // -128..127: negative positions and lengths too
    int index()
    {
        if (u8() & 0x80)
            return small();
        const int high = u8();
        return high * 4 + u8() % 4;
    }
    quint64 u64()
    {
        quint64 v = 0;
        for (int i = 0; i < 8; ++i)
            v = (v << 8) | u8();
        return v;
    }
    QByteArray bytes(int maxLen)
    {
        const int n = qMin(int(u8()) % (maxLen + 1), int(m_size - qMin(m_pos, m_size)));
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), n);
        m_pos += size_t(n);
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

bool same(const QRawData &raw, const Model &model)
{
    if (size_t(raw.byteLen()) != model.size())
        return false;
    for (size_t i = 0; i < model.size(); ++i)
        if (raw.at(int(i)) != model[i])
            return false;
    return true;
}

bool fits(int pos, int len, size_t size)
{
    return pos >= 0 && len >= 0 && qint64(pos) + len <= qint64(size);
}

template<typename Op>
bool throwsRangeError(Op op)
{
    try {
        op();
    } catch (const std::invalid_argument &) {
        return true;
    }
    return false;
}

// The model's reading of a field: leading zeros aside, more than 8 bytes do not fit.
bool modelNumber(const Model &m, int pos, int len, int order, quint64 &value)
{
    value = 0;
    int significant = 0;
    for (int i = 0; i < len; ++i) {
        const uint8_t b = m[size_t(order == 1 ? pos + len - 1 - i : pos + i)];
        if (significant == 0 && b == 0)
            continue;
        ++significant;
        value = (value << 8) | b;
    }
    return significant <= 8;
}

void modelWrite(Model &m, int pos, int len, quint64 value, bool negative)
{
    for (int i = len - 1, shift = 0; i >= 0; --i, shift += 8)
        m[size_t(pos + i)] = shift < 64 ? uint8_t(value >> shift) : (negative ? 0xFF : 0x00);
}

int modelCompare(const Model &a, const Model &b)
{
    size_t ia = 0, ib = 0;
    while (ia < a.size() && a[ia] == 0)
        ++ia;
    while (ib < b.size() && b[ib] == 0)
        ++ib;
    const size_t na = a.size() - ia, nb = b.size() - ib;
    if (na != nb)
        return na < nb ? -1 : 1;
    for (size_t i = 0; i < na; ++i)
        if (a[ia + i] != b[ib + i])
            return a[ia + i] < b[ib + i] ? -1 : 1;
    return 0;
}

Model modelOf(const QByteArray &bytes)
{
    return Model(bytes.begin(), bytes.end());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    QRawData raw;
    Model model;

    while (!in.empty()) {
        const QRawData before(raw);
        bool failed = false;
        switch (in.u8() % 20) {
        case 0: {
            const int i = in.index();
            const uint8_t v = in.u8();
            failed = throwsRangeError([&] { raw.setAt(i, v); });
            require(failed == !(i >= 0 && size_t(i) < model.size()));
            if (!failed)
                model[size_t(i)] = v;
            break;
        }
        case 1: {
            const uint8_t v = in.u8();
            raw.append(quint8(v));
            model.push_back(v);
            break;
        }
        case 2: {
            const QByteArray b = in.bytes(64);
            raw.append(b);
            model.insert(model.end(), b.begin(), b.end());
            break;
        }
        case 3: {
            const int n = in.index();
            raw.resize(n);
            model.resize(size_t(qMax(n, 0)), 0);
            break;
        }
        case 4: {
            const int pos = in.index(), len = in.small() % 12;
            const qint64 v = qint64(in.u64());
            failed = throwsRangeError([&] { raw.setVal(pos, len, v); });
            require(failed == !fits(pos, len, model.size()));
            if (!failed)
                modelWrite(model, pos, len, quint64(v), v < 0);
            break;
        }
        case 5: {
            const int pos = in.index(), len = in.small() % 12;
            const quint64 v = in.u64();
            failed = throwsRangeError([&] { raw.setVal(pos, len, v); });
            require(failed == !fits(pos, len, model.size()));
            if (!failed)
                modelWrite(model, pos, len, v, false);
            break;
        }
        case 6:
        case 7: {
            const bool isUnsigned = raw.byteLen() % 2;
            const int pos = in.index(), len = in.small() % 12, order = in.u8() % 3;
            qint64 got = 0;
            failed = throwsRangeError([&] { got = isUnsigned ? qint64(raw.getUVal(pos, len, order)) : raw.getVal(pos, len, order); });
            require(failed == !fits(pos, len, model.size()));
            if (!failed) {
                quint64 v = 0;
                const bool fitsIn64 = modelNumber(model, pos, len, order, v);
                const quint64 limit = isUnsigned ? 0xFFFFFFFFu : 0x7FFFFFFFu;
                require(got == ((fitsIn64 && v <= limit) ? qint64(v) : 0));
            }
            break;
        }
        case 8: {
            const int pos = in.index(), len = in.small();
            QString text;
            failed = throwsRangeError([&] { text = raw.toText(pos, len); });
            const bool ok = pos >= 0 && size_t(pos) <= model.size() && (len == -1 || fits(pos, len, model.size()));
            require(failed == !ok);
            if (!failed) {
                const size_t n = len == -1 ? model.size() - size_t(pos) : size_t(len);
                require(size_t(text.size()) == n);
                for (size_t i = 0; i < n; ++i)
                    require(text.at(int(i)).unicode() == model[size_t(pos) + i]);
            }
            break;
        }
        case 9: {
            const int pos = in.index(), len = in.small();
            QString text;
            failed = throwsRangeError([&] { text = raw.toUtf16Text(pos, len); });
            const bool ok = pos >= 0 && size_t(pos) <= model.size() && (len == -1 || fits(pos, len, model.size()));
            require(failed == !ok);
            break;
        }
        case 10: {
            const int len = in.small();
            QRawData part;
            failed = throwsRangeError([&] { part = raw.right(len); });
            require(failed == (len < 0));
            if (!failed) {
                const size_t n = qMin(size_t(len), model.size());
                require(same(part, Model(model.end() - long(n), model.end())));
            }
            break;
        }
        case 11: {
            const int pos = in.index(), len = in.small();
            QRawData part;
            failed = throwsRangeError([&] { part = raw.GetRange(pos, len); });
            require(failed == !(pos >= 0 && size_t(pos) <= model.size()));
            if (!failed) {
                const size_t available = model.size() - size_t(pos);
                const size_t n = (len < 0 || size_t(len) > available) ? available : size_t(len);
                require(same(part, Model(model.begin() + pos, model.begin() + pos + long(n))));
            }
            break;
        }
        case 12: {
            const QByteArray other = in.bytes(16);
            raw.xorWith(QRawData(other));
            const size_t n = qMin(model.size(), size_t(other.size()));
            for (size_t i = 0; i < n; ++i)
                model[model.size() - n + i] ^= uint8_t(other[int(size_t(other.size()) - n + i)]);
            break;
        }
        case 13: {
            const int pos = in.index(), len = in.small() % 24;
            const QByteArray chars = in.bytes(24);
            QString text = QString::fromLatin1(chars.constData(), chars.size());
            if (!text.isEmpty() && (chars.at(0) & 1))
                text[0] = QChar(ushort(0x100 + uint8_t(chars.at(0))));
            const QChar fill(ushort(in.u8()));
            failed = throwsRangeError([&] { raw.setVal(pos, len, text, fill); });
            require(failed == !fits(pos, len, model.size()));
            if (!failed) {
                const int padding = qMax(len - text.size(), 0);
                for (int i = 0; i < len; ++i) {
                    const QChar c = i < padding ? fill : text.at(i - padding);
                    model[size_t(pos + i)] = c.unicode() < 256 ? uint8_t(c.unicode()) : 0;
                }
            }
            break;
        }
        case 14: {
            const QString hex = raw.toHex();
            require(hex.size() == 2 * raw.byteLen());
            require(QRawData(hex) == raw);
            require(hex.toLower() == hex);
            break;
        }
        case 15: {
            const QString printable = raw.toPrintable();
            int expected = 0;
            for (uint8_t b : model)
                expected += (b >= 0x20 && b <= 0x7F) ? 1 : 2;
            require(printable.size() == expected);
            break;
        }
        case 16: {
            const QRawData other(in.bytes(12));
            const int c = modelCompare(model, modelOf(other.toByteArray()));
            require((raw < other) == (c < 0) && (raw > other) == (c > 0));
            require((raw <= other) == (c <= 0) && (raw >= other) == (c >= 0));
            require((raw == other) == (model == modelOf(other.toByteArray())));
            break;
        }
        case 17: {
            // A copy shares the bytes until one side writes.
            QRawData copy(raw);
            if (copy.byteLen() > 0)
                copy.setAt(0, quint8(copy.at(0) ^ 0xFF));
            copy.resize(copy.byteLen() + 3);
            break;
        }
        case 18: {
            const QByteArray bytes = in.bytes(16);
            const QString text = QString::fromLatin1(bytes.constData(), bytes.size());
            raw.appendHex(text);
            const QByteArray added = QByteArray::fromHex(bytes);
            model.insert(model.end(), added.begin(), added.end());
            break;
        }
        case 19: {
            // A slice of its own bytes.
            const int pos = int(in.u8()) % (raw.byteLen() + 1);
            const int len = int(in.u8()) % (raw.byteLen() - pos + 1);
            raw.setData(raw.constData() + pos, len);
            model = Model(model.begin() + pos, model.begin() + pos + len);
            break;
        }
        }
        if (failed)
            require(raw == before);
        require(same(raw, model));
        if (model.size() > 8192) {
            raw.resize(0);
            model.clear();
        }
    }
    return 0;
}
