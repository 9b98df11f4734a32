// wdxpkg, the firmware package tool: inspect (text and --json) agrees with what the upload
// worker loads and refuses what it refuses; create builds what the manifest says and never
// writes a package the application would not load.

#include "FirmwareTestSupport.h"
#include "VelaTestMain.h"
#include "firmware/WdxFirmware.h"
#include "firmware/WdxFirmwareWorker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

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

QString resultText(W::enErrCode code)
{
    return code == W::Ok ? QString() : W::errorText(code);
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
        m_package = embeddedPackage();
        QVERIFY(!m_package.isEmpty());
    }

    void inspectAgreesWithTheApplication()
    {
        const QString path = write(QStringLiteral("shipped.rvf"), m_package);
        const Run run = wdxpkg({QStringLiteral("inspect"), QStringLiteral("--json"), path});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject report = run.json();
        QVERIFY(report.value(QStringLiteral("accepted")).toBool());
        QVERIFY(report.value(QStringLiteral("error")).isNull());

        W worker(false, path);
        QCOMPARE(worker.loadFile(), W::Ok);
        QCOMPARE(report.value(QStringLiteral("mainVersion")).toString(), worker.mainFwVersion());
        QCOMPARE(report.value(QStringLiteral("dspVersion")).toString(), worker.dspFwVersion());
        QCOMPARE(report.value(QStringLiteral("mainPresets")).toVariant().toStringList(), worker.mainPresetIds());
        QCOMPARE(report.value(QStringLiteral("subPresets")).toVariant().toStringList(), worker.subPresetIds());

        // Section by section, against the bytes themselves.
        const QJsonArray sections = report.value(QStringLiteral("sections")).toArray();
        QCOMPARE(sections.size(), 42);
        int pos = 0;
        for (const QJsonValue &v : sections) {
            const QJsonObject s = v.toObject();
            const int n = int(getU32(m_package, pos));
            QCOMPARE(s.value(QStringLiteral("offset")).toInt(), pos);
            QCOMPARE(s.value(QStringLiteral("dataSize")).toInt(), n);
            const QByteArray body = m_package.mid(pos + 4, n);
            QCOMPARE(s.value(QStringLiteral("target")).toString(), QString::fromLatin1(body.left(4)));
            QCOMPARE(s.value(QStringLiteral("blockSize")).toInt(), int(getU32(body, 8)));
            QCOMPARE(s.value(QStringLiteral("blocks")).toInt(), int(getU32(body, 12)));
            QCOMPARE(s.value(QStringLiteral("version")).toString(), QString::fromLatin1(body.mid(16, 4)));
            QCOMPARE(s.value(QStringLiteral("imageChecksum")).toString(), QString::fromLatin1(body.mid(20, 4).toHex()));
            QCOMPARE(s.value(QStringLiteral("payloadSize")).toInt(), int(getU32(body, 8) * getU32(body, 12)));
            QCOMPARE(s.value(QStringLiteral("crc")).toString(),
                     QStringLiteral("%1").arg(zlibCrc(body), 8, 16, QLatin1Char('0')));
            QVERIFY(s.value(QStringLiteral("crcGood")).toBool());
            QVERIFY(s.value(QStringLiteral("sizeRule")).toBool());
            // Every image names its version the way the device reads it.
            QCOMPARE(s.value(QStringLiteral("versionTag")).toString(), QStringLiteral("2.01"));
            QVERIFY(s.value(QStringLiteral("warnings")).toArray().isEmpty());
            if (s.value(QStringLiteral("target")).toString() == QLatin1String("RPRS")) {
                const QByteArray first = invert(body.mid(24 + 4, 512));
                QCOMPARE(s.value(QStringLiteral("presetId")).toString(), QString::fromLatin1(first.left(3)));
                QCOMPARE(s.value(QStringLiteral("presetKind")).toString(), QString::fromLatin1(first.mid(135, 4)));
            }
            pos += n + 8;
        }
        QCOMPARE(pos, m_package.size());

        const Run text = wdxpkg({QStringLiteral("inspect"), path});
        QCOMPARE(text.exitCode, 0);
        QVERIFY(text.out.contains("42 sections"));
        QVERIFY(text.out.contains("main-speaker preset"));
        QVERIFY(text.out.endsWith("accepted\n"));
    }

    void refusesWhatTheApplicationRefuses_data()
    {
        QTest::addColumn<QByteArray>("package");
        const QByteArray main = wellFormed("RWDX", 3, 32).bytes();
        const QByteArray dsp = wellFormed("RDSP", 2, 32).bytes();
        const QByteArray pass = preset("AB1", "PASS").bytes();
        const QByteArray sub = preset("CD1", "SUB ").bytes();
        QByteArray flipped = main + dsp + pass;
        const int at = main.size() + 4 + 24 + 4 + 3;
        flipped[at] = char(flipped.at(at) ^ 0x20);
        HandSection broken = wellFormed("RPRS", 2, 32);
        broken.totalBlocks = 1;
        QByteArray noise(3000, Qt::Uninitialized);
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 40503u) >> 7);

        QTest::newRow("good") << main + dsp + pass + sub;
        QTest::newRow("flipped payload byte") << flipped;
        QTest::newRow("truncated") << (main + dsp + pass).left(main.size() + dsp.size() + 40);
        QTest::newRow("no RDSP") << main + pass;
        QTest::newRow("no RWDX") << dsp + sub;
        QTest::newRow("size rule") << main + dsp + broken.bytes();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("random") << noise;
        QTest::newRow("preset 2.00 dropped") << main + dsp + preset("AB2", "PASS", 2, "2.00").bytes() + sub;
        QTest::newRow("unknown kind dropped") << main + preset("AB3", "WOOF").bytes() + dsp;
        QTest::newRow("cabinet and other slots") << wellFormed("RCAB", 1, 8).bytes() + main + wellFormed("RZZZ", 1, 8).bytes() + dsp;
    }

    void refusesWhatTheApplicationRefuses()
    {
        QFETCH(QByteArray, package);
        const QString path = write(QStringLiteral("variant.rvf"), package);
        W worker(false, path);
        const W::enErrCode loaded = worker.loadFile();

        const Run run = wdxpkg({QStringLiteral("inspect"), QStringLiteral("--json"), path});
        const QJsonObject report = run.json();
        QCOMPARE(run.exitCode, loaded == W::Ok ? 0 : 1);
        QCOMPARE(report.value(QStringLiteral("accepted")).toBool(), loaded == W::Ok);
        QCOMPARE(report.value(QStringLiteral("error")).toString(), resultText(loaded));
        QCOMPARE(report.value(QStringLiteral("mainPresets")).toVariant().toStringList(), worker.mainPresetIds());
        QCOMPARE(report.value(QStringLiteral("subPresets")).toVariant().toStringList(), worker.subPresetIds());
        QCOMPARE(report.value(QStringLiteral("mainVersion")).toString(), worker.mainFwVersion());

        const Run text = wdxpkg({QStringLiteral("inspect"), path});
        QCOMPARE(text.exitCode, run.exitCode);
        QVERIFY(text.out.contains(loaded == W::Ok ? QByteArray("accepted\n")
                                                 : QStringLiteral("refused (%1)").arg(resultText(loaded)).toLatin1()));
    }

    void unreadableFileAndUsage()
    {
        QCOMPARE(wdxpkg({QStringLiteral("inspect"), m_dir.filePath(QStringLiteral("absent.rvf"))}).exitCode, 3);
        const Run json = wdxpkg({QStringLiteral("inspect"), QStringLiteral("--json"), m_dir.filePath(QStringLiteral("absent.rvf"))});
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
        const QByteArray dspImage = QByteArray("no tag here").leftJustified(256, '\x11');
        const QByteArray presetImage = QByteArray(200, '\xFF') + QByteArray("WDXVER2.01");
        writeIn(dir, QStringLiteral("main.bin"), mainImage);
        writeIn(dir, QStringLiteral("dsp.bin"), dspImage);
        writeIn(dir, QStringLiteral("ab1.bin"), presetImage);
        const QString manifest = writeIn(dir, QStringLiteral("manifest.json"), R"({"sections": [
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
        const QRawData package(file.readAll());
        WdxFirmware main;
        QVERIFY(main.load(package, 0));
        QCOMPARE(main.totalBlocks(), 4u);
        QCOMPARE(main.imageChecksum().toByteArray(), QByteArray::fromHex("0a0b0c0d"));
        main.parseAllBlocks();
        QByteArray joined;
        for (const QRawData &b : main.blocks())
            joined += b.toByteArray();
        QCOMPARE(joined, mainImage + QByteArray(24, '\xFF'));

        WdxFirmware sub;
        QVERIFY(sub.load(package, 8 + main.dataSize() + 8 + int(getU32(package.toByteArray(), 8 + main.dataSize()))));
        QCOMPARE(sub.target(), QStringLiteral("RPRS"));
        sub.parseAllBlocks();
        QCOMPARE(sub.blocks().size(), 2);
        const QByteArray first = sub.blocks().value(0).toByteArray();
        QCOMPARE(first.left(3), QByteArray("AB1"));
        QCOMPARE(first.mid(135, 4), QByteArray("SUB "));
        QCOMPARE(sub.blocks().value(1).toByteArray().mid(40, 10), QByteArray("WDXVER2.01"));
    }

    void createRefuses_data()
    {
        QTest::addColumn<QString>("sections");
        QTest::addColumn<QByteArray>("complaint");
        const QString main = QStringLiteral(R"({"target": "RWDX", "image": "main.bin", "version": "2.01", "checksum": "00000000"})");
        const QString dsp = QStringLiteral(R"({"target": "RDSP", "image": "dsp.bin", "version": "2.01", "checksum": "00000000"})");
        QTest::newRow("tag disagrees") << main + "," + QStringLiteral(R"({"target": "RDSP", "image": "dsp.bin", "version": "2.02", "checksum": "00000000"})")
                                       << QByteArray("carries version 2.01 but the manifest says 2.02");
        QTest::newRow("no DSP image") << main << QByteArray("Bad File");
        QTest::newRow("preset 2.00") << main + "," + dsp + "," + QStringLiteral(R"({"target": "RPRS", "image": "p.bin", "version": "2.00", "checksum": "00000000", "presetId": "AB1", "presetKind": "PASS"})")
                                     << QByteArray("only accepts presets of version 2.01");
        QTest::newRow("preset blocks too small") << main + "," + dsp + "," + QStringLiteral(R"({"target": "RPRS", "image": "p.bin", "version": "2.01", "checksum": "00000000", "blockSize": 138, "presetId": "AB1", "presetKind": "PASS"})")
                                                 << QByteArray("at least 139");
        QTest::newRow("preset id clash") << main + "," + dsp + "," + QStringLiteral(R"({"target": "RPRS", "image": "named.bin", "version": "2.01", "checksum": "00000000", "presetId": "AB1", "presetKind": "PASS"})")
                                         << QByteArray("carries preset id \"XY9\"");
        QTest::newRow("too many blocks") << main + "," + QStringLiteral(R"({"target": "RDSP", "image": "dsp.bin", "version": "2.01", "checksum": "00000000", "blockSize": 4})")
                                         << QByteArray("8-bit id");
        QTest::newRow("bad checksum") << QStringLiteral(R"({"target": "RWDX", "image": "main.bin", "version": "2.01", "checksum": "xyz"})") + "," + dsp
                                      << QByteArray("8 hexadecimal digits");
        QTest::newRow("missing image") << main + "," + QStringLiteral(R"({"target": "RDSP", "image": "gone.bin", "version": "2.01", "checksum": "00000000"})")
                                       << QByteArray("cannot read");
    }

    void createRefuses()
    {
        QFETCH(QString, sections);
        QFETCH(QByteArray, complaint);
        QDir dir(m_dir.filePath(QStringLiteral("refuse")));
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        writeIn(dir, QStringLiteral("main.bin"), QByteArray(1024, 'm') + "WDXVER2.01");
        writeIn(dir, QStringLiteral("dsp.bin"), QByteArray(1030, 'd') + "WDXVER2.01");
        writeIn(dir, QStringLiteral("p.bin"), QByteArray(512, '\xFF'));
        writeIn(dir, QStringLiteral("named.bin"), QByteArray("XY9") + QByteArray(509, '\xFF'));
        const QString manifest = writeIn(dir, QStringLiteral("manifest.json"), (QStringLiteral("{\"sections\": [") + sections + "]}").toUtf8());
        const QString out = dir.filePath(QStringLiteral("out.rvf"));
        QFile::remove(out);
        const Run run = wdxpkg({QStringLiteral("create"), manifest, out});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(complaint), run.err.constData());
        QVERIFY(!QFile::exists(out));
    }

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeIn(QDir(m_dir.path()), name, bytes);
    }
    static QString writeIn(const QDir &dir, const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
    QByteArray m_package;
};

VELA_TEST_MAIN_CORE(TestWdxPkg)
#include "tst_wdxpkg.moc"
