#include "WdxPkgTool.h"

#include "firmware/WdxFirmware.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace WdxPkgTool {

using namespace WdxFirmwarePackage;

const QByteArray kVersionTag = QByteArrayLiteral("WDXVER");

namespace {

// The device keeps blocks by their id cut to 8 bits.
constexpr quint32 kMaxDeviceBlocks = 256;

QString hex32(quint32 value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0'));
}

// The section's blocks, in id order, as the device receives them.
QByteArray deviceImage(const QRawData &package, int offset)
{
    WdxFirmware firmware;
    if (!firmware.load(package, offset))
        return QByteArray();
    firmware.parseAllBlocks();
    QByteArray image;
    const QMap<quint32, QRawData> blocks = firmware.blocks();
    for (const QRawData &block : blocks)
        image.append(block.toByteArray());
    return image;
}

bool readFile(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *bytes = file.readAll();
    return true;
}

bool isLatin1Text(const QString &text, int length)
{
    if (text.size() != length)
        return false;
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0xFF)
            return false;
    }
    return true;
}

QStringList sectionWarnings(const SectionReport &s, const QByteArray &image)
{
    QStringList warnings;
    if (!s.loaded)
        return warnings;
    const QString tag = versionTag(image);
    if (tag.isNull())
        warnings << QStringLiteral("the image carries no %1 tag: the device will not report version %2")
                        .arg(QString::fromLatin1(kVersionTag), s.version);
    else if (tag != s.version)
        warnings << QStringLiteral("the image carries version %1 but the section says %2: the device would "
                                   "report %1 and the application would offer the update again")
                        .arg(tag, s.version);
    if (s.totalBlocks > kMaxDeviceBlocks)
        warnings << QStringLiteral("%1 blocks: ids beyond 255 collide on the wire (8-bit block ids)")
                        .arg(s.totalBlocks);
    if (s.allBlocksParsed && quint32(s.distinctBlocks) != s.totalBlocks)
        warnings << QStringLiteral("block ids repeat: %1 distinct of %2").arg(s.distinctBlocks).arg(s.totalBlocks);
    if (!s.allBlocksParsed)
        warnings << QStringLiteral("the block records do not all fit in the body");
    return warnings;
}

} // namespace

QString versionTag(const QByteArray &image)
{
    const int at = image.indexOf(kVersionTag);
    if (at < 0 || image.size() - at < kVersionTag.size() + 4)
        return QString();
    return QString::fromLatin1(image.mid(at + kVersionTag.size(), 4));
}

QString refusalText(enRefusal refusal)
{
    switch (refusal) {
    case enRefusal_None: return QString();
    case enRefusal_BadFile: return QStringLiteral("Bad File");
    case enRefusal_BadCRC: return QStringLiteral("Bad CRC");
    }
    return QString();
}

QJsonObject reportToJson(const QString &fileName, const QByteArray &package, const PackageReport &report)
{
    const QRawData bytes(package);
    QJsonArray sections;
    for (int i = 0; i < report.sections.size(); ++i) {
        const SectionReport &s = report.sections.at(i);
        QJsonObject o;
        o.insert(QStringLiteral("index"), i);
        o.insert(QStringLiteral("offset"), s.offset);
        o.insert(QStringLiteral("dataSize"), double(s.dataSize));
        o.insert(QStringLiteral("fits"), s.fits);
        if (s.fits) {
            const QByteArray image = s.loaded ? deviceImage(bytes, s.offset) : QByteArray();
            o.insert(QStringLiteral("target"), s.target);
            o.insert(QStringLiteral("version"), s.version);
            o.insert(QStringLiteral("blockSize"), double(s.blockSize));
            o.insert(QStringLiteral("blocks"), double(s.totalBlocks));
            o.insert(QStringLiteral("payloadSize"), double(s.payloadSize));
            o.insert(QStringLiteral("imageChecksum"), s.imageChecksum);
            o.insert(QStringLiteral("crc"), hex32(s.parsedCrc));
            o.insert(QStringLiteral("crcComputed"), hex32(s.computedCrc));
            o.insert(QStringLiteral("crcGood"), s.crcGood);
            o.insert(QStringLiteral("sizeRule"), s.loaded);
            if (s.loaded) {
                o.insert(QStringLiteral("blocksParsed"), s.distinctBlocks);
                o.insert(QStringLiteral("allBlocksParsed"), s.allBlocksParsed);
                o.insert(QStringLiteral("use"), sectionUseText(s.use));
                const QString tag = versionTag(image);
                o.insert(QStringLiteral("versionTag"), tag.isNull() ? QJsonValue() : QJsonValue(tag));
                QJsonArray warnings;
                for (const QString &w : sectionWarnings(s, image))
                    warnings.append(w);
                o.insert(QStringLiteral("warnings"), warnings);
            }
            if (s.target == kTargetPreset && s.loaded) {
                o.insert(QStringLiteral("presetId"), s.presetId);
                o.insert(QStringLiteral("presetKind"), s.presetKind);
            }
        }
        sections.append(o);
    }

    QJsonObject root;
    root.insert(QStringLiteral("file"), fileName);
    root.insert(QStringLiteral("size"), double(report.fileSize));
    root.insert(QStringLiteral("accepted"), report.accepted());
    root.insert(QStringLiteral("error"), report.accepted() ? QJsonValue() : QJsonValue(refusalText(report.refusal)));
    root.insert(QStringLiteral("reason"), report.accepted() ? QJsonValue() : QJsonValue(report.reason));
    root.insert(QStringLiteral("refusingSection"),
                report.refusingSection < 0 ? QJsonValue() : QJsonValue(report.refusingSection));
    root.insert(QStringLiteral("mainVersion"), report.mainVersion);
    root.insert(QStringLiteral("dspVersion"), report.dspVersion);
    root.insert(QStringLiteral("mainPresets"), QJsonArray::fromStringList(report.mainPresetIds));
    root.insert(QStringLiteral("subPresets"), QJsonArray::fromStringList(report.subPresetIds));
    root.insert(QStringLiteral("sections"), sections);
    return root;
}

int inspect(const QString &packagePath, bool json, QTextStream &out, QTextStream &err)
{
    QByteArray package;
    QString error;
    if (!readFile(packagePath, &package, &error)) {
        err << "wdxpkg: " << error << '\n';
        if (json) {
            QJsonObject root;
            root.insert(QStringLiteral("file"), packagePath);
            root.insert(QStringLiteral("accepted"), false);
            root.insert(QStringLiteral("error"), QStringLiteral("File Not Found"));
            root.insert(QStringLiteral("reason"), error);
            out << QJsonDocument(root).toJson(QJsonDocument::Indented);
        }
        return ExitFileError;
    }

    const PackageReport report = WdxFirmwarePackage::inspect(QRawData(package));
    if (json) {
        out << QJsonDocument(reportToJson(packagePath, package, report)).toJson(QJsonDocument::Indented);
        return report.accepted() ? ExitOk : ExitRefused;
    }

    const QRawData bytes(package);
    out << QStringLiteral("%1: %2 bytes, %3 sections\n")
               .arg(QFileInfo(packagePath).fileName())
               .arg(report.fileSize)
               .arg(report.sections.size());
    out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9  ")
               .arg(QStringLiteral("#"), 3)
               .arg(QStringLiteral("offset"), 8)
               .arg(QStringLiteral("target"), -6)
               .arg(QStringLiteral("version"), -7)
               .arg(QStringLiteral("block"), 5)
               .arg(QStringLiteral("blocks"), 6)
               .arg(QStringLiteral("payload"), 8)
               .arg(QStringLiteral("CRC"), -4)
               .arg(QStringLiteral("size rule"), -9)
            << QStringLiteral("%1  %2  %3\n").arg(QStringLiteral("preset"), -6).arg(QStringLiteral("kind"), -6)
                   .arg(QStringLiteral("use"));
    QStringList warnings;
    for (int i = 0; i < report.sections.size(); ++i) {
        const SectionReport &s = report.sections.at(i);
        if (!s.fits) {
            out << QStringLiteral("%1  %2  data size %3 does not fit in the file\n")
                       .arg(i, 3)
                       .arg(s.offset, 8)
                       .arg(s.dataSize);
            continue;
        }
        const bool preset = s.loaded && s.target == kTargetPreset;
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9  ")
                   .arg(i, 3)
                   .arg(s.offset, 8)
                   .arg(s.target.isEmpty() ? QStringLiteral("?") : s.target, -6)
                   .arg(s.version, -7)
                   .arg(s.blockSize, 5)
                   .arg(s.totalBlocks, 6)
                   .arg(s.payloadSize, 8)
                   .arg(s.crcGood ? QStringLiteral("good") : QStringLiteral("BAD"), -4)
                   .arg(s.loaded ? QStringLiteral("ok") : QStringLiteral("BROKEN"), -9)
            << QStringLiteral("%1  %2  %3\n")
                   .arg(preset ? s.presetId : QStringLiteral("-"), -6)
                   .arg(preset ? QStringLiteral("\"%1\"").arg(s.presetKind) : QStringLiteral("-"), -6)
                   .arg(s.loaded ? sectionUseText(s.use) : QStringLiteral("-"));
        for (const QString &w : sectionWarnings(s, s.loaded ? deviceImage(bytes, s.offset) : QByteArray()))
            warnings << QStringLiteral("section %1 (%2): %3").arg(i).arg(s.target, w);
    }
    for (const QString &w : qAsConst(warnings))
        out << "warning: " << w << '\n';
    if (report.accepted()) {
        out << QStringLiteral("main firmware %1, DSP firmware %2, %3 main-speaker presets, %4 sub presets\n")
                   .arg(report.mainVersion, report.dspVersion)
                   .arg(report.mainPresetIds.size())
                   .arg(report.subPresetIds.size());
        out << "accepted\n";
        return ExitOk;
    }
    out << QStringLiteral("refused (%1): %2\n").arg(refusalText(report.refusal), report.reason);
    return ExitRefused;
}

namespace {

struct ManifestError
{
    QString text;
};

QString requireString(const QJsonObject &o, const char *key, int index)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString())
        throw ManifestError{QStringLiteral("section %1: \"%2\" must be a string").arg(index).arg(QLatin1String(key))};
    return v.toString();
}

quint32 optionalUInt(const QJsonObject &o, const char *key, quint32 fallback, int index)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d < 0 || d > 4294967295.0 || d != double(quint64(d)))
        throw ManifestError{QStringLiteral("section %1: \"%2\" must be an unsigned 32-bit integer")
                                .arg(index)
                                .arg(QLatin1String(key))};
    return quint32(d);
}

// Writes the preset's identity into its first block, refusing to overwrite other data there.
void stampField(QByteArray &image, int pos, const QByteArray &value, const char *what, int index)
{
    const QByteArray present = image.mid(pos, value.size());
    const bool blank = present.count(char(0xFF)) == present.size() || present.count('\0') == present.size();
    if (!blank && present != value)
        throw ManifestError{QStringLiteral("section %1: the image carries %2 \"%3\" where the manifest says \"%4\"")
                                .arg(index)
                                .arg(QLatin1String(what), QString::fromLatin1(present), QString::fromLatin1(value))};
    image.replace(pos, value.size(), value);
}

QByteArray makeSection(const QJsonObject &o, int index, const QDir &base, QTextStream &err)
{
    SectionSpec layout;
    layout.target = requireString(o, "target", index);
    if (!isLatin1Text(layout.target, 4))
        throw ManifestError{QStringLiteral("section %1: the target code must be four characters").arg(index)};
    const QString version = requireString(o, "version", index);
    if (!isLatin1Text(version, 4))
        throw ManifestError{QStringLiteral("section %1: the version must be four characters").arg(index)};
    layout.version = version.toLatin1();
    const QString checksum = requireString(o, "checksum", index);
    layout.imageChecksum = QByteArray::fromHex(checksum.toLatin1());
    if (checksum.size() != 8 || layout.imageChecksum.size() != 4 || layout.imageChecksum.toHex() != checksum.toLower().toLatin1())
        throw ManifestError{QStringLiteral("section %1: the checksum must be 8 hexadecimal digits").arg(index)};
    layout.blockSize = optionalUInt(o, "blockSize", 512, index);
    layout.offsetSize = optionalUInt(o, "offsetSize", 0, index);
    if (layout.blockSize == 0)
        throw ManifestError{QStringLiteral("section %1: the block size must not be 0").arg(index)};

    const QString imagePath = base.filePath(requireString(o, "image", index));
    QString error;
    if (!readFile(imagePath, &layout.image, &error))
        throw ManifestError{QStringLiteral("section %1: %2").arg(index).arg(error)};

    const bool preset = layout.target == kTargetPreset;
    if (preset) {
        const QString id = requireString(o, "presetId", index);
        QString kind = requireString(o, "presetKind", index);
        if (kind == QLatin1String("SUB"))
            kind = kKindSub;
        if (!isLatin1Text(id, kPresetIdLen))
            throw ManifestError{QStringLiteral("section %1: the preset id must be three characters").arg(index)};
        if (kind != kKindMainSpeaker && kind != kKindSub)
            throw ManifestError{QStringLiteral("section %1: the preset kind must be PASS or SUB").arg(index)};
        if (version != kPresetVersion)
            throw ManifestError{QStringLiteral("section %1: the application only accepts presets of version %2")
                                    .arg(index)
                                    .arg(kPresetVersion)};
        if (layout.blockSize < quint32(kPresetKindPos + kPresetKindLen))
            throw ManifestError{QStringLiteral("section %1: a preset's block size must be at least %2 to carry its kind")
                                    .arg(index)
                                    .arg(kPresetKindPos + kPresetKindLen)};
        if (layout.image.size() < kPresetKindPos + kPresetKindLen)
            layout.image.append(QByteArray(kPresetKindPos + kPresetKindLen - layout.image.size(), char(0xFF)));
        stampField(layout.image, kPresetIdPos, id.toLatin1(), "preset id", index);
        stampField(layout.image, kPresetKindPos, kind.toLatin1(), "preset kind", index);
    } else if (o.contains(QLatin1String("presetId")) || o.contains(QLatin1String("presetKind"))) {
        throw ManifestError{QStringLiteral("section %1: only RPRS sections carry a preset id and kind").arg(index)};
    }

    const quint64 blocks = (quint64(layout.image.size()) + layout.blockSize - 1) / layout.blockSize;
    if (blocks > kMaxDeviceBlocks)
        throw ManifestError{QStringLiteral("section %1: %2 blocks, but the device tells blocks apart by an 8-bit id "
                                           "(at most %3)")
                                .arg(index)
                                .arg(blocks)
                                .arg(kMaxDeviceBlocks)};
    const QString tag = versionTag(layout.image);
    if (!tag.isNull() && tag != version)
        throw ManifestError{QStringLiteral("section %1: the image carries version %2 but the manifest says %3")
                                .arg(index)
                                .arg(tag, version)};
    if (tag.isNull() && (layout.target == kTargetMain || layout.target == kTargetDsp || preset))
        err << QStringLiteral("wdxpkg: warning: section %1 (%2): the image carries no %3 tag; the device will not "
                              "report version %4\n")
                   .arg(index)
                   .arg(layout.target, QString::fromLatin1(kVersionTag), version);

    const QByteArray section = buildSection(layout);
    if (section.isEmpty())
        throw ManifestError{QStringLiteral("section %1: the image is too large for a section").arg(index)};
    return section;
}

} // namespace

int create(const QString &manifestPath, const QString &outputPath, QTextStream &out, QTextStream &err)
{
    QByteArray manifestBytes;
    QString error;
    if (!readFile(manifestPath, &manifestBytes, &error)) {
        err << "wdxpkg: " << error << '\n';
        return ExitFileError;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(manifestBytes, &parseError);
    if (doc.isNull() || !doc.isObject() || !doc.object().value(QLatin1String("sections")).isArray()) {
        err << "wdxpkg: " << manifestPath << ": not a manifest"
            << (doc.isNull() ? QStringLiteral(" (%1)").arg(parseError.errorString()) : QString())
            << ": expected an object with a \"sections\" array\n";
        return ExitRefused;
    }

    const QDir base = QFileInfo(manifestPath).absoluteDir();
    const QJsonArray sections = doc.object().value(QLatin1String("sections")).toArray();
    QByteArray package;
    try {
        for (int i = 0; i < sections.size(); ++i) {
            if (!sections.at(i).isObject())
                throw ManifestError{QStringLiteral("section %1: not an object").arg(i)};
            package.append(makeSection(sections.at(i).toObject(), i, base, err));
        }
    } catch (const ManifestError &e) {
        err << "wdxpkg: " << manifestPath << ": " << e.text << '\n';
        return ExitRefused;
    }

    // Never write a package that the application would not load.
    const PackageReport report = WdxFirmwarePackage::inspect(QRawData(package));
    if (!report.accepted()) {
        err << "wdxpkg: the application would refuse this package (" << refusalText(report.refusal)
            << "): " << report.reason << '\n';
        return ExitRefused;
    }

    QSaveFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(package) != package.size() || !file.commit()) {
        err << "wdxpkg: cannot write " << outputPath << ": " << file.errorString() << '\n';
        return ExitFileError;
    }
    out << QStringLiteral("%1: %2 bytes, %3 sections, main %4, DSP %5, %6 main-speaker and %7 sub presets\n")
               .arg(outputPath)
               .arg(package.size())
               .arg(report.sections.size())
               .arg(report.mainVersion, report.dspVersion)
               .arg(report.mainPresetIds.size())
               .arg(report.subPresetIds.size());
    return ExitOk;
}

QString usage()
{
    return QStringLiteral(
        "Usage:\n"
        "  wdxpkg create MANIFEST OUTPUT   build a firmware package\n"
        "  wdxpkg inspect [--json] PACKAGE list its sections and check it\n"
        "\n"
        "inspect exits with 0 when the application would load the package, 1 when it would\n"
        "refuse it (bad file, bad CRC, no main or DSP image), 3 when the file cannot be read.\n"
        "\n"
        "The manifest is a JSON object {\"sections\": [...]}; each section:\n"
        "  \"target\"      four characters: RWDX main, RDSP DSP, RPRS preset, RCAB\n"
        "  \"image\"       file with the image as the device receives it (relative to the manifest)\n"
        "  \"version\"     four characters, e.g. \"2.01\" (presets: only 2.01 is accepted)\n"
        "  \"checksum\"    the image checksum sent when the upload is closed, 8 hex digits\n"
        "  \"blockSize\"   bytes per block, default 512 (the last block is padded with 0xFF)\n"
        "  \"offsetSize\"  header word, default 0 (0x2000 in the main image)\n"
        "  \"presetId\"    RPRS only: three characters, written into block 0 at byte 0\n"
        "  \"presetKind\"  RPRS only: PASS or SUB, written into block 0 at byte 135\n"
        "Block data is stored inverted and every section gets the CRC-32 of its body.\n"
        "An image whose WDXVER tag disagrees with its version, or with more than 256 blocks\n"
        "(the device's block ids are 8 bits), is refused.\n");
}

} // namespace WdxPkgTool
