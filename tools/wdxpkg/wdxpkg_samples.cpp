// wdxpkg_samples: writes the images and the manifest of the package that the application
// carries, from deterministic content: one main controller image of 89 blocks, one DSP image
// of 73 blocks, and one preset for every mode of the speaker catalogue except the neutral flat
// one (full-range cabinets' modes as "PASS" presets of 17 blocks, subwoofers' as "SUB " presets
// of 7 blocks). Every image carries its version after the device's version tag, so that a
// device reports the package's versions after an upload.
//
// Usage: wdxpkg_samples --catalogue presets.xml --version 2.01 --out DIR

#include "WdxPkgTool.h"
#include "firmware/WdxFirmware.h"
#include "logger/QLoggerManager.h"
#include "speakers/RVCabinet.h"
#include "speakers/RVCabinetMode.h"
#include "speakers/RVCabinetVariant.h"
#include "speakers/RVSpeakerDB.h"
#include "speakers/RVSpeakerFamily.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

constexpr int kBlockSize = 512;
constexpr int kMainBlocks = 89;
constexpr int kDspBlocks = 73;
constexpr int kMainPresetBlocks = 17;
constexpr int kSubPresetBlocks = 7;
constexpr int kTagOffset = 64;
constexpr quint32 kMainOffsetSize = 0x2000;

// Reproducible filler: the same name always gives the same bytes.
QByteArray filler(const QString &name, int size)
{
    const QByteArray key = name.toUtf8();
    quint32 x = WdxFirmware::crc32(key.constData(), key.size()) | 1u;
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

QByteArray makeImage(const QString &name, int blocks, const QByteArray &header, const QString &version)
{
    QByteArray image = filler(name, blocks * kBlockSize);
    image.replace(0, header.size(), header);
    const QByteArray tag = WdxPkgTool::kVersionTag + version.toLatin1();
    image.replace(kTagOffset, tag.size(), tag);
    return image;
}

bool isNeutralFlat(const RVCabinetMode *mode)
{
    if (mode->variants().size() != 1)
        return false;
    const RVCabinetVariant *v = mode->variants().first();
    return v->minFrequency() == 0 && v->maxFrequency() == 20000;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    QTextStream err(stderr);

    const QStringList args = app.arguments();
    auto option = [&args](const char *name) {
        const int at = args.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
    };
    const QString cataloguePath = option("--catalogue");
    const QString version = option("--version");
    const QString outDir = option("--out");
    if (cataloguePath.isEmpty() || version.size() != 4 || outDir.isEmpty()) {
        err << "Usage: wdxpkg_samples --catalogue presets.xml --version 2.01 --out DIR\n";
        return 2;
    }
    if (!QFile::exists(cataloguePath)) {
        err << "wdxpkg_samples: no catalogue at " << cataloguePath << '\n';
        return 3;
    }

    QDir dir(outDir);
    if (!dir.mkpath(QStringLiteral("presets"))) {
        err << "wdxpkg_samples: cannot create " << outDir << '\n';
        return 3;
    }

    QJsonArray sections;
    auto add = [&](const QString &target, const QString &fileName, const QByteArray &image, quint32 offsetSize,
                   const QString &presetId, const QString &presetKind) {
        QFile file(dir.filePath(fileName));
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
            err << "wdxpkg_samples: cannot write " << file.fileName() << '\n';
            return false;
        }
        QJsonObject s;
        s.insert(QStringLiteral("target"), target);
        s.insert(QStringLiteral("image"), fileName);
        s.insert(QStringLiteral("version"), version);
        s.insert(QStringLiteral("checksum"),
                 QStringLiteral("%1").arg(WdxFirmware::crc32(image.constData(), image.size()), 8, 16, QLatin1Char('0')));
        s.insert(QStringLiteral("blockSize"), kBlockSize);
        s.insert(QStringLiteral("offsetSize"), double(offsetSize));
        if (!presetId.isEmpty()) {
            s.insert(QStringLiteral("presetId"), presetId);
            s.insert(QStringLiteral("presetKind"), presetKind);
        }
        sections.append(s);
        return true;
    };

    bool ok = add(QStringLiteral("RWDX"), QStringLiteral("main.bin"),
                  makeImage(QStringLiteral("RWDX"), kMainBlocks, "Vela sample main controller firmware", version),
                  kMainOffsetSize, QString(), QString());
    ok = ok
        && add(QStringLiteral("RDSP"), QStringLiteral("dsp.bin"),
               makeImage(QStringLiteral("RDSP"), kDspBlocks, "Vela sample DSP firmware", version), 0, QString(),
               QString());

    const RVSpeakerDB catalogue(cataloguePath);
    int presets = 0;
    for (const RVSpeakerFamily *family : catalogue.families()) {
        for (const RVCabinet *cabinet : family->cabinets()) {
            const bool sub = cabinet->type() == RVCabinet::Sub;
            for (const RVCabinetMode *mode : cabinet->modes()) {
                if (!ok || isNeutralFlat(mode))
                    continue;
                const QString kind = sub ? QStringLiteral("SUB ") : QStringLiteral("PASS");
                QByteArray image = makeImage(QStringLiteral("RPRS:") + mode->id(),
                                             sub ? kSubPresetBlocks : kMainPresetBlocks,
                                             mode->id().toLatin1() + " Vela sample preset", version);
                image.replace(135, 4, kind.toLatin1());
                ok = add(QStringLiteral("RPRS"), QStringLiteral("presets/%1.bin").arg(mode->id()), image, 0, mode->id(),
                         sub ? QStringLiteral("SUB") : kind);
                ++presets;
            }
        }
    }
    if (presets == 0) {
        err << "wdxpkg_samples: the catalogue " << cataloguePath << " names no preset\n";
        return 1;
    }

    QJsonObject manifest;
    manifest.insert(QStringLiteral("sections"), sections);
    QFile file(dir.filePath(QStringLiteral("manifest.json")));
    if (!ok || !file.open(QIODevice::WriteOnly)
        || file.write(QJsonDocument(manifest).toJson(QJsonDocument::Indented)) < 0) {
        err << "wdxpkg_samples: cannot write the images and manifest in " << outDir << '\n';
        return 3;
    }
    return 0;
}
