#include "WdxFirmwarePackage.h"

#include "WdxFirmware.h"

#include <QtEndian>

namespace WdxFirmwarePackage {

const QString kTargetMain = QStringLiteral("RWDX");
const QString kTargetDsp = QStringLiteral("RDSP");
const QString kTargetPreset = QStringLiteral("RPRS");
const QString kTargetCabinet = QStringLiteral("RCAB");
const QString kPresetVersion = QStringLiteral("2.01");
const QString kKindMainSpeaker = QStringLiteral("PASS");
const QString kKindSub = QStringLiteral("SUB ");

qint64 sectionDataSize(const QRawData &package, int pos)
{
    // Fewer than four bytes left cannot name a section: it reads as size 0.
    if (pos < 0 || package.byteLen() - pos < 4)
        return 0;
    return package.getVal(pos, 4);
}

bool sectionFits(qint64 n, qint64 size, qint64 pos)
{
    return n != 0 && n < size - pos - 7;
}

void presetIdentity(const WdxFirmware &firmware, QString *presetId, QString *presetKind)
{
    const QMap<quint32, QRawData> blocks = firmware.blocks();
    const QRawData first = blocks.isEmpty() ? QRawData() : blocks.first();
    if (presetId) {
        *presetId = first.byteLen() >= kPresetIdPos + kPresetIdLen ? first.toText(kPresetIdPos, kPresetIdLen)
                                                                   : QString();
    }
    if (presetKind) {
        *presetKind = first.byteLen() >= kPresetKindPos + kPresetKindLen
            ? first.toText(kPresetKindPos, kPresetKindLen)
            : QString();
    }
}

enSectionUse sectionUse(const WdxFirmware &firmware, QString *presetId, QString *presetKind)
{
    const QString target = firmware.target();
    if (target == kTargetMain)
        return enSectionUse_Main;
    if (target == kTargetCabinet)
        return enSectionUse_Cabinet;
    if (target == kTargetDsp)
        return enSectionUse_Dsp;
    if (target != kTargetPreset)
        return enSectionUse_Unmanaged;

    QString id, kind;
    presetIdentity(firmware, &id, &kind);
    if (presetId)
        *presetId = id;
    if (presetKind)
        *presetKind = kind;
    if (firmware.versionText() != kPresetVersion)
        return enSectionUse_BadPresetVersion;
    if (kind == kKindMainSpeaker)
        return enSectionUse_MainPreset;
    if (kind == kKindSub)
        return enSectionUse_SubPreset;
    return enSectionUse_UnknownPresetKind;
}

QString sectionUseText(enSectionUse use)
{
    switch (use) {
    case enSectionUse_Main: return QStringLiteral("main image");
    case enSectionUse_Dsp: return QStringLiteral("dsp image");
    case enSectionUse_Cabinet: return QStringLiteral("skipped (cabinet)");
    case enSectionUse_MainPreset: return QStringLiteral("main-speaker preset");
    case enSectionUse_SubPreset: return QStringLiteral("sub preset");
    case enSectionUse_BadPresetVersion: return QStringLiteral("dropped (preset version)");
    case enSectionUse_UnknownPresetKind: return QStringLiteral("dropped (preset kind)");
    case enSectionUse_Unmanaged: return QStringLiteral("dropped (unmanaged target)");
    }
    return QString();
}

PackageReport inspect(const QRawData &package)
{
    PackageReport report;
    const qint64 size = package.byteLen();
    report.fileSize = size;

    auto refuse = [&report](enRefusal why, const QString &reason, int section) {
        if (report.refusal != enRefusal_None)
            return;
        report.refusal = why;
        report.reason = reason;
        report.refusingSection = section;
    };

    if (size < kSectionOverhead) {
        refuse(enRefusal_BadFile, QStringLiteral("file of %1 bytes is too short for a section").arg(size), -1);
        return report;
    }

    bool haveMain = false, haveDsp = false;
    QMap<QString, bool> mainPresets, subPresets;
    qint64 pos = 0;
    while (pos < size) {
        SectionReport s;
        s.offset = int(pos);
        s.dataSize = sectionDataSize(package, int(pos));
        s.fits = sectionFits(s.dataSize, size, pos);
        const int index = report.sections.size();
        if (!s.fits) {
            report.sections.append(s);
            refuse(enRefusal_BadFile,
                   s.dataSize == 0
                       ? QStringLiteral("section at offset %1 has data size 0").arg(pos)
                       : QStringLiteral("section at offset %1: data size %2 runs past the end of the file")
                             .arg(pos)
                             .arg(s.dataSize),
                   index);
            break;
        }

        WdxFirmware firmware;
        s.loaded = firmware.load(package, int(pos));
        s.target = firmware.target();
        s.version = firmware.versionText();
        s.blockSize = firmware.blockSize();
        s.totalBlocks = firmware.totalBlocks();
        s.payloadSize = firmware.payloadSize();
        s.imageChecksum = firmware.imageChecksum().toHex();
        s.parsedCrc = firmware.parsedCrc();
        s.computedCrc = firmware.computedCrc();
        s.crcGood = firmware.crcMatches();
        if (!s.loaded) {
            refuse(enRefusal_BadFile,
                   QStringLiteral("section at offset %1 breaks the size rule ((K mod 65536) * B + 4 * K = N - 24)")
                       .arg(pos),
                   index);
        } else {
            s.use = sectionUse(firmware, &s.presetId, &s.presetKind);
            if (!s.crcGood) {
                refuse(enRefusal_BadCRC,
                       QStringLiteral("section at offset %1 has a bad CRC (computed %2, stored %3)")
                           .arg(pos)
                           .arg(s.computedCrc, 8, 16, QLatin1Char('0'))
                           .arg(s.parsedCrc, 8, 16, QLatin1Char('0')),
                       index);
            }
            switch (s.use) {
            case enSectionUse_Main:
                haveMain = true;
                report.mainVersion = s.version;
                break;
            case enSectionUse_Dsp:
                haveDsp = true;
                report.dspVersion = s.version;
                break;
            case enSectionUse_MainPreset: mainPresets.insert(s.presetId, true); break;
            case enSectionUse_SubPreset: subPresets.insert(s.presetId, true); break;
            default: break;
            }
            firmware.parseAllBlocks();
            s.allBlocksParsed = firmware.allBlocksParsed();
            s.distinctBlocks = firmware.blockCount();
        }
        report.sections.append(s);
        pos += s.dataSize + kSectionOverhead;
    }

    if (!haveMain)
        refuse(enRefusal_BadFile, QStringLiteral("no main image (RWDX) in the package"), -1);
    if (!haveDsp)
        refuse(enRefusal_BadFile, QStringLiteral("no DSP image (RDSP) in the package"), -1);

    if (report.accepted()) {
        report.mainPresetIds = mainPresets.keys();
        report.subPresetIds = subPresets.keys();
    } else {
        report.mainVersion.clear();
        report.dspVersion.clear();
    }
    return report;
}

namespace {
void appendU32(QByteArray &out, quint32 value)
{
    char b[4];
    qToBigEndian(value, b);
    out.append(b, 4);
}
}

QByteArray buildRawSection(const QString &target, quint32 offsetSize, quint32 blockSize, quint32 totalBlocks,
                           const QByteArray &version, const QByteArray &imageChecksum,
                           const QList<QPair<quint32, QByteArray>> &blocks)
{
    QByteArray body;
    body.append(target.toLatin1().leftJustified(4, ' ', true));
    appendU32(body, offsetSize);
    appendU32(body, blockSize);
    appendU32(body, totalBlocks);
    body.append(version.leftJustified(4, ' ', true));
    body.append(imageChecksum.leftJustified(4, '\0', true));
    for (const auto &block : blocks) {
        appendU32(body, block.first);
        QByteArray stored = block.second;
        for (char &c : stored)
            c = char(~quint8(c));
        body.append(stored);
    }

    QByteArray section;
    section.reserve(body.size() + kSectionOverhead);
    appendU32(section, quint32(body.size()));
    section.append(body);
    appendU32(section, WdxFirmware::crc32(body.constData(), body.size()));
    return section;
}

QByteArray buildSection(const SectionSpec &layout)
{
    if (layout.target.size() != 4 || layout.target.toLatin1().size() != 4 || layout.version.size() != 4
        || layout.imageChecksum.size() != 4 || layout.blockSize == 0)
        return QByteArray();
    const qint64 blocks = (qint64(layout.image.size()) + layout.blockSize - 1) / layout.blockSize;
    // The size rule counts blocks modulo 65536 and the data size field is signed 32-bit.
    if (blocks > 65535 || kBodyHeaderSize + blocks * (qint64(layout.blockSize) + kBlockIdSize) > 0x7FFFFFFF - 8)
        return QByteArray();

    QList<QPair<quint32, QByteArray>> records;
    records.reserve(int(blocks));
    for (qint64 i = 0; i < blocks; ++i) {
        QByteArray data = layout.image.mid(int(i * layout.blockSize), int(layout.blockSize));
        if (data.size() < int(layout.blockSize))
            data.append(QByteArray(int(layout.blockSize) - data.size(), char(0xFF)));
        records.append(qMakePair(quint32(i), data));
    }
    return buildRawSection(layout.target, layout.offsetSize, layout.blockSize, quint32(blocks), layout.version,
                           layout.imageChecksum, records);
}

} // namespace WdxFirmwarePackage
