// wdxpkg, the firmware package tool: inspect (text and --json) reports the package as the
// upload worker reads it; create builds what the manifest says and never writes a package the
// application would not load.

#include "FirmwareTestSupport.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmware.h"
#include "firmware/WdxFirmwareWorker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace FirmwareTest;
using W = WdxFirmwareWorker;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

Run wdxpkg(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(WDXPKG_TOOL), args);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace

class TestWdxPkg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void inspect_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const QByteArray main = wellFormed("RWDX", 3, 32).bytes();
        const QByteArray dsp = wellFormed("RDSP", 2, 32).bytes();
        QByteArray flipped = main + dsp;
        const int at = main.size() + 4 + 24 + 4 + 3;
        flipped[at] = char(flipped.at(at) ^ 0x20);
        QTest::newRow("shipped") << embeddedPackage() << 0 << QString();
        QTest::newRow("flipped payload byte") << flipped << 1 << "Bad CRC";
        QTest::newRow("no RDSP") << main + preset("AB1", "PASS").bytes() << 1 << "Bad File";
    }

    void inspect()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        const QString path = writeFile(m_dir.filePath(QStringLiteral("inspected.rvf")), package);
        const Run run = wdxpkg({QStringLiteral("inspect"), QStringLiteral("--json"), path});
        QCOMPARE(run.exitCode, exitCode);
        const QJsonObject report = run.json();
        QCOMPARE(report.value(QStringLiteral("accepted")).toBool(), exitCode == 0);
        QCOMPARE(report.value(QStringLiteral("error")).toString(), error);
        const Run text = wdxpkg({QStringLiteral("inspect"), path});
        QCOMPARE(text.exitCode, exitCode);
        QVERIFY2(text.out.endsWith(exitCode == 0 ? QByteArray("accepted\n") : "refused (" + error.toLatin1() + "): "
                                                                                  + report.value(QStringLiteral("reason")).toString().toLatin1() + "\n"),
                 text.out.constData());
        if (exitCode != 0)
            return;

        // The shipped package: its figures, and its first and last sections against the bytes.
        QVERIFY(text.out.contains("42 sections"));
        QVERIFY(text.out.contains("main firmware 2.01, DSP firmware 2.01, 23 main-speaker presets, 17 sub presets\n"));
        QCOMPARE(report.value(QStringLiteral("mainPresets")).toArray().first().toString(), QStringLiteral("AA1"));
        QCOMPARE(report.value(QStringLiteral("subPresets")).toArray().size(), 17);
        const QJsonArray sections = report.value(QStringLiteral("sections")).toArray();
        QCOMPARE(sections.size(), 42);
        const QJsonObject first = sections.first().toObject();
        QCOMPARE(first.value(QStringLiteral("target")).toString(), QStringLiteral("RWDX"));
        QCOMPARE(first.value(QStringLiteral("blocks")).toInt(), 89);
        QCOMPARE(first.value(QStringLiteral("payloadSize")).toInt(), 0xB200);
        QCOMPARE(first.value(QStringLiteral("imageChecksum")).toString(), QString::fromLatin1(package.mid(4 + 20, 4).toHex()));
        QCOMPARE(first.value(QStringLiteral("crc")).toString(),
                 QStringLiteral("%1").arg(zlibCrc(package.mid(4, int(getU32(package, 0)))), 8, 16, QLatin1Char('0')));
    }

    void unreadableFileAndUsage()
    {
        const QString absent = m_dir.filePath(QStringLiteral("absent.rvf"));
        QCOMPARE(wdxpkg({QStringLiteral("inspect"), absent}).exitCode, 3);
        const Run json = wdxpkg({QStringLiteral("inspect"), QStringLiteral("--json"), absent});
        QCOMPARE(json.exitCode, 3);
        QCOMPARE(json.json().value(QStringLiteral("error")).toString(), QStringLiteral("File Not Found"));
        QCOMPARE(wdxpkg({}).exitCode, 2);
        QCOMPARE(wdxpkg({QStringLiteral("create"), QStringLiteral("only-one")}).exitCode, 2);
        const Run help = wdxpkg({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("inspect [--json]"));
    }

    void createBuildsWhatTheManifestSays()
    {
        QDir dir(m_dir.filePath(QStringLiteral("create")));
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        QByteArray mainImage(1000, Qt::Uninitialized);
        for (int i = 0; i < mainImage.size(); ++i)
            mainImage[i] = char(i * 7);
        mainImage.replace(300, 10, "WDXVER3.10");
        writeFile(dir.filePath(QStringLiteral("main.bin")), mainImage);
        writeFile(dir.filePath(QStringLiteral("dsp.bin")), QByteArray("no tag here").leftJustified(256, '\x11'));
        writeFile(dir.filePath(QStringLiteral("ab1.bin")), QByteArray(200, '\xFF') + QByteArray("WDXVER2.01"));
        const QString manifest = writeFile(dir.filePath(QStringLiteral("manifest.json")), R"({"sections": [
            {"target": "RWDX", "image": "main.bin", "version": "3.10", "checksum": "0A0B0C0D", "blockSize": 256, "offsetSize": 8192},
            {"target": "RDSP", "image": "dsp.bin", "version": "3.10", "checksum": "01020304", "blockSize": 128},
            {"target": "RPRS", "image": "ab1.bin", "version": "2.01", "checksum": "ffffffff", "blockSize": 160,
             "presetId": "AB1", "presetKind": "SUB"}
        ]})");
        const QString out = dir.filePath(QStringLiteral("out.rvf"));
        const Run run = wdxpkg({QStringLiteral("create"), manifest, out});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("RDSP") && run.err.contains("no WDXVER tag"), run.err.constData());

        W worker(false, out);
        QCOMPARE(worker.loadFile(), W::Ok);
        QCOMPARE(worker.mainFwVersion(), QStringLiteral("3.10"));
        QCOMPARE(worker.subPresetIds(), QStringList{QStringLiteral("AB1")});
        QVERIFY(worker.mainPresetIds().isEmpty());

        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray package = file.readAll();
        const ImageBytes main = imageOf(package, "RWDX");
        QCOMPARE(main.blocks.size(), 4);
        QCOMPARE(main.checksum, QByteArray::fromHex("0a0b0c0d"));
        QCOMPARE(main.blocks.values().join(), mainImage + QByteArray(24, '\xFF'));
        const ImageBytes sub = imageOf(package, "RPRS", "AB1");
        QCOMPARE(sub.blocks.size(), 2);
        QCOMPARE(sub.blocks.value(0).mid(135, 4), QByteArray("SUB "));
        QCOMPARE(sub.blocks.value(1).mid(40, 10), QByteArray("WDXVER2.01"));
    }

    void createRefuses_data()
    {
        QTest::addColumn<QString>("sections");
        QTest::addColumn<QByteArray>("complaint");
        const QString main = QStringLiteral(R"({"target": "RWDX", "image": "main.bin", "version": "2.01", "checksum": "00000000"})");
        const QString dsp = QStringLiteral(R"({"target": "RDSP", "image": "dsp.bin", "version": "2.01", "checksum": "00000000"})");
        const QString preset = QStringLiteral(R"({"target": "RPRS", "image": "%1", "version": "%2", "checksum": "00000000", "blockSize": %3, "presetId": "AB1", "presetKind": "PASS"})");
        QTest::newRow("no DSP image") << main << QByteArray("Bad File");
        QTest::newRow("preset blocks too small") << main + "," + dsp + "," + preset.arg("p.bin", "2.01").arg(138)
                                                 << QByteArray("at least 139");
        QTest::newRow("too many blocks") << main + "," + QString(dsp).replace("}", ", \"blockSize\": 4}")
                                         << QByteArray("8-bit id");
    }

    void createRefuses()
    {
        QFETCH(QString, sections);
        QFETCH(QByteArray, complaint);
        QDir dir(m_dir.filePath(QStringLiteral("refuse")));
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        writeFile(dir.filePath(QStringLiteral("main.bin")), QByteArray(1024, 'm') + "WDXVER2.01");
        writeFile(dir.filePath(QStringLiteral("dsp.bin")), QByteArray(1030, 'd') + "WDXVER2.01");
        writeFile(dir.filePath(QStringLiteral("p.bin")), QByteArray(512, '\xFF'));
        const QString manifest = writeFile(dir.filePath(QStringLiteral("manifest.json")),
                                           (QStringLiteral("{\"sections\": [") + sections + "]}").toUtf8());
        const QString out = dir.filePath(QStringLiteral("out.rvf"));
        QFile::remove(out);
        const Run run = wdxpkg({QStringLiteral("create"), manifest, out});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(complaint), run.err.constData());
        QVERIFY(!QFile::exists(out));
    }

private:
    QTemporaryDir m_dir;
};

VELA_TEST_MAIN_CORE(TestWdxPkg)
#include "tst_wdxpkg.moc"
