#pragma once

#include "logger/QLoggerLevel.h"
#include "logger/QLoggerManager.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QtEndian>

#include <mutex>
#include <zlib.h>

namespace FirmwareTest {

const QString kPackageResource = QStringLiteral(":/FirmwareUpdate/WDX_firmware.rvf");

inline QByteArray embeddedPackage()
{
    QFile file(kPackageResource);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// zlib's CRC-32: the reference the package's CRCs are checked against.
inline quint32 zlibCrc(const QByteArray &bytes)
{
    return quint32(::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(bytes.constData()),
                           uInt(bytes.size())));
}

inline void putU32(QByteArray &out, quint32 value)
{
    char b[4];
    qToBigEndian(value, b);
    out.append(b, 4);
}

inline quint32 getU32(const QByteArray &bytes, int pos)
{
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(bytes.constData() + pos));
}

// A section written by hand, independently of the application's writer: header fields as
// given, records stored exactly as passed (no inversion here), CRC of the body unless one is
// forced.
struct HandSection
{
    QByteArray target = "RWDX";
    quint32 offsetSize = 0;
    quint32 blockSize = 4;
    quint32 totalBlocks = 0;
    QByteArray version = "2.01";
    QByteArray checksum = QByteArray("\x01\x02\x03\x04", 4);
    QList<QPair<quint32, QByteArray>> storedRecords; // id, stored (inverted) bytes
    QByteArray extraBody;                            // appended after the records

    QByteArray body() const
    {
        QByteArray b = target;
        putU32(b, offsetSize);
        putU32(b, blockSize);
        putU32(b, totalBlocks);
        b.append(version);
        b.append(checksum);
        for (const auto &r : storedRecords) {
            putU32(b, r.first);
            b.append(r.second);
        }
        b.append(extraBody);
        return b;
    }
    QByteArray bytes() const
    {
        const QByteArray b = body();
        QByteArray s;
        putU32(s, quint32(b.size()));
        s.append(b);
        putU32(s, zlibCrc(b));
        return s;
    }
};

inline QByteArray invert(QByteArray bytes)
{
    for (char &c : bytes)
        c = char(~quint8(c));
    return bytes;
}

// A well-formed section with K blocks of B bytes, ids 0..K-1, device bytes from a pattern.
inline HandSection wellFormed(const QByteArray &target, quint32 blocks, quint32 blockSize, quint8 seed = 1)
{
    HandSection s;
    s.target = target;
    s.blockSize = blockSize;
    s.totalBlocks = blocks;
    for (quint32 i = 0; i < blocks; ++i) {
        QByteArray device(int(blockSize), '\0');
        for (int j = 0; j < device.size(); ++j)
            device[j] = char(quint8(seed + i * 31 + j * 7));
        s.storedRecords.append(qMakePair(i, invert(device)));
    }
    return s;
}

// A preset section whose first block names the preset and its kind.
inline HandSection preset(const QByteArray &id, const QByteArray &kind, quint32 blocks = 2, const QByteArray &version = "2.01",
                          quint32 blockSize = 160)
{
    HandSection s = wellFormed("RPRS", blocks, blockSize, quint8(id.at(0)));
    s.version = version;
    if (blocks > 0) {
        QByteArray device = invert(s.storedRecords[0].second);
        device.replace(0, id.size(), id);
        if (device.size() >= 139)
            device.replace(135, kind.size(), kind);
        s.storedRecords[0].second = invert(device);
    }
    return s;
}

// Collects the logger's console lines from every thread while installed.
class LogCapture
{
public:
    LogCapture()
    {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        clear();
        previous() = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(mutex());
        return store();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex());
        store().clear();
    }
    // Lines "... [level][thread][module][function] message"; an empty level or function matches any.
    int count(const QString &level, const QString &module, const QString &function, const QString &message) const
    {
        int n = 0;
        for (const QString &line : lines()) {
            if (!level.isEmpty() && !line.contains(QStringLiteral("[%1][").arg(level)))
                continue;
            const QString tail = function.isEmpty() ? QStringLiteral("[%1][").arg(module)
                                                    : QStringLiteral("[%1][%2] %3").arg(module, function, message);
            if (function.isEmpty() ? (line.contains(tail) && line.endsWith(QStringLiteral("] ") + message))
                                   : line.endsWith(tail))
                ++n;
        }
        return n;
    }
    int countContaining(const QString &module, const QString &text) const
    {
        int n = 0;
        for (const QString &line : lines())
            n += (line.contains(QStringLiteral("[%1][").arg(module)) && line.contains(text)) ? 1 : 0;
        return n;
    }

private:
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static QStringList &store()
    {
        static QStringList lines;
        return lines;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler p = nullptr;
        return p;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        {
            std::lock_guard<std::mutex> lock(mutex());
            store().append(message);
        }
        if (type != QtDebugMsg && previous())
            previous()(type, context, message);
    }
};

} // namespace FirmwareTest
