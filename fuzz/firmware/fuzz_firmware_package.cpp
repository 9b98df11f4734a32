// Arbitrary files through the upload worker's package loader (loadFile) and every section's
// block parsing (parseAllBlocks). Nothing may crash or allocate beyond the file's size; the
// result is Ok, Bad File or Bad CRC, and always the verdict the package tool gives (the two
// share the rules but walk the package separately); an accepted package has both images and
// the tool's preset lists.

#include "FuzzSupport.h"
#include "firmware/WdxFirmware.h"
#include "firmware/WdxFirmwarePackage.h"
#include "firmware/WdxFirmwareWorker.h"
#include "logger/QLoggerManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QString packagePath;

WdxFirmwareWorker::enErrCode expected(WdxFirmwarePackage::enRefusal refusal)
{
    switch (refusal) {
    case WdxFirmwarePackage::enRefusal_None: return WdxFirmwareWorker::Ok;
    case WdxFirmwarePackage::enRefusal_BadFile: return WdxFirmwareWorker::BadFile;
    case WdxFirmwarePackage::enRefusal_BadCRC: return WdxFirmwareWorker::BadCRC;
    }
    return WdxFirmwareWorker::Unknown;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(quiet);
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    packagePath = QDir::temp().filePath(QStringLiteral("fuzz_firmware_package_%1.rvf").arg(QCoreApplication::applicationPid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    {
        QFile file(packagePath);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        require(file.write(bytes) == bytes.size());
    }

    const WdxFirmwarePackage::PackageReport report = WdxFirmwarePackage::inspect(QRawData(bytes));
    {
        // A worker per input: objects it keeps until destroyed (cabinet sections, replaced
        // presets) must not pile up across inputs.
        WdxFirmwareWorker worker(false, packagePath);
        const WdxFirmwareWorker::enErrCode code = worker.loadFile();
        require(code == expected(report.refusal));
        if (code == WdxFirmwareWorker::Ok) {
            require(worker.mainFw() && worker.dspFw());
            require(worker.mainPresetIds() == report.mainPresetIds);
            require(worker.subPresetIds() == report.subPresetIds);
            require(worker.mainFwVersion() == report.mainVersion);
            WdxFirmware *main = worker.mainFw();
            main->parseAllBlocks();
            require(main->blockCount() <= int(main->totalBlocks()) || !main->allBlocksParsed());
            for (WdxFirmware *preset : worker.mainPresets())
                preset->parseAllBlocks();
        } else {
            require(!worker.mainFw() && !worker.dspFw() && worker.mainPresets().isEmpty());
        }
        (void)worker.presetsVersion();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Every section on its own, block by block, as the upload walks it.
    const QRawData raw(bytes);
    for (const WdxFirmwarePackage::SectionReport &s : report.sections) {
        if (!s.fits)
            continue;
        WdxFirmware fw;
        require(fw.load(raw, s.offset) == s.loaded);
        if (!s.loaded)
            continue;
        fw.parseAllBlocks();
        const qint64 stored = qint64(fw.blockCount()) * (qint64(fw.blockSize()) + 4);
        require(stored <= fw.dataSize());
        for (const QRawData &block : fw.blocks())
            require(quint32(block.byteLen()) == fw.blockSize());
    }
    return 0;
}
