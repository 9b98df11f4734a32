// The firmware package format: one section's parsing, checks and blocks (WdxFirmware), the
// rules shared with the package tool (WdxFirmwarePackage), the package we ship, and how the
// upload worker loads a whole package: what it keeps, drops and refuses.

#include "FirmwareTestSupport.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmware.h"
#include "firmware/WdxFirmwarePackage.h"
#include "firmware/WdxFirmwareWorker.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace FirmwareTest;
namespace Pkg = WdxFirmwarePackage;
using W = WdxFirmwareWorker;

class TestWdxFirmware : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Registered before any section object or worker so that their Trace lines can be seen.
        QLogger::QLoggerManager::registerModule("WdxFirmware", QLogger::Trace);
        QLogger::QLoggerManager::registerModule("WdxFirmwareWorker", QLogger::Trace);
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
        m_package = embeddedPackage();
        QVERIFY(!m_package.isEmpty());
    }

    void crcIsZlibCrc32()
    {
        QCOMPARE(WdxFirmware::crc32(QRawData(QByteArray("123456789"))), 0xCBF43926u);
        QCOMPARE(WdxFirmware::crc32(QRawData()), 0u);
        // Longer than one 16000-byte slice, and not a multiple of it.
        QByteArray big(40017, Qt::Uninitialized);
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i * 131 + (i >> 8));
        QCOMPARE(WdxFirmware::crc32(QRawData(big)), zlibCrc(big));
    }

    void shippedPackageLoadsEverySection()
    {
        const QRawData bytes(m_package);
        QMap<QString, int> sections; // target or preset kind -> count
        int pos = 0;
        for (; pos < m_package.size(); pos += int(getU32(m_package, pos)) + 8) {
            WdxFirmware fw;
            QVERIFY2(fw.load(bytes, pos), qPrintable(QStringLiteral("section at %1").arg(pos)));
            QCOMPARE(fw.parsedCrc(), zlibCrc(m_package.mid(pos + 4, fw.dataSize())));
            QVERIFY(fw.crcMatches());
            QCOMPARE(fw.blockSize(), 512u);
            QCOMPARE(fw.versionText(), QStringLiteral("2.01"));
            fw.parseAllBlocks();
            QVERIFY(fw.allBlocksParsed());
            QCOMPARE(fw.blocks().keys().size(), int(fw.totalBlocks()));
            QCOMPARE(fw.blocks().lastKey(), fw.totalBlocks() - 1);
            QString id, kind;
            Pkg::sectionUse(fw, &id, &kind);
            const QString key = QStringLiteral("%1 %2 x%3").arg(fw.target(), kind).arg(fw.totalBlocks());
            sections[key] += 1;
        }
        QCOMPARE(pos, m_package.size());
        const QMap<QString, int> expected{{"RWDX  x89", 1}, {"RDSP  x73", 1}, {"RPRS PASS x17", 23}, {"RPRS SUB  x7", 17}};
        QCOMPARE(sections, expected);
    }

    void flippedPayloadByteOnlyTracesTheCrc()
    {
        QByteArray package = m_package;
        const int n = int(getU32(package, 0));
        const int at = 4 + 24 + 3 * (512 + 4) + 4 + 100; // a data byte of block 3 of the first section
        package[at] = char(package.at(at) ^ 0x10);
        const quint32 computed = zlibCrc(package.mid(4, n));
        const quint32 parsed = getU32(package, 4 + n);
        QVERIFY(computed != parsed);

        LogCapture log;
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(package), 0));
        QVERIFY(!fw.crcMatches());
        QCOMPARE(log.count(QStringLiteral("Trace"), QStringLiteral("WdxFirmware"), QStringLiteral("load"),
                           QStringLiteral("Error parsing file, bad crc (computed[%1] != parsed[%2])").arg(computed).arg(parsed)),
                 1);
        QCOMPARE(log.countContaining(QStringLiteral("WdxFirmware"), QStringLiteral("[Error]")), 0);
        // The damaged byte is served as it stands: only the CRC tells.
        fw.parseAllBlocks();
        QCOMPARE(quint8(fw.blocks().value(3).at(100)), quint8(~quint8(m_package.at(at)) ^ 0x10));
    }

    void refusedSections_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("errorLine"); // empty: no line at all

        const QString bad = QStringLiteral("Error parsing file, bad file");
        const QString lenght = QStringLiteral("Error parsing file, firmware data lenght less than declared");
        const QByteArray good = wellFormed("RDSP", 3, 8).bytes();
        QByteArray zero;
        putU32(zero, 0);
        zero.append(QByteArray(12, 'x'));
        QByteArray huge = good;
        huge[0] = char(0x80); // reads as 0
        HandSection moreBlocks = wellFormed("RDSP", 3, 8);
        moreBlocks.totalBlocks = 4;
        HandSection biggerBlocks = wellFormed("RDSP", 3, 8);
        biggerBlocks.blockSize = 9;
        HandSection trailing = wellFormed("RDSP", 3, 8);
        trailing.extraBody = "z";
        QByteArray shortBody;
        putU32(shortBody, 10);
        shortBody.append(QByteArray(10, 'b'));
        putU32(shortBody, zlibCrc(QByteArray(10, 'b')));

        QTest::newRow("data size 0") << zero << 0 << bad;
        QTest::newRow("data size above 0x7FFFFFFF") << huge << 0 << bad;
        QTest::newRow("CRC one byte short") << good.left(good.size() - 1) << 0 << bad;
        QTest::newRow("three bytes left") << good + QByteArray(3, '\0') << good.size() << QString();
        QTest::newRow("offset at the end") << good << good.size() << QString();
        QTest::newRow("more blocks declared") << moreBlocks.bytes() << 0 << lenght;
        QTest::newRow("block size too large") << biggerBlocks.bytes() << 0 << lenght;
        QTest::newRow("one byte beyond the records") << trailing.bytes() << 0 << lenght;
        QTest::newRow("body shorter than its header") << shortBody << 0 << lenght;
    }

    void refusedSections()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, offset);
        QFETCH(QString, errorLine);
        LogCapture log;
        WdxFirmware fw;
        QSignalSpy loaded(&fw, &WdxFirmware::dataLoaded);
        QVERIFY(!fw.load(QRawData(file), offset));
        QVERIFY(!fw.isLoaded());
        QCOMPARE(loaded.count(), 0);
        QVERIFY(!fw.parseBlock(0));
        if (errorLine.isEmpty())
            QCOMPARE(log.countContaining(QStringLiteral("WdxFirmware"), QStringLiteral("][load] ")), 0);
        else
            QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmware"), QStringLiteral("load"), errorLine), 1);
    }

    void blocksAreInvertedAndParsedOnDemand()
    {
        // Two sections back to back; the second is read at its offset, its records out of order
        // (ids by position 4, 2, 0, 3, 1) and its first record holding 00 FF 0F A5 ...
        const QByteArray first = wellFormed("RWDX", 2, 8, 10).bytes();
        HandSection second = wellFormed("RDSP", 5, 4, 20);
        const quint32 order[] = {4, 2, 0, 3, 1};
        for (int i = 0; i < 5; ++i)
            second.storedRecords[i].first = order[i];
        second.storedRecords[0].second = QByteArray("\x00\xFF\x0F\xA5", 4);
        const QByteArray file = first + second.bytes();

        WdxFirmware fw;
        QSignalSpy loaded(&fw, &WdxFirmware::dataLoaded);
        QSignalSpy parsed(&fw, &WdxFirmware::blockParsed);
        QVERIFY(fw.load(QRawData(file), first.size()));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(fw.target(), QStringLiteral("RDSP"));
        QCOMPARE(fw.imageChecksum().toByteArray(), QByteArray("\x01\x02\x03\x04", 4));
        QCOMPARE(fw.payloadSize(), 20u);
        QCOMPARE(fw.blocks().keys(), QList<quint32>{4u});
        QCOMPARE(fw.blocks().value(4).toByteArray(), QByteArray("\xFF\x00\xF0\x5A", 4));
        QVERIFY(!fw.allBlocksParsed());

        fw.parseAllBlocks();
        QVERIFY(fw.allBlocksParsed());
        QCOMPARE(fw.blocks().keys(), (QList<quint32>{0, 1, 2, 3, 4}));
        QCOMPARE(parsed.count(), 5);
        QCOMPARE(fw.blocks().value(2).toByteArray(), invert(second.storedRecords[1].second));
        QVERIFY(fw.parseBlock(0)); // known: left alone, not announced again
        QCOMPARE(parsed.count(), 5);
        QVERIFY(!fw.parseBlock(5)); // beyond the body

        // A new load starts from nothing, also when it fails.
        QVERIFY(!fw.load(QRawData(file), 1));
        QVERIFY(fw.blocks().isEmpty());
        QVERIFY(!fw.allBlocksParsed());

        // A repeated id keeps its first record; no block at all is "all parsed".
        HandSection repeated = wellFormed("RPRS", 3, 4);
        repeated.storedRecords[2].first = 0;
        QVERIFY(fw.load(QRawData(repeated.bytes()), 0));
        fw.parseAllBlocks();
        QCOMPARE(fw.blocks().size(), 2);
        QCOMPARE(fw.blocks().value(0).toByteArray(), invert(repeated.storedRecords[0].second));
        QVERIFY(fw.load(QRawData(HandSection().bytes()), 0));
        fw.parseAllBlocks();
        QVERIFY(fw.allBlocksParsed());
    }

    void blockCountEntersTheSizeRuleModulo65536()
    {
        // 65537 blocks of 1 byte: the payload counts one block, the records all 65537.
        HandSection s;
        s.blockSize = 1;
        s.totalBlocks = 65537;
        s.extraBody = QByteArray(1 + 4 * 65537, '\x7E');
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(s.bytes()), 0));
        QCOMPARE(fw.payloadSize(), 1u);
        fw.parseAllBlocks();
        QVERIFY(!fw.allBlocksParsed()); // the records that fit are parsed, the rest are missing
        s.extraBody.chop(1);
        QVERIFY(!fw.load(QRawData(s.bytes()), 0));
        s.extraBody.append(QByteArray(2, '\x7E'));
        QVERIFY(!fw.load(QRawData(s.bytes()), 0));
    }

    void sectionUse_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<int>("use");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("kind");
        QTest::newRow("main") << wellFormed("RWDX", 1, 4).bytes() << int(Pkg::enSectionUse_Main) << QString() << QString();
        QTest::newRow("dsp") << wellFormed("RDSP", 1, 4).bytes() << int(Pkg::enSectionUse_Dsp) << QString() << QString();
        QTest::newRow("cabinet") << wellFormed("RCAB", 1, 4).bytes() << int(Pkg::enSectionUse_Cabinet) << QString() << QString();
        QTest::newRow("other") << wellFormed("RWDY", 1, 4).bytes() << int(Pkg::enSectionUse_Unmanaged) << QString() << QString();
        QTest::newRow("pass") << preset("AB1", "PASS").bytes() << int(Pkg::enSectionUse_MainPreset) << "AB1" << "PASS";
        QTest::newRow("sub") << preset("CD1", "SUB ").bytes() << int(Pkg::enSectionUse_SubPreset) << "CD1" << "SUB ";
        QTest::newRow("sub without blank") << preset("CD1", "SUB!").bytes() << int(Pkg::enSectionUse_UnknownPresetKind)
                                           << "CD1" << "SUB!";
        QTest::newRow("version 2.00") << preset("AB1", "PASS", 2, "2.00").bytes()
                                      << int(Pkg::enSectionUse_BadPresetVersion) << "AB1" << "PASS";
        QTest::newRow("block of 139 bytes") << preset("AB1", "PASS", 2, "2.01", 139).bytes()
                                            << int(Pkg::enSectionUse_MainPreset) << "AB1" << "PASS";
        QTest::newRow("block of 138 bytes") << preset("AB1", "PASS", 2, "2.01", 138).bytes()
                                            << int(Pkg::enSectionUse_UnknownPresetKind) << "AB1" << QString();
        QTest::newRow("no block") << preset("AB1", "PASS", 0).bytes() << int(Pkg::enSectionUse_UnknownPresetKind)
                                  << QString() << QString();
    }

    void sectionUse()
    {
        QFETCH(QByteArray, section);
        QFETCH(int, use);
        QFETCH(QString, id);
        QFETCH(QString, kind);
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(section), 0));
        QString gotId, gotKind;
        QCOMPARE(int(Pkg::sectionUse(fw, &gotId, &gotKind)), use);
        QCOMPARE(gotId, id);
        QCOMPARE(gotKind, kind);
    }

    // --- The worker's package load ---------------------------------------------------------

    void workerLoadsTheShippedPackage()
    {
        LogCapture log;
        W worker(false, kPackageResource);
        QSignalSpy loaded(&worker, &W::fwFileLoaded);
        QCOMPARE(worker.loadFile(), W::Ok);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(worker.mainBlocks(), 89);
        QCOMPARE(worker.dspBlocks(), 73);
        QCOMPARE(worker.mainWaitMs(), 14000);
        QCOMPARE(worker.mainFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(worker.dspFwVersion(), QStringLiteral("2.01"));
        QCOMPARE(worker.presetsVersion(), QStringLiteral("2.01/2.01"));
        QCOMPARE(worker.mainPresetIds().size(), 23);
        QCOMPARE(worker.subPresetIds().size(), 17);
        QCOMPARE(worker.mainPresetIds().first(), QStringLiteral("AA1"));
        QCOMPARE(worker.subPresetIds().first(), QStringLiteral("AS1"));
        QCOMPARE(worker.mainPresets().keys(), worker.mainPresetIds());
        QCOMPARE(worker.firstMainPresetBlocks(), 17);
        QCOMPARE(worker.firstSubPresetBlocks(), 7);
        QCOMPARE(log.count(QStringLiteral("Debug"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("File parsed, main version 2.01")),
                 1);

        // A missing file changes nothing.
        QCOMPARE(worker.loadFile(m_dir.filePath(QStringLiteral("absent.rvf"))), W::FileNotFound);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("Error parsing file, File Not Found")),
                 1);
        QCOMPARE(worker.mainBlocks(), 89);
    }

    // The worker's verdict, and the package tool's report of the same bytes agreeing with it.
    void refusedPackages_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("section"); // the section the tool names, -1 the whole package
        QTest::addColumn<bool>("keeps");  // the package loaded before stays

        const QByteArray main = wellFormed("RWDX", 2, 8).bytes();
        const QByteArray dsp = wellFormed("RDSP", 2, 8).bytes();
        const QByteArray pass = preset("AB1", "PASS").bytes();
        QByteArray badCrc = dsp;
        badCrc[4 + 24 + 4 + 1] = char(badCrc.at(4 + 24 + 4 + 1) ^ 1);
        HandSection broken = wellFormed("RDSP", 2, 8);
        broken.totalBlocks = 3;
        QByteArray oversized = main + dsp;
        oversized[0] = char(0x7F);
        QTest::newRow("accepted") << main + dsp + pass << int(W::Ok) << -1 << false;
        QTest::newRow("dropped presets are fine") << main + dsp + preset("AB2", "PASS", 2, "2.00").bytes() << int(W::Ok)
                                                  << -1 << false;
        QTest::newRow("no RDSP") << main + pass << int(W::BadFile) << -1 << false;
        QTest::newRow("no RWDX") << dsp + pass << int(W::BadFile) << -1 << false;
        QTest::newRow("empty") << QByteArray() << int(W::BadFile) << -1 << true;
        QTest::newRow("seven bytes") << main.left(7) << int(W::BadFile) << -1 << true;
        QTest::newRow("eight zero bytes") << QByteArray(8, '\0') << int(W::BadFile) << 0 << false;
        QTest::newRow("last byte missing") << (main + dsp + pass).chopped(1) << int(W::BadFile) << 2 << false;
        QTest::newRow("trailing bytes") << main + dsp + QByteArray(3, 'x') << int(W::BadFile) << 2 << false;
        QTest::newRow("oversized") << oversized << int(W::BadFile) << 0 << false;
        QTest::newRow("size rule") << main + broken.bytes() << int(W::BadFile) << 1 << false;
        QTest::newRow("bad crc") << main + badCrc + pass << int(W::BadCRC) << 1 << false;
        QTest::newRow("size rule before bad crc") << main + broken.bytes() + badCrc << int(W::BadFile) << 1 << false;
        QTest::newRow("bad crc before size rule") << badCrc + broken.bytes() + main << int(W::BadCRC) << 0 << false;
    }

    void refusedPackages()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, code);
        QFETCH(int, section);
        QFETCH(bool, keeps);
        LogCapture log;
        W worker(false, QString());
        QCOMPARE(worker.loadData(QRawData(m_package)), W::Ok);
        QSignalSpy loaded(&worker, &W::fwFileLoaded);
        QCOMPARE(int(worker.loadData(QRawData(file))), code);
        QCOMPARE(loaded.count(), code == W::Ok ? 1 : 0);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmwareWorker"), QStringLiteral("loadFile"),
                           QStringLiteral("Error parsing file, %1").arg(W::errorText(code))),
                 code == W::Ok ? 0 : 1);
        QCOMPARE(worker.mainBlocks(), code == W::Ok ? 2 : keeps ? 89 : -1);
        if (code != W::Ok && !keeps) {
            QVERIFY(worker.mainPresets().isEmpty() && worker.subPresetIds().isEmpty());
            QVERIFY(worker.dspFwVersion().isEmpty() && worker.presetsVersion().isEmpty());
            QCOMPARE(worker.mainWaitMs(), 0);
        }

        const Pkg::PackageReport report = Pkg::inspect(QRawData(file));
        const int refusal = code == W::Ok ? Pkg::enRefusal_None : code == W::BadCRC ? Pkg::enRefusal_BadCRC : Pkg::enRefusal_BadFile;
        QCOMPARE(int(report.refusal), refusal);
        QCOMPARE(report.refusingSection, section);
        QCOMPARE(report.reason.isEmpty(), code == W::Ok);
        QCOMPARE(report.mainPresetIds, code == W::Ok ? worker.mainPresetIds() : QStringList());
        QCOMPARE(report.mainVersion, code == W::Ok ? QStringLiteral("2.01") : QString());
    }

    void keptAndDroppedSections()
    {
        const QByteArray images = wellFormed("RWDX", 11, 8).bytes() + wellFormed("RDSP", 2, 8).bytes();
        const QByteArray file = wellFormed("RCAB", 1, 8).bytes() + images + preset("AB1", "PASS").bytes()
            + preset("AB2", "PASS", 2, "2.00").bytes() + preset("AB3", "PAS ").bytes() + wellFormed("RXYZ", 1, 8).bytes()
            + preset("CD1", "SUB ").bytes() + preset("AB1", "PASS", 3).bytes();
        LogCapture log;
        W worker(false, QString());
        QCOMPARE(worker.loadData(QRawData(file)), W::Ok);
        QCOMPARE(worker.mainPresetIds(), QStringList{QStringLiteral("AB1")});
        QCOMPARE(worker.subPresetIds(), QStringList{QStringLiteral("CD1")});
        QCOMPARE(worker.firstMainPresetBlocks(), 3); // the later AB1 replaced the earlier one
        QCOMPARE(worker.mainWaitMs(), 1000);          // 11 / 6 whole seconds
        const QString module = QStringLiteral("WdxFirmwareWorker");
        const QString function = QStringLiteral("loadFile");
        QCOMPARE(log.count(QStringLiteral("Warning"), module, function, QStringLiteral("Bad fw version for PASS preset AB2")), 1);
        QCOMPARE(log.count(QStringLiteral("Warning"), module, function, QStringLiteral("Unmanaged fw slot, target is [RXYZ]")), 1);
        QCOMPARE(log.countContaining(module, QStringLiteral("[Warning]")), 3);
        QCOMPARE(log.countContaining(module, QStringLiteral("PAS ")), 2); // traced, then warned about
        QCOMPARE(log.count(QStringLiteral("Trace"), module, function, QStringLiteral("Adding PASS preset AB1")), 2);
        QCOMPARE(log.count(QStringLiteral("Trace"), module, function, QStringLiteral("Adding SUB  preset CD1")), 1);
        QCOMPARE(log.countContaining(module, QStringLiteral("preset AB2")), 1);
    }

private:
    QByteArray m_package;
    QTemporaryDir m_dir;
};

VELA_TEST_MAIN_CORE(TestWdxFirmware)
#include "tst_wdxfirmware.moc"
