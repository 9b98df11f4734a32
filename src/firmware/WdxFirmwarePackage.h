#pragma once

#include "protocol/QRawData.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

class WdxFirmware;

// What the application and the package tool share about firmware packages beyond one
// section's parsing (WdxFirmware): target codes, preset identity, the rules by which the
// upload worker keeps or drops a section, the acceptance of a whole package, and the writing
// of sections.
namespace WdxFirmwarePackage {

extern const QString kTargetMain;     // "RWDX"
extern const QString kTargetDsp;      // "RDSP"
extern const QString kTargetPreset;   // "RPRS"
extern const QString kTargetCabinet;  // "RCAB", accepted and skipped
extern const QString kPresetVersion;  // "2.01", the only preset version accepted
extern const QString kKindMainSpeaker; // "PASS"
extern const QString kKindSub;         // "SUB "

// Preset identity fields in the first block, as the device receives it.
constexpr int kPresetIdPos = 0;
constexpr int kPresetIdLen = 3;
constexpr int kPresetKindPos = 135;
constexpr int kPresetKindLen = 4;

constexpr int kSectionOverhead = 8;   // data size field and CRC
constexpr int kBodyHeaderSize = 24;
constexpr int kBlockIdSize = 4;

// The data size field at pos; a value above 0x7FFFFFFF reads as 0.
qint64 sectionDataSize(const QRawData &package, int pos);
// Whether a section of data size n at pos has its body and CRC inside a package of size bytes.
bool sectionFits(qint64 n, qint64 size, qint64 pos);

// Preset id and kind from the first parsed block; empty when that block is missing or too short
// (a block below 139 bytes cannot carry a kind, so such a preset is dropped as of unknown kind).
void presetIdentity(const WdxFirmware &firmware, QString *presetId, QString *presetKind);

// What the upload worker does with a loaded section.
enum enSectionUse {
    enSectionUse_Main,
    enSectionUse_Dsp,
    enSectionUse_Cabinet,
    enSectionUse_MainPreset,
    enSectionUse_SubPreset,
    enSectionUse_BadPresetVersion,
    enSectionUse_UnknownPresetKind,
    enSectionUse_Unmanaged,
};
enSectionUse sectionUse(const WdxFirmware &firmware, QString *presetId = nullptr, QString *presetKind = nullptr);
QString sectionUseText(enSectionUse use);

// Why a package is refused, in the words of the upload worker's error codes.
enum enRefusal { enRefusal_None, enRefusal_BadFile, enRefusal_BadCRC };

struct SectionReport
{
    int offset = 0;
    qint64 dataSize = 0;
    bool fits = false;        // body and CRC inside the file
    bool loaded = false;      // header parsed and size rule held
    QString target;
    QString version;
    quint32 blockSize = 0;
    quint32 totalBlocks = 0;
    quint32 payloadSize = 0;
    QString imageChecksum;    // lower-case hexadecimal
    quint32 parsedCrc = 0;
    quint32 computedCrc = 0;
    bool crcGood = false;
    bool allBlocksParsed = false;
    int distinctBlocks = 0;
    QString presetId;
    QString presetKind;
    enSectionUse use = enSectionUse_Unmanaged;
};

struct PackageReport
{
    qint64 fileSize = 0;
    QList<SectionReport> sections;
    enRefusal refusal = enRefusal_None;
    QString reason;           // why refused, empty when accepted
    int refusingSection = -1; // index in sections, -1 for the whole package
    QString mainVersion;
    QString dspVersion;
    QStringList mainPresetIds; // ascending, as the worker lists them
    QStringList subPresetIds;
    bool accepted() const { return refusal == enRefusal_None; }
};

// Reads every section the way the upload worker loads the package and says whether the worker
// would accept it. Unlike the worker it goes on past a refused section while the next one can
// be found, so that every problem is listed; the verdict is the worker's (its first failure).
PackageReport inspect(const QRawData &package);

// One section as a firmware team makes it: the image is cut into blocks of blockSize bytes
// with ids 0, 1, 2 ..., the last block padded with 0xFF; block data is stored inverted and the
// CRC-32 of the body follows it.
struct SectionSpec
{
    QString target;
    quint32 offsetSize = 0;
    quint32 blockSize = 512;
    QByteArray version;       // 4 bytes
    QByteArray imageChecksum; // 4 bytes
    QByteArray image;         // as the device receives it
};
// Empty when the layout cannot make a valid section (bad field sizes, block size 0, too large).
QByteArray buildSection(const SectionSpec &layout);
// A section from explicit block records (ids and data as the device receives them), with the
// header fields as given: the size rule and the CRC hold only if the caller makes them.
QByteArray buildRawSection(const QString &target, quint32 offsetSize, quint32 blockSize, quint32 totalBlocks,
                           const QByteArray &version, const QByteArray &imageChecksum,
                           const QList<QPair<quint32, QByteArray>> &blocks);

} // namespace WdxFirmwarePackage
