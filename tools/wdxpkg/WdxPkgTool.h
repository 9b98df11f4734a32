#pragma once

#include "firmware/WdxFirmwarePackage.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTextStream>

// The commands of wdxpkg, the firmware package tool.
namespace WdxPkgTool {

enum ExitCode {
    ExitOk = 0,
    ExitRefused = 1,   // a package the application would refuse, or a manifest that cannot make one
    ExitUsage = 2,
    ExitFileError = 3, // a file that cannot be read or written
};

// The device takes an image's version from the four characters that follow this tag in the
// image's bytes (as it receives them); an image without the tag gets the device's own default.
extern const QByteArray kVersionTag; // "WDXVER"
// The version an image carries, or a null string without a tag.
QString versionTag(const QByteArray &image);

// Builds a package from the images and fields a JSON manifest lists (see usage()).
int create(const QString &manifestPath, const QString &outputPath, QTextStream &out, QTextStream &err);
// Lists the package's sections and says whether the application would load it.
int inspect(const QString &packagePath, bool json, QTextStream &out, QTextStream &err);

// The report as inspect --json prints it.
QJsonObject reportToJson(const QString &fileName, const QByteArray &package,
                         const WdxFirmwarePackage::PackageReport &report);
// The worker's display text of a refusal ("Bad File", "Bad CRC"); empty when accepted.
QString refusalText(WdxFirmwarePackage::enRefusal refusal);

QString usage();

} // namespace WdxPkgTool
