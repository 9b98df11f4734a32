#include "WdxFirmware.h"

#include "logger/QLoggerManager.h"

#include <array>

namespace {
const char kModule[] = "WdxFirmware";

constexpr int kHeaderSize = 24;
constexpr int kFieldSize = 4;
// The CRC walks the data in slices; the slicing does not change the result.
constexpr qint64 kCrcChunk = 16000;
}

WdxFirmware::WdxFirmware(QObject *parent) : QObject(parent)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Error);
    m_logger->debug(kModule, __func__, "Logger created");
}

bool WdxFirmware::load(const QRawData &file, int offset)
{
    m_blocks.clear();
    m_loaded = false;
    m_allBlocksParsed = false;

    const qint64 size = file.byteLen();
    if (offset < 0 || size - offset < kFieldSize)
        return false;

    m_logger->trace(kModule, __func__, "Parsing data size field");
    // getVal reads a value above 0x7FFFFFFF as 0, which refuses the section below.
    const qint64 n = file.getVal(offset, kFieldSize);
    m_dataSize = qint32(n);
    m_logger->trace(kModule, __func__, QStringLiteral("Fw size: %1, fw data size: %2").arg(n).arg(size - 8));
    if (n == 0 || size - offset - 7 <= n) {
        m_logger->error(kModule, __func__, "Error parsing file, bad file");
        return false;
    }

    m_logger->trace(kModule, __func__, "Copy fw data");
    m_fwData = file.GetRange(offset + kFieldSize, int(n));

    m_logger->trace(kModule, __func__, "Check CRC");
    m_parsedCrc = file.getUVal(offset + kFieldSize + int(n), kFieldSize);
    m_computedCrc = crc32(m_fwData);
    if (m_computedCrc != m_parsedCrc) {
        m_logger->trace(kModule, __func__,
                        QStringLiteral("Error parsing file, bad crc (computed[%2] != parsed[%3])")
                            .arg(m_computedCrc)
                            .arg(m_parsedCrc));
    }

    // A body shorter than its header cannot satisfy the size rule; refuse it the same way
    // without reading fields that are not there.
    if (n < kHeaderSize) {
        m_target.clear();
        m_offsetSize = m_blockSize = m_totalBlocks = m_payloadSize = 0;
        m_version = QRawData();
        m_imageChecksum = QRawData();
        m_logger->error(kModule, __func__, "Error parsing file, firmware data lenght less than declared");
        return false;
    }

    m_logger->trace(kModule, __func__, "Parse target dev");
    m_target = m_fwData.toText(0, kFieldSize);
    m_logger->trace(kModule, __func__, QStringLiteral("Target dev: %1").arg(m_target));
    m_logger->trace(kModule, __func__, "Parse ffset size");
    m_offsetSize = m_fwData.getUVal(4, kFieldSize);
    m_logger->trace(kModule, __func__, QStringLiteral("Offset size: %1").arg(m_offsetSize));
    m_logger->trace(kModule, __func__, "Parse block size");
    m_blockSize = m_fwData.getUVal(8, kFieldSize);
    m_logger->trace(kModule, __func__, QStringLiteral("Block size: %1").arg(m_blockSize));
    m_logger->trace(kModule, __func__, "Parse tot num blocks");
    m_totalBlocks = m_fwData.getUVal(12, kFieldSize);
    m_logger->trace(kModule, __func__, QStringLiteral("Tot blocks: %1").arg(m_totalBlocks));
    m_logger->trace(kModule, __func__, "Parse fw version");
    m_version = m_fwData.GetRange(16, kFieldSize);
    m_logger->trace(kModule, __func__, QStringLiteral("Fw Version: %1").arg(versionText()));
    m_logger->trace(kModule, __func__, "Parse checksum");
    m_imageChecksum = m_fwData.GetRange(20, kFieldSize);
    m_logger->trace(kModule, __func__, QStringLiteral("Checksum: 0x%1").arg(m_imageChecksum.toHex()));

    // Only the low 16 bits of the block count enter the payload; the rule is checked in 64 bits
    // so that no header can overflow it.
    const quint64 payload = quint64(m_totalBlocks % 65536u) * m_blockSize;
    m_payloadSize = quint32(payload);
    if (qint64(payload + 4ull * m_totalBlocks) != n - kHeaderSize) {
        m_logger->error(kModule, __func__, "Error parsing file, firmware data lenght less than declared");
        return false;
    }

    m_loaded = true;
    m_logger->trace(kModule, __func__, "Parse first block");
    parseBlock(0);
    m_logger->trace(kModule, __func__, "Loaded");
    emit dataLoaded();
    return true;
}

bool WdxFirmware::parseBlock(quint32 index)
{
    if (!m_loaded)
        return false;
    const quint64 record = quint64(m_blockSize) + kFieldSize;
    const quint64 pos = kHeaderSize + quint64(index) * record;
    if (quint64(m_fwData.byteLen()) < pos + record)
        return false;

    const quint32 id = m_fwData.getUVal(int(pos), kFieldSize);
    if (m_blocks.contains(id))
        return true;

    // Stored inverted; the device receives the complement.
    const int len = int(m_blockSize);
    QByteArray data(len, Qt::Uninitialized);
    const char *src = m_fwData.constData() + pos + kFieldSize;
    char *dst = data.data();
    for (int i = 0; i < len; ++i)
        dst[i] = char(~quint8(src[i]));
    m_blocks.insert(id, QRawData(data));
    emit blockParsed(id);
    return true;
}

void WdxFirmware::parseAllBlocks()
{
    for (quint32 i = 0; i < m_totalBlocks; ++i) {
        if (!parseBlock(i))
            return;
    }
    m_allBlocksParsed = true;
}

QString WdxFirmware::versionText() const
{
    return QString::fromLatin1(m_version.toByteArray());
}

quint32 WdxFirmware::crc32(const QRawData &bytes)
{
    return crc32(bytes.constData(), bytes.byteLen());
}

quint32 WdxFirmware::crc32(const char *bytes, qint64 len)
{
    std::array<quint32, 256> table;
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        table[i] = c;
    }

    quint32 crc = 0xFFFFFFFFu;
    const auto *p = reinterpret_cast<const quint8 *>(bytes);
    for (qint64 done = 0; done < len; done += kCrcChunk) {
        const qint64 end = qMin(len, done + kCrcChunk);
        for (qint64 i = done; i < end; ++i)
            crc = table[(crc ^ p[i]) & 0xFFu] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}
