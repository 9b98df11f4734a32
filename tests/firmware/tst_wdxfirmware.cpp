// The firmware package format: one section's parsing, checks and blocks (WdxFirmware), the
// rules shared with the package tool (WdxFirmwarePackage), and the package we ship.

#include "FirmwareTestSupport.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmware.h"
#include "firmware/WdxFirmwarePackage.h"
#include "firmware/WdxFirmwareWorker.h"
#include "speakers/RVCabinet.h"
#include "speakers/RVCabinetMode.h"
#include "speakers/RVCabinetVariant.h"
#include "speakers/RVSpeakerDB.h"
#include "speakers/RVSpeakerFamily.h"

#include <QSignalSpy>

using namespace FirmwareTest;
namespace Pkg = WdxFirmwarePackage;

class TestWdxFirmware : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Registered before any section object so that its Trace lines can be seen.
        QLogger::QLoggerManager::registerModule("WdxFirmware", QLogger::Trace);
        QLogger::QLoggerManager::registerModule("WdxFirmwareWorker", QLogger::Trace);
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
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
        const QByteArray package = embeddedPackage();
        QVERIFY2(!package.isEmpty(), "the package is not in the resources");
        const QRawData bytes(package);

        int pos = 0, sections = 0, mains = 0, dsps = 0;
        QMap<QString, QString> presets; // id -> kind
        while (pos < package.size()) {
            WdxFirmware fw;
            QVERIFY2(fw.load(bytes, pos), qPrintable(QStringLiteral("section at %1").arg(pos)));
            const quint32 n = getU32(package, pos);
            QCOMPARE(fw.dataSize(), qint32(n));
            QCOMPARE(getU32(package, pos + 4 + int(n)), zlibCrc(package.mid(pos + 4, int(n))));
            QVERIFY(fw.crcMatches());
            QCOMPARE(fw.blockSize(), 512u);
            QCOMPARE(fw.versionText(), QStringLiteral("2.01"));
            fw.parseAllBlocks();
            QVERIFY(fw.allBlocksParsed());
            QCOMPARE(quint32(fw.blockCount()), fw.totalBlocks());
            QCOMPARE(fw.blocks().firstKey(), 0u);
            QCOMPARE(fw.blocks().lastKey(), fw.totalBlocks() - 1);

            if (fw.target() == QLatin1String("RWDX")) {
                ++mains;
                QCOMPARE(fw.totalBlocks(), 89u);
                QCOMPARE(fw.payloadSize(), 89u * 512u);
            } else if (fw.target() == QLatin1String("RDSP")) {
                ++dsps;
                QCOMPARE(fw.totalBlocks(), 73u);
            } else {
                QCOMPARE(fw.target(), QStringLiteral("RPRS"));
                QString id, kind;
                const Pkg::enSectionUse use = Pkg::sectionUse(fw, &id, &kind);
                QCOMPARE(use, kind == QLatin1String("PASS") ? Pkg::enSectionUse_MainPreset : Pkg::enSectionUse_SubPreset);
                QCOMPARE(fw.totalBlocks(), kind == QLatin1String("PASS") ? 17u : 7u);
                QVERIFY2(!presets.contains(id), qPrintable(id));
                presets.insert(id, kind);
            }
            pos += int(n) + 8;
            ++sections;
        }
        QCOMPARE(pos, package.size());
        QCOMPARE(mains, 1);
        QCOMPARE(dsps, 1);

        // One preset per mode of the catalogue except the neutral flat one, of its cabinet's kind.
        const RVSpeakerDB catalogue;
        QMap<QString, QString> expected;
        for (const RVSpeakerFamily *family : catalogue.families()) {
            for (const RVCabinet *cabinet : family->cabinets()) {
                for (const RVCabinetMode *mode : cabinet->modes()) {
                    const RVCabinetVariant *v = mode->variants().first();
                    if (mode->variants().size() == 1 && v->minFrequency() == 0 && v->maxFrequency() == 20000)
                        continue;
                    expected.insert(mode->id(), cabinet->type() == RVCabinet::Sub ? QStringLiteral("SUB ")
                                                                                    : QStringLiteral("PASS"));
                }
            }
        }
        QCOMPARE(expected.size(), 40);
        QCOMPARE(presets, expected);
        QCOMPARE(sections, 42);
    }

    void flippedPayloadByteOnlyTracesTheCrc()
    {
        QByteArray package = embeddedPackage();
        const int n = int(getU32(package, 0));
        // A data byte of block 3 of the first section.
        const int at = 4 + 24 + 3 * (512 + 4) + 4 + 100;
        package[at] = char(package.at(at) ^ 0x10);
        const quint32 computed = zlibCrc(package.mid(4, n));
        const quint32 parsed = getU32(package, 4 + n);
        QVERIFY(computed != parsed);

        LogCapture log;
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(package), 0));
        QVERIFY(!fw.crcMatches());
        QCOMPARE(fw.computedCrc(), computed);
        QCOMPARE(fw.parsedCrc(), parsed);
        QCOMPARE(log.count(QStringLiteral("Trace"), QStringLiteral("WdxFirmware"), QStringLiteral("load"),
                           QStringLiteral("Error parsing file, bad crc (computed[%1] != parsed[%2])")
                               .arg(computed)
                               .arg(parsed)),
                 1);
        QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmware"), QString(), QString()), 0);
        for (const QString &line : log.lines())
            QVERIFY2(!line.contains(QLatin1String("[Error]")), qPrintable(line));

        // The damaged byte is served as it stands: only the CRC tells.
        fw.parseAllBlocks();
        const QByteArray original = invert(embeddedPackage().mid(at, 1));
        QCOMPARE(quint8(fw.blocks().value(3).at(100)), quint8(original.at(0) ^ 0x10));
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
        QTest::newRow("data size 0") << zero << 0 << bad;

        QByteArray huge = good;
        huge[0] = char(0x80); // reads as 0
        QTest::newRow("data size above 0x7FFFFFFF") << huge << 0 << bad;

        QTest::newRow("CRC cut off") << good.left(good.size() - 1) << 0 << bad;
        QTest::newRow("body cut off") << good.left(good.size() / 2) << 0 << bad;
        QTest::newRow("three bytes left") << good + QByteArray(3, '\0') << good.size() << QString();
        QTest::newRow("offset at the end") << good << good.size() << QString();

        HandSection moreBlocks = wellFormed("RDSP", 3, 8);
        moreBlocks.totalBlocks = 4;
        QTest::newRow("more blocks declared") << moreBlocks.bytes() << 0 << lenght;
        HandSection biggerBlocks = wellFormed("RDSP", 3, 8);
        biggerBlocks.blockSize = 9;
        QTest::newRow("block size too large") << biggerBlocks.bytes() << 0 << lenght;
        HandSection trailing = wellFormed("RDSP", 3, 8);
        trailing.extraBody = "z";
        QTest::newRow("one byte beyond the records") << trailing.bytes() << 0 << lenght;

        QByteArray shortBody;
        putU32(shortBody, 10);
        shortBody.append(QByteArray(10, 'b'));
        putU32(shortBody, zlibCrc(QByteArray(10, 'b')));
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
        QVERIFY(fw.blocks().isEmpty());
        QCOMPARE(loaded.count(), 0);
        QVERIFY(!fw.parseBlock(0));
        if (errorLine.isEmpty())
            QCOMPARE(log.countContaining(QStringLiteral("WdxFirmware"), QStringLiteral("][load] ")), 0);
        else
            QCOMPARE(log.count(QStringLiteral("Error"), QStringLiteral("WdxFirmware"), QStringLiteral("load"), errorLine), 1);
    }

    void storedBytesAreInverted()
    {
        HandSection s;
        s.blockSize = 4;
        s.totalBlocks = 1;
        s.storedRecords.append(qMakePair(0u, QByteArray("\x00\xFF\x0F\xA5", 4)));
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(s.bytes()), 0));
        QCOMPARE(fw.blocks().value(0).toByteArray(), QByteArray("\xFF\x00\xF0\x5A", 4));
        QCOMPARE(fw.target(), QStringLiteral("RWDX"));
        QCOMPARE(fw.imageChecksum().toByteArray(), QByteArray("\x01\x02\x03\x04", 4));
        QCOMPARE(fw.payloadSize(), 4u);
    }

    void loadKeepsOnlyTheFirstBlockUntilAllAreParsed()
    {
        // Two sections back to back; the second is read at its offset.
        const QByteArray first = wellFormed("RWDX", 2, 8, 10).bytes();
        HandSection second = wellFormed("RDSP", 5, 16, 20);
        // Stored out of order: ids by position 4, 2, 0, 3, 1.
        const quint32 order[] = {4, 2, 0, 3, 1};
        for (int i = 0; i < 5; ++i)
            second.storedRecords[i].first = order[i];
        const QByteArray file = first + second.bytes();

        WdxFirmware fw;
        QSignalSpy loaded(&fw, &WdxFirmware::dataLoaded);
        QSignalSpy parsed(&fw, &WdxFirmware::blockParsed);
        QVERIFY(fw.load(QRawData(file), first.size()));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(fw.blocks().keys(), QList<quint32>{4u});
        QCOMPARE(parsed.count(), 1);
        QVERIFY(!fw.allBlocksParsed());

        fw.parseAllBlocks();
        QVERIFY(fw.allBlocksParsed());
        QCOMPARE(fw.blocks().keys(), (QList<quint32>{0, 1, 2, 3, 4}));
        QCOMPARE(parsed.count(), 5);
        QCOMPARE(fw.blocks().value(2).toByteArray(), invert(second.storedRecords[1].second));

        // A known id is left alone and not announced again.
        QVERIFY(fw.parseBlock(0));
        QCOMPARE(parsed.count(), 5);
        QVERIFY(!fw.parseBlock(5)); // beyond the body

        // A new load starts from nothing, also when it fails.
        QVERIFY(!fw.load(QRawData(file), 1));
        QVERIFY(fw.blocks().isEmpty());
        QVERIFY(!fw.allBlocksParsed());
    }

    void repeatedIdsKeepTheFirstRecord()
    {
        HandSection s = wellFormed("RPRS", 3, 4);
        s.storedRecords[2].first = 0;
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(s.bytes()), 0));
        fw.parseAllBlocks();
        QVERIFY(fw.allBlocksParsed());
        QCOMPARE(fw.blocks().size(), 2);
        QCOMPARE(fw.blocks().value(0).toByteArray(), invert(s.storedRecords[0].second));
    }

    void blockCountEntersTheSizeRuleModulo65536()
    {
        // 65537 blocks of 1 byte: the payload counts one block, the ids all 65537.
        HandSection s;
        s.blockSize = 1;
        s.totalBlocks = 65537;
        s.extraBody = QByteArray(1 + 4 * 65537, '\x7E');
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(s.bytes()), 0));
        QCOMPARE(fw.payloadSize(), 1u);
        QCOMPARE(fw.totalBlocks(), 65537u);
        // The records that fit are parsed, the rest are not there: never all parsed.
        fw.parseAllBlocks();
        QVERIFY(!fw.allBlocksParsed());
        QVERIFY(fw.blockCount() >= 1);

        s.extraBody.chop(1);
        QVERIFY(!fw.load(QRawData(s.bytes()), 0));
        s.extraBody.append(QByteArray(2, '\x7E'));
        QVERIFY(!fw.load(QRawData(s.bytes()), 0));

        // Header words that would overflow 32-bit arithmetic still only fail the rule.
        HandSection wide = wellFormed("RWDX", 1, 4);
        wide.blockSize = 0xFFFFFFFFu;
        wide.totalBlocks = 0xFFFFFFFFu;
        QVERIFY(!fw.load(QRawData(wide.bytes()), 0));
    }

    void zeroBlocksLoadAndAreAllParsed()
    {
        HandSection s;
        s.totalBlocks = 0;
        WdxFirmware fw;
        QVERIFY(fw.load(QRawData(s.bytes()), 0));
        QVERIFY(fw.blocks().isEmpty());
        fw.parseAllBlocks();
        QVERIFY(fw.allBlocksParsed());
    }

    void sectionUseFollowsTargetVersionAndKind_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<int>("use");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("kind");
        QTest::newRow("main") << wellFormed("RWDX", 1, 4).bytes() << int(Pkg::enSectionUse_Main) << QString() << QString();
        QTest::newRow("dsp") << wellFormed("RDSP", 1, 4).bytes() << int(Pkg::enSectionUse_Dsp) << QString() << QString();
        QTest::newRow("cabinet") << wellFormed("RCAB", 1, 4).bytes() << int(Pkg::enSectionUse_Cabinet) << QString() << QString();
        QTest::newRow("other") << wellFormed("RXYZ", 1, 4).bytes() << int(Pkg::enSectionUse_Unmanaged) << QString() << QString();
        QTest::newRow("pass") << preset("AB1", "PASS").bytes() << int(Pkg::enSectionUse_MainPreset) << "AB1" << "PASS";
        QTest::newRow("sub") << preset("CD1", "SUB ").bytes() << int(Pkg::enSectionUse_SubPreset) << "CD1" << "SUB ";
        QTest::newRow("sub without blank") << preset("CD1", "SUB!").bytes() << int(Pkg::enSectionUse_UnknownPresetKind)
                                           << "CD1" << "SUB!";
        QTest::newRow("version 2.00") << preset("AB1", "PASS", 2, "2.00").bytes() << int(Pkg::enSectionUse_BadPresetVersion)
                                      << "AB1" << "PASS";
        // Blocks too short to carry the kind field: dropped as of unknown kind.
        QTest::newRow("block of 138 bytes") << preset("AB1", "PASS", 2, "2.01", 138).bytes()
                                            << int(Pkg::enSectionUse_UnknownPresetKind) << "AB1" << QString();
        QTest::newRow("no block") << preset("AB1", "PASS", 0).bytes() << int(Pkg::enSectionUse_UnknownPresetKind)
                                  << QString() << QString();
    }

    void sectionUseFollowsTargetVersionAndKind()
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

    // The loader traces every preset of the right version before it looks at the kind, so a
    // preset dropped for its kind is traced as well as warned about.
    void loaderTracesPresetsBeforeCheckingTheKind()
    {
        const QByteArray file = wellFormed("RWDX", 2, 8).bytes() + wellFormed("RDSP", 2, 8).bytes()
            + preset("AB3", "PAS ").bytes() + preset("AB1", "PASS").bytes() + preset("CD1", "SUB ").bytes()
            + preset("AB2", "PASS", 2, "2.00").bytes();
        LogCapture log;
        WdxFirmwareWorker worker(false, QString());
        QCOMPARE(worker.loadData(QRawData(file)), WdxFirmwareWorker::Ok);
        QCOMPARE(worker.mainPresetIds(), QStringList{QStringLiteral("AB1")});
        QCOMPARE(worker.subPresetIds(), QStringList{QStringLiteral("CD1")});
        const QString module = QStringLiteral("WdxFirmwareWorker");
        const QString trace = QStringLiteral("Trace");
        const QString function = QStringLiteral("loadFile");
        QCOMPARE(log.count(trace, module, function, QStringLiteral("Adding PAS  preset AB3")), 1);
        QCOMPARE(log.count(trace, module, function, QStringLiteral("Adding PASS preset AB1")), 1);
        QCOMPARE(log.count(trace, module, function, QStringLiteral("Adding SUB  preset CD1")), 1);
        QCOMPARE(log.countContaining(module, QStringLiteral("preset AB2")), 1); // the version warning only
        QCOMPARE(log.countContaining(module, QStringLiteral("[Warning]")), 2);
    }

    void writerMatchesTheLayout()
    {
        Pkg::SectionSpec layout;
        layout.target = QStringLiteral("RDSP");
        layout.offsetSize = 0x2000;
        layout.blockSize = 4;
        layout.version = "2.01";
        layout.imageChecksum = QByteArray("\xDE\xAD\xBE\xEF", 4);
        layout.image = QByteArray("abcdefghij");

        HandSection hand;
        hand.target = "RDSP";
        hand.offsetSize = 0x2000;
        hand.blockSize = 4;
        hand.totalBlocks = 3;
        hand.checksum = layout.imageChecksum;
        hand.storedRecords = {qMakePair(0u, invert("abcd")), qMakePair(1u, invert("efgh")),
                              qMakePair(2u, invert(QByteArray("ij\xFF\xFF", 4)))};
        QCOMPARE(Pkg::buildSection(layout), hand.bytes());

        layout.version = "2.0";
        QVERIFY(Pkg::buildSection(layout).isEmpty());
        layout.version = "2.01";
        layout.blockSize = 0;
        QVERIFY(Pkg::buildSection(layout).isEmpty());
        layout.blockSize = 1;
        layout.image = QByteArray(65536, 'a'); // one block too many for the size rule
        QVERIFY(Pkg::buildSection(layout).isEmpty());
    }

    void packageVerdicts_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<int>("refusingSection");
        QTest::addColumn<QStringList>("mainPresets");

        const QStringList ab1{QStringLiteral("AB1")};
        const QByteArray main = wellFormed("RWDX", 2, 8).bytes();
        const QByteArray dsp = wellFormed("RDSP", 2, 8).bytes();
        const QByteArray pass = preset("AB1", "PASS").bytes();
        QByteArray badCrc = dsp;
        badCrc[4 + 24 + 4 + 1] = char(badCrc.at(4 + 24 + 4 + 1) ^ 1);
        HandSection broken = wellFormed("RPRS", 2, 8);
        broken.totalBlocks = 3;

        QTest::newRow("accepted") << main + dsp + pass << int(Pkg::enRefusal_None) << -1 << ab1;
        QTest::newRow("dsp only") << dsp + pass << int(Pkg::enRefusal_BadFile) << -1 << QStringList();
        QTest::newRow("main only") << main + pass << int(Pkg::enRefusal_BadFile) << -1 << QStringList();
        QTest::newRow("seven bytes") << main.left(7) << int(Pkg::enRefusal_BadFile) << -1 << QStringList();
        QTest::newRow("truncated") << (main + dsp + pass).left(main.size() + dsp.size() + 20)
                                   << int(Pkg::enRefusal_BadFile) << 2 << QStringList();
        QTest::newRow("bad crc") << main + badCrc + pass << int(Pkg::enRefusal_BadCRC) << 1 << QStringList();
        QTest::newRow("size rule first") << main + broken.bytes() + badCrc << int(Pkg::enRefusal_BadFile) << 1 << QStringList();
        QTest::newRow("bad crc first") << badCrc + broken.bytes() + main << int(Pkg::enRefusal_BadCRC) << 0 << QStringList();
        QTest::newRow("dropped presets are fine") << main + dsp + preset("AB2", "PASS", 2, "2.00").bytes()
                                                  << int(Pkg::enRefusal_None) << -1 << QStringList();
    }

    void packageVerdicts()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, refusal);
        QFETCH(int, refusingSection);
        QFETCH(QStringList, mainPresets);
        const Pkg::PackageReport report = Pkg::inspect(QRawData(package));
        QCOMPARE(int(report.refusal), refusal);
        QCOMPARE(report.refusingSection, refusingSection);
        QCOMPARE(report.accepted(), refusal == Pkg::enRefusal_None);
        QCOMPARE(report.reason.isEmpty(), report.accepted());
        QCOMPARE(report.mainPresetIds, mainPresets);
        if (!report.accepted()) {
            QVERIFY(report.mainVersion.isEmpty());
            QVERIFY(report.mainPresetIds.isEmpty());
        }
    }
};

VELA_TEST_MAIN_CORE(TestWdxFirmware)
#include "tst_wdxfirmware.moc"
