#pragma once

#include "protocol/QRawData.h"

#include <QMap>
#include <QObject>
#include <QString>

namespace QLogger { class QLoggerManager; }

// One section of a firmware package, parsed, checked and served block by block.
//
// Package layout (no package header, sections back to back, integers big-endian):
//   section: data size N (4) | body (N) | CRC-32 of the body (4)
//   body:    target (4 chars) | offset size (4) | block size B (4) | total blocks K (4)
//            | version (4 chars) | image checksum (4 raw bytes) | K block records
//   record:  block id (4) | B data bytes, each stored as its one's complement
// Size rule: (K mod 65536) * B + 4 * K = N - 24.
class WdxFirmware : public QObject
{
    Q_OBJECT
public:
    explicit WdxFirmware(QObject *parent = nullptr);

    // Parses the section that starts at offset of the package bytes. A CRC mismatch does not
    // stop the load (only a Trace line records it); crcMatches() tells afterwards.
    bool load(const QRawData &file, int offset);
    // Puts the record at that position (0-based, counted in records) into the block map.
    bool parseBlock(quint32 index);
    void parseAllBlocks();

    bool isLoaded() const { return m_loaded; }
    bool allBlocksParsed() const { return m_allBlocksParsed; }
    QString target() const { return m_target; }
    quint32 blockSize() const { return m_blockSize; }
    quint32 totalBlocks() const { return m_totalBlocks; }
    qint32 dataSize() const { return m_dataSize; }
    quint32 payloadSize() const { return m_payloadSize; }
    QRawData version() const { return m_version; }
    QString versionText() const;
    QRawData imageChecksum() const { return m_imageChecksum; }
    // Blocks as the device receives them, by id, ascending.
    QMap<quint32, QRawData> blocks() const { return m_blocks; }
    int blockCount() const { return m_blocks.size(); }

    // The CRC stored after the body and the one computed over it by the last load.
    quint32 parsedCrc() const { return m_parsedCrc; }
    quint32 computedCrc() const { return m_computedCrc; }
    bool crcMatches() const { return m_parsedCrc == m_computedCrc; }

    // CRC-32/ISO-HDLC (zlib, IEEE 802.3).
    static quint32 crc32(const QRawData &bytes);
    static quint32 crc32(const char *bytes, qint64 len);

signals:
    void dataLoaded();
    void blockParsed(uint blockId);

private:
    QRawData m_fwData;
    bool m_loaded = false;
    bool m_allBlocksParsed = false;
    qint32 m_dataSize = 0;
    QString m_target;
    quint32 m_offsetSize = 0;
    quint32 m_blockSize = 0;
    quint32 m_totalBlocks = 0;
    QRawData m_version;
    QRawData m_imageChecksum;
    QMap<quint32, QRawData> m_blocks;
    quint32 m_payloadSize = 0;
    quint32 m_parsedCrc = 0;
    quint32 m_computedCrc = 0;
    QLogger::QLoggerManager *m_logger;
};
