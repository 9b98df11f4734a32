#include "VelaTestMain.h"

#include "logger/QLoggerManager.h"
#include "speakers/RVSpeakerDB.h"

namespace {

QString var(const char *id, const char *name, const char *minFr, const char *maxFr)
{
    return QStringLiteral("<var><id>%1</id><name>%2</name>%3%4</var>")
        .arg(id, name, minFr ? QStringLiteral("<minFr>%1</minFr>").arg(minFr) : QString(),
             maxFr ? QStringLiteral("<maxFr>%1</maxFr>").arg(maxFr) : QString());
}

QString mode(const char *id, const char *name, const QString &vars)
{
    return QStringLiteral("<mode><id>%1</id><name>%2</name><vars>%3</vars></mode>").arg(id, name, vars);
}

QString cab(const char *id, const char *name, const char *type, const QString &modes)
{
    return QStringLiteral("<cab><id>%1</id><name>%2</name><type>%3</type><modes>%4</modes></cab>").arg(id, name, type, modes);
}

QString family(const char *id, const char *name, const QString &cabs)
{
    return QStringLiteral("<family><id>%1</id><name>%2</name><cabs>%3</cabs></family>").arg(id, name, cabs);
}

const QString kVar = var("0", "Full", "60", "20000");

} // namespace

// The catalogue's rules on small documents of our own: ids out of order and sharing prefixes, names with spaces.
class TstSpeakerDb : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_documents = 0;

    QString document(const QString &body)
    {
        const QString path = m_dir.filePath(QStringLiteral("doc%1.xml").arg(++m_documents));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<families>" + body.toUtf8() + "</families>");
        return path;
    }

    QString catalogue()
    {
        const QString qa = cab("QA", "Quill A", "PASS", mode("QA2", "Wide", kVar) + mode("QA1", "Normal", var("0", "Flat", "0", "20000") + var("1", "High", "45", "18000")));
        return document(family("S", " Sub range", cab("SA", "  Sub A", "SUB", mode("SA1", " Deep", var("2", "Two", "30", "120") + var("10", "Ten", "25", "90"))))
                        + family("Q", "Quill", cab("QB", "Quill B", "SUB", mode("QB1", "Low", var("0", "B0", "35", "110"))) + qa));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    }

    void listsInIdOrder()
    {
        RVSpeakerDB db(catalogue());
        const QList<QStringList> lists = {db.getFamiliesList(""), db.getFamiliesList("PASS"), db.getFamiliesList("SUB"), db.getFamiliesList("pass"),
                                          db.getCabinetsList(), db.getCabinetsList("Q"), db.getCabinetModeList("QA"),
                                          db.getCabinetModeVariantList("QA1"), db.getCabinetModeVariantList("SA1")};
        QStringList joined;
        for (const QStringList &list : lists)
            joined << list.join(',');
        QCOMPARE(joined.join(" | "), QStringLiteral("Q,S | Q | Q,S |  | QA,QB,SA | QA,QB | QA1,QA2 | 0,1 | 10,2")); // variant ids in text order
    }

    void lookups()
    {
        RVSpeakerDB db(catalogue());
        // preset;variant -> family|cabinet|mode|variant names;min;max
        const QStringList cases = {
            "QA1;1 -> Quill|Quill A|Normal|High;45;18000", "QA1;0 -> Quill|Quill A|Normal|Flat;0;20000", "QB1;0 -> Quill|Quill B|Low|B0;35;110",
            "SA1;10 ->  Sub range|  Sub A| Deep|Ten;25;90", "QA1;2 -> Quill|Quill A|Normal|;-1;-1", "QA1;-1 -> Quill|Quill A|Normal|;-1;-1",
            "QA3;0 -> Quill|Quill A||;-1;-1", "QB2;0 -> Quill|Quill B||;-1;-1", "QA;0 -> Quill|Quill A||;-1;-1", "Q;0 -> Quill|||;-1;-1",
            "   ;0 -> |||;-1;-1", "XA1;0 -> |||;-1;-1"};
        for (const QString &c : cases) {
            const QString preset = c.section(';', 0, 0);
            const int variant = c.section(';', 1, 1).section(' ', 0, 0).toInt();
            const QString names = QStringList({db.getFamilyName(preset.left(1)), db.getCabinetName(preset), db.getCabinetModeName(preset),
                                               db.getCabinetVariantName(preset, variant)}).join('|');
            QCOMPARE(QStringLiteral("%1;%2 -> %3;%4;%5").arg(preset).arg(variant).arg(names).arg(db.getSpeakerCrossOverMinFrequency(preset, variant))
                         .arg(db.getSpeakerCrossOverMaxFrequency(preset, variant)), c);
        }
    }

    void entriesKeptOrDropped_data()
    {
        QTest::addColumn<QString>("entry");  // a family added after a good family "Q"
        QTest::addColumn<QString>("result"); // cabinets | families listed for "", "PASS", "SUB"
        auto pb = [](const char *type, const char *name, const QString &vars) { return family("P", "Pine", cab("PB", name, type, mode("PB1", "N", vars))); };
        const QString dropped = "QA | Q | Q | ";
        QTest::newRow("good") << pb("SUB", "B", kVar) << "PB QA | P,Q | Q | P";
        QTest::newRow("type TOP") << pb("TOP", "B", kVar) << dropped;
        QTest::newRow("type in lower case") << pb("sub", "B", kVar) << dropped;
        QTest::newRow("cabinet without name") << pb("SUB", "", kVar) << dropped;
        QTest::newRow("cabinet without id") << family("P", "Pine", cab("", "B", "SUB", mode("PB1", "N", kVar))) << dropped;
        QTest::newRow("mode without variants") << pb("SUB", "B", "") << dropped;
        QTest::newRow("mode without name") << family("P", "Pine", cab("PB", "B", "SUB", mode("PB1", "", kVar))) << dropped;
        QTest::newRow("variant without maxFr") << pb("SUB", "B", var("0", "V", "30", nullptr)) << dropped;
        QTest::newRow("variant without minFr") << pb("SUB", "B", var("0", "V", nullptr, "90")) << dropped;
        QTest::newRow("minFr -1") << pb("SUB", "B", var("0", "V", "-1", "90")) << dropped;
        QTest::newRow("minFr 0") << pb("SUB", "B", var("0", "V", "0", "90")) << "PB QA | P,Q | Q | P";
        QTest::newRow("variant without name") << pb("SUB", "B", var("0", "", "30", "90")) << dropped;
        QTest::newRow("variant without id") << pb("SUB", "B", var("", "V", "30", "90")) << dropped;
        QTest::newRow("later cabinet replaces") << pb("SUB", "B", kVar).replace("</cabs>", cab("PB", "B2", "PASS", mode("PB1", "N", kVar)) + "</cabs>")
                                                << "PB QA | P,Q | P,Q | ";
        QTest::newRow("family without id") << family("", "Pine", cab("PB", "B", "SUB", kVar)) << dropped;
        QTest::newRow("family without name") << family("P", "", cab("PB", "B", "SUB", kVar)) << dropped;
        QTest::newRow("later family replaces") << family("Q", "Again", cab("QB", "B", "SUB", mode("QB1", "N", kVar))) << "QB | Q |  | Q";
    }

    void entriesKeptOrDropped()
    {
        QFETCH(QString, entry);
        RVSpeakerDB db(document(family("Q", "Quill", cab("QA", "Quill A", "PASS", mode("QA1", "N", kVar))) + entry));
        QTEST(QStringList({db.getCabinetsList().join(' '), db.getFamiliesList("").join(','), db.getFamiliesList("PASS").join(','),
                           db.getFamiliesList("SUB").join(',')}).join(" | "),
              "result");
    }

    void wholeDocuments()
    {
        RVSpeakerDB delivered, missing(m_dir.filePath("absent.xml"));
        QCOMPARE(QString("%1 %2").arg(delivered.getFamiliesList("").size()).arg(delivered.getCabinetsList().size()), QStringLiteral("6 22"));
        QCOMPARE(missing.getFamiliesList(QString()) + missing.getCabinetsList(), QStringList());
        // Broken inside family R: what was read before still counts.
        RVSpeakerDB broken(document(family("Q", "Quill", cab("QA", "A", "PASS", mode("QA1", "N", kVar))) + "<family><id>R</id><name>Reed</cabs></family>"));
        QCOMPARE(broken.getFamiliesList(QString()).join(' ') + ' ' + broken.getCabinetModeName("QA1"), QStringLiteral("Q N"));
    }

    void iconPaths()
    {
        // The rule on icons that the resources hold, and the fall-backs for any other id.
        RVSpeakerDB db(catalogue());
        const QString f = QDir(":/images/series").entryList({"seriesIcon?_hovered.svg"}).value(0).mid(10, 1);
        const QString c = QDir(":/images/speakers").entryList({"cabIcon??.svg"}).value(0).mid(7, 2);
        QCOMPARE(QStringList({db.getFamilyImage(f, "hovered"), db.getFamilyImage(f), db.getFamilyImage(f, "held"), db.getFamilyImage("Q", "hovered"),
                              db.getCabinetImage(c + "9"), db.getCabinetImage(c.left(1)), db.getCabinetImage("   ")}).join(' ').remove("qrc:/images/"),
                 QStringLiteral("series/seriesIcon%1_hovered.svg series/seriesIcon%1.svg series/seriesIconAll.svg series/seriesIconAll.svg "
                                "speakers/cabIcon%2.svg speakers/cabIconUnknown.svg speakers/cabIconUnknown.svg").arg(f, c));
        QVERIFY(!f.isEmpty() && !c.isEmpty());
    }
};

VELA_TEST_MAIN_CORE(TstSpeakerDb)
#include "tst_speakerdb.moc"
