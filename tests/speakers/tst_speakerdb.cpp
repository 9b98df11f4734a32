#include "logger/QLoggerManager.h"
#include "speakers/RVCabinet.h"
#include "speakers/RVCabinetMode.h"
#include "speakers/RVCabinetVariant.h"
#include "speakers/RVSpeakerDB.h"
#include "speakers/RVSpeakerFamily.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

QString variantXml(const QString &id, const QString &name, const QString &minFr, const QString &maxFr)
{
    QString xml = QStringLiteral("<var><id>%1</id><name>%2</name>").arg(id, name);
    if (!minFr.isNull())
        xml += QStringLiteral("<minFr>%1</minFr>").arg(minFr);
    if (!maxFr.isNull())
        xml += QStringLiteral("<maxFr>%1</maxFr>").arg(maxFr);
    return xml + QStringLiteral("</var>");
}

QString modeXml(const QString &id, const QString &name, const QString &vars)
{
    return QStringLiteral("<mode><id>%1</id><name>%2</name><vars>%3</vars></mode>").arg(id, name, vars);
}

QString cabXml(const QString &id, const QString &name, const QString &type, const QString &modes)
{
    return QStringLiteral("<cab><id>%1</id><name>%2</name><type>%3</type><modes>%4</modes></cab>")
        .arg(id, name, type, modes);
}

QString familyXml(const QString &id, const QString &name, const QString &cabs)
{
    return QStringLiteral("<family><id>%1</id><name>%2</name><cabs>%3</cabs></family>").arg(id, name, cabs);
}

// Icons the catalogue can name must be loadable SVG documents.
bool isSvgDocument(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&file);
    bool root = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && !root) {
            if (xml.name() != QLatin1String("svg") || xml.attributes().value("viewBox").isEmpty())
                return false;
            root = true;
        }
    }
    return root && !xml.hasError();
}

QString resourcePath(const QString &url)
{
    return url.startsWith(QLatin1String("qrc:")) ? url.mid(3) : QString();
}

} // namespace

class TstSpeakerDb : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeDocument(const QString &name, const QString &body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(body.toUtf8());
        return path;
    }

    QString familiesDocument(const QString &name, const QString &families)
    {
        return writeDocument(name, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<families>%1</families>")
                                       .arg(families));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void deliveredCatalogueShape()
    {
        RVSpeakerDB db;
        int cabinets = 0, pass = 0, sub = 0, modes = 0, variants = 0, flatFamilies = 0;
        for (const RVSpeakerFamily *family : db.families()) {
            QCOMPARE(family->id().size(), 1);
            QVERIFY(!family->name().trimmed().isEmpty());
            bool flat = false;
            for (const RVCabinet *cabinet : family->cabinets()) {
                ++cabinets;
                QCOMPARE(cabinet->id().size(), 2);
                QVERIFY2(cabinet->id().startsWith(family->id()), qPrintable(cabinet->id()));
                cabinet->type() == RVCabinet::Pass ? ++pass : ++sub;
                for (const RVCabinetMode *mode : cabinet->modes()) {
                    ++modes;
                    QCOMPARE(mode->id().size(), 3);
                    QVERIFY2(mode->id().startsWith(cabinet->id()), qPrintable(mode->id()));
                    // Preset ids travel as three Latin-1 characters.
                    for (QChar ch : mode->id())
                        QVERIFY(ch.isLetterOrNumber() && ch.unicode() < 128);
                    int expectedId = 0;
                    for (const RVCabinetVariant *variant : mode->variants()) {
                        ++variants;
                        QCOMPARE(variant->id(), QString::number(expectedId++));
                        const int lo = variant->minFrequency();
                        const int hi = variant->maxFrequency();
                        QVERIFY2(lo >= 0 && lo < hi && hi <= 20000, qPrintable(mode->id()));
                        if (lo == 0 && hi == 20000) {
                            flat = true;
                        } else if (cabinet->type() == RVCabinet::Sub) {
                            QVERIFY2(lo >= 20 && hi <= 200, qPrintable(mode->id()));
                        } else {
                            QVERIFY2(lo >= 30 && lo <= 200 && hi == 20000, qPrintable(mode->id()));
                        }
                    }
                    QVERIFY(expectedId <= 10); // ids in string order are in numeric order
                }
            }
            if (flat) {
                ++flatFamilies;
                QCOMPARE(family->cabinets().size(), 1);
                const RVCabinet *cabinet = family->cabinets().first();
                QCOMPARE(cabinet->modes().size(), 1);
                QCOMPARE(cabinet->modes().first()->variants().size(), 1);
            }
        }
        QCOMPARE(db.families().size(), 6);
        QCOMPARE(cabinets, 22);
        QCOMPARE(pass, 13);
        QCOMPARE(sub, 9);
        QCOMPARE(modes, 41);
        QCOMPARE(variants, 123);
        QCOMPARE(flatFamilies, 1);
    }

    void deliveredIconsExist()
    {
        RVSpeakerDB db;
        const QString allIcon = QStringLiteral("qrc:/images/series/seriesIconAll.svg");
        const QString unknownIcon = QStringLiteral("qrc:/images/speakers/cabIconUnknown.svg");
        QStringList icons{resourcePath(allIcon), resourcePath(unknownIcon)};
        for (const QString &familyId : db.getFamiliesList(QString())) {
            for (const QString &status : {QString(), QStringLiteral("hovered"), QStringLiteral("pressed")}) {
                const QString url = db.getFamilyImage(familyId, status);
                QVERIFY2(url != allIcon, qPrintable(familyId + status));
                icons << resourcePath(url);
            }
            QCOMPARE(db.getFamilyImage(familyId), db.getFamilyImage(familyId, QString()));
            for (const QString &cabinetId : db.getCabinetsList(familyId)) {
                for (const QString &presetId : db.getCabinetModeList(cabinetId)) {
                    const QString url = db.getCabinetImage(presetId);
                    QVERIFY2(url != unknownIcon, qPrintable(presetId));
                    icons << resourcePath(url);
                }
            }
        }
        QCOMPARE(db.getFamilyImage(QStringLiteral("?"), QStringLiteral("hovered")), allIcon);
        QCOMPARE(db.getCabinetImage(QStringLiteral("   ")), unknownIcon);

        const bool canRender = QImageReader::supportedImageFormats().contains("svg");
        for (const QString &path : icons) {
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QVERIFY2(isSvgDocument(path), qPrintable(path));
            if (!canRender)
                continue;
            // Drawn with light strokes on a transparent ground.
            const QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(path));
            int lit = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    lit += qAlpha(image.pixel(x, y)) > 128 && qGray(image.pixel(x, y)) > 140 ? 1 : 0;
            QVERIFY2(lit > 40, qPrintable(path));
        }
        if (!canRender)
            qWarning("No SVG image plugin: icons were checked as documents only");
    }

    void deliveredLookups()
    {
        RVSpeakerDB db;
        const QStringList all = db.getFamiliesList(QString());
        QCOMPARE(all.size(), 6);
        const QStringList pass = db.getFamiliesList(QStringLiteral("PASS"));
        const QStringList sub = db.getFamiliesList(QStringLiteral("SUB"));
        for (const QString &id : all) {
            QCOMPARE(pass.contains(id), db.family(id)->passCount() > 0);
            QCOMPARE(sub.contains(id), db.family(id)->subCount() > 0);
        }
        QVERIFY(pass.size() < all.size()); // one family holds only subwoofers
        QVERIFY(sub.size() < all.size());
        QVERIFY(db.getFamiliesList(QStringLiteral("pass")).isEmpty());

        int cabinets = 0;
        for (const QString &id : all)
            cabinets += db.getCabinetsList(id).size();
        QCOMPARE(db.getCabinetsList().size(), cabinets);

        const QString presetId = db.getCabinetModeList(db.getCabinetsList().first()).first();
        QVERIFY(!db.getCabinetName(presetId).isEmpty());
        QVERIFY(!db.getCabinetModeName(presetId).isEmpty());
        QVERIFY(!db.getCabinetVariantName(presetId, 0).isEmpty());
        QVERIFY(db.getSpeakerCrossOverMinFrequency(presetId, 0) > 0);
        QCOMPARE(db.getSpeakerCrossOverMaxFrequency(presetId, 0), 20000);
        QCOMPARE(db.getSpeakerCrossOverMinFrequency(presetId, 9), -1);
        QCOMPARE(db.getCabinetName(QStringLiteral("   ")), QString());
        QCOMPARE(db.getCabinetModeName(QStringLiteral("   ")), QString());
        QCOMPARE(db.getCabinetModeVariantList(QStringLiteral("   ")), QStringList());
    }

    void malformedEntriesAreDropped()
    {
        const QString goodVars = variantXml("0", "Full", "60", "20000");
        const QString doc = familiesDocument(
            "malformed.xml",
            // Family Q: one good cabinet, one of unknown type, one mode without variants,
            // one variant without maxFr.
            familyXml("Q", "Quill",
                      cabXml("QA", "Quill A", "PASS",
                             modeXml("QA1", "Normal",
                                     goodVars + variantXml("1", "No top", "80", QString())
                                         + variantXml("2", "Bad", "x", "20000"))
                                 + modeXml("QA2", "Empty", QString()))
                          + cabXml("QB", "Quill B", "TOP", modeXml("QB1", "Normal", goodVars))
                          + cabXml("QC", "Quill C", "SUB", modeXml("QC1", "Empty", QString())))
            // Family R: its only cabinet has an unknown type.
            + familyXml("R", "Reed", cabXml("RA", "Reed A", "sub", modeXml("RA1", "Normal", goodVars)))
            // Family S: subwoofers only; names keep their spaces.
            + familyXml("S", " Sub range", cabXml("SA", "  Sub A", "SUB",
                                                  modeXml("SA1", " Deep", variantXml("10", "Ten", "30", "90")
                                                          + variantXml("2", "Two", "30", "120"))))
            // No id, no name.
            + familyXml("", "Anonymous", cabXml("TA", "T", "PASS", modeXml("TA1", "N", goodVars)))
            + familyXml("U", "", cabXml("UA", "U", "PASS", modeXml("UA1", "N", goodVars))));
        RVSpeakerDB db(doc);
        QCOMPARE(db.getFamiliesList(QString()), QStringList({"Q", "S"}));
        QCOMPARE(db.getFamiliesList(QStringLiteral("PASS")), QStringList({"Q"}));
        QCOMPARE(db.getFamiliesList(QStringLiteral("SUB")), QStringList({"S"}));
        QCOMPARE(db.family("Q")->passCount(), 1);
        QCOMPARE(db.family("Q")->subCount(), 0);
        QCOMPARE(db.getCabinetsList(), QStringList({"QA", "SA"}));
        QCOMPARE(db.getCabinetModeList("QA"), QStringList({"QA1"}));
        QCOMPARE(db.getCabinetModeVariantList("QA1"), QStringList({"0"}));
        QCOMPARE(db.getSpeakerCrossOverMinFrequency("QA1", 1), -1);
        QCOMPARE(db.getSpeakerCrossOverMaxFrequency("QA1", 1), -1);
        QCOMPARE(db.getSpeakerCrossOverMinFrequency("QA1", 0), 60);
        QCOMPARE(db.getSpeakerCrossOverMaxFrequency("QA1", 0), 20000);
        QCOMPARE(db.getFamilyName("S"), QStringLiteral(" Sub range"));
        QCOMPARE(db.getCabinetName("SA1"), QStringLiteral("  Sub A"));
        QCOMPARE(db.getCabinetModeName("SA1"), QStringLiteral(" Deep"));
        // Variant ids sort as text.
        QCOMPARE(db.getCabinetModeVariantList("SA1"), QStringList({"10", "2"}));
        QCOMPARE(db.getCabinetVariantName("SA1", 10), QStringLiteral("Ten"));
        QCOMPARE(db.getCabinetVariantName("SA1", 1), QString());
    }

    void lookupsNeedTheWholePrefix()
    {
        const QString doc = familiesDocument(
            "prefix.xml",
            familyXml("Q", "Quill", cabXml("QA", "Quill A", "PASS", modeXml("QA1", "Normal", variantXml("0", "V", "50", "20000"))))
                + familyXml("Q", "Quill again", cabXml("QB", "Quill B", "SUB", modeXml("QB1", "Low", variantXml("0", "V", "30", "100")))));
        RVSpeakerDB db(doc);
        // The later family with the same id replaced the earlier one.
        QCOMPARE(db.getFamilyName("Q"), QStringLiteral("Quill again"));
        QCOMPARE(db.getCabinetsList("Q"), QStringList({"QB"}));
        QCOMPARE(db.getCabinetName("QB1"), QStringLiteral("Quill B"));
        QCOMPARE(db.getCabinetName("QB"), QStringLiteral("Quill B"));
        QCOMPARE(db.getCabinetName("Q"), QString());
        QCOMPARE(db.getCabinetName(QString()), QString());
        QCOMPARE(db.getCabinetModeName("QB"), QString());
        QCOMPARE(db.getCabinetModeName("QB2"), QString());
        QCOMPARE(db.getCabinetModeList("QB1"), QStringList());
        QCOMPARE(db.getCabinetModeList("QX"), QStringList());
        QCOMPARE(db.getCabinetsList("X"), QStringList());
        QCOMPARE(db.getFamilyName("QB"), QString());
        QCOMPARE(db.getSpeakerCrossOverMinFrequency("QB1", -1), -1);
        // Families without icons of their own fall back to the common ones.
        QCOMPARE(db.getFamilyImage("Q", "hovered"), QStringLiteral("qrc:/images/series/seriesIconAll.svg"));
        QCOMPARE(db.getFamilyImage("Q"), QStringLiteral("qrc:/images/series/seriesIconAll.svg"));
        QCOMPARE(db.getCabinetImage("QB1"), QStringLiteral("qrc:/images/speakers/cabIconUnknown.svg"));
        QCOMPARE(db.getCabinetImage("Q"), QStringLiteral("qrc:/images/speakers/cabIconUnknown.svg"));
    }

    void unreadableDocumentsLeaveOnlyWhatWasRead()
    {
        RVSpeakerDB missing(m_dir.filePath("absent.xml"));
        QVERIFY(missing.families().isEmpty());
        QVERIFY(missing.getFamiliesList(QString()).isEmpty());
        QVERIFY(missing.getCabinetsList().isEmpty());
        QCOMPARE(missing.getSpeakerCrossOverMaxFrequency("AA1", 0), -1);

        const QString broken = writeDocument(
            "broken.xml",
            QStringLiteral("<families>")
                + familyXml("Q", "Quill", cabXml("QA", "Quill A", "PASS", modeXml("QA1", "N", variantXml("0", "V", "50", "20000"))))
                + QStringLiteral("<family><id>R</id><name>Reed</cabs></family></families>"));
        // The document breaks inside family R: what was read before still counts.
        RVSpeakerDB db(broken);
        QCOMPARE(db.getFamiliesList(QString()), QStringList({"Q"}));
        QCOMPARE(db.getCabinetModeName("QA1"), QStringLiteral("N"));

        RVSpeakerDB empty(writeDocument("empty.xml", QString()));
        QVERIFY(empty.families().isEmpty());
    }
};

QTEST_MAIN(TstSpeakerDb)
#include "tst_speakerdb.moc"
