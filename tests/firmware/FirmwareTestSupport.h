#pragma once

#include "logger/QLoggerLevel.h"
#include "logger/QLoggerManager.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
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

inline QByteArray invert(QByteArray bytes)
{
    for (char &c : bytes)
        c = char(~quint8(c));
    return bytes;
}

// A section written by hand, independently of the application's writer: header fields as
// given, records stored exactly as passed, CRC of the body.
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

    QByteArray bytes() const
    {
        QByteArray b = target;
        putU32(b, offsetSize);
        putU32(b, blockSize);
        putU32(b, totalBlocks);
        b += version + checksum;
        for (const auto &r : storedRecords) {
            putU32(b, r.first);
            b.append(r.second);
        }
        b.append(extraBody);
        QByteArray s;
        putU32(s, quint32(b.size()));
        s.append(b);
        putU32(s, zlibCrc(b));
        return s;
    }
};

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
inline HandSection preset(const QByteArray &id, const QByteArray &kind, quint32 blocks = 2,
                          const QByteArray &version = "2.01", quint32 blockSize = 160)
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

// One image of a package read straight from its bytes: blocks as the device must receive them
// (by id cut to 8 bits), the size field of a closing request and the image checksum.
struct ImageBytes
{
    QMap<int, QByteArray> blocks;
    quint16 size = 0;
    QByteArray checksum;
};

// The section of that target (and, for presets, whose first block starts with the id).
inline ImageBytes imageOf(const QByteArray &package, const QByteArray &target, const QByteArray &presetId = {})
{
    for (int pos = 0; pos + 8 <= package.size(); pos += int(getU32(package, pos)) + 8) {
        const QByteArray body = package.mid(pos + 4, int(getU32(package, pos)));
        const int b = int(getU32(body, 8)), k = int(getU32(body, 12));
        if (body.left(4) != target || (!presetId.isEmpty() && invert(body.mid(28, 3)) != presetId))
            continue;
        ImageBytes image;
        for (int i = 0; i < k; ++i)
            image.blocks[int(getU32(body, 24 + i * (b + 4)) & 0xFF)] = invert(body.mid(24 + i * (b + 4) + 4, b));
        image.size = quint16(b * k);
        image.checksum = body.mid(20, 4);
        return image;
    }
    return ImageBytes();
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Collects the logger's console lines from every thread while installed.
class LogCapture
{
public:
    LogCapture()
    {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        lines().clear();
        previous() = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            {
                std::lock_guard<std::mutex> lock(mutex());
                lines().append(message);
            }
            if (type != QtDebugMsg && previous())
                previous()(type, context, message);
        });
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }
    // Lines "... [level][thread][module][function] message", the message matched exactly.
    int count(const QString &level, const QString &module, const QString &function, const QString &message) const
    {
        return matching([&](const QString &line) {
            return line.contains("[" + level + "][") && line.endsWith("[" + module + "][" + function + "] " + message);
        });
    }
    int countContaining(const QString &module, const QString &text) const
    {
        return matching([&](const QString &line) { return line.contains("[" + module + "][") && line.contains(text); });
    }

private:
    template<typename F> int matching(F match) const
    {
        std::lock_guard<std::mutex> lock(mutex());
        return int(std::count_if(lines().cbegin(), lines().cend(), match));
    }
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static QStringList &lines()
    {
        static QStringList l;
        return l;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler p = nullptr;
        return p;
    }
};

} // namespace FirmwareTest
