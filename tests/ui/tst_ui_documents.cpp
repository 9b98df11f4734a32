// The value lists and speaker lists as documents: schema, order, counts, number formats and
// values, and the speaker lists against the preset catalogue.

#include "VelaTestMain.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>

namespace {

struct Entry
{
    int deviceValue = -1;
    QStringList names;   // value elements in document order
    QStringList texts;
};

struct ParamList
{
    QString paramName;
    QStringList labels;
    bool labelsInChild = false;
    QList<Entry> entries;
    QString error;
};

QString childText(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
}

ParamList readParamList(const QString &path)
{
    ParamList list;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        list.error = "cannot open " + path;
        return list;
    }
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("paramList")) {
        list.error = "root is not paramList";
        return list;
    }
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("paramName")) {
            list.paramName = childText(xml);
        } else if (xml.name() == QLatin1String("uofLabels")) {
            while (xml.readNextStartElement()) {
                if (xml.name() != QLatin1String("uofLabel")) {
                    list.error = "unexpected " + xml.name().toString() + " in uofLabels";
                    return list;
                }
                // Either the label's own text, or one labelValue child.
                QString text;
                while (xml.readNext() != QXmlStreamReader::EndElement) {
                    if (xml.isCharacters() && !xml.isWhitespace())
                        text += xml.text();
                    if (xml.isStartElement() && xml.name() == QLatin1String("labelValue")) {
                        list.labelsInChild = true;
                        text = childText(xml);
                    }
                }
                list.labels << text;
            }
        } else if (xml.name() == QLatin1String("paramValue")) {
            Entry e;
            while (xml.readNextStartElement()) {
                const QString name = xml.name().toString();
                const QString text = childText(xml);
                if (name == "deviceValue")
                    e.deviceValue = text.toInt();
                else
                    e.names << name, e.texts << text;
            }
            list.entries << e;
        } else {
            list.error = "unexpected " + xml.name().toString();
            return list;
        }
    }
    if (xml.hasError())
        list.error = xml.errorString();
    return list;
}

struct Variant
{
    QString id, minFr, maxFr;
    bool operator==(const Variant &o) const { return id == o.id && minFr == o.minFr && maxFr == o.maxFr; }
};
using Speakers = QMap<QString, QList<Variant>>;

// Reads the variants under every element named `owner` (mode or speaker) keyed by its id;
// `type` collects the cabinet type of each mode where there is one.
Speakers readVariants(const QString &path, const QString &owner, const QString &variant,
                      QMap<QString, QString> *types = nullptr)
{
    Speakers out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader xml(&file);
    QString cabType, ownerId, element;
    Variant v;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            element = xml.name().toString();
            if (element == owner)
                ownerId.clear();
            else if (element == variant)
                v = Variant();
            else if (element == "type")
                cabType = xml.readElementText();
            else if (element == "id" && ownerId.isEmpty())
                ownerId = xml.readElementText();
            else if (element == "id")
                v.id = xml.readElementText();
            else if (element == "minFr")
                v.minFr = xml.readElementText();
            else if (element == "maxFr")
                v.maxFr = xml.readElementText();
        } else if (xml.isEndElement()) {
            if (xml.name() == variant)
                out[ownerId] << v;
            else if (xml.name() == owner && types)
                (*types)[ownerId] = cabType;
        }
    }
    return xml.hasError() ? Speakers() : out;
}

} // namespace

class TestUiDocuments : public QObject
{
    Q_OBJECT
private slots:
    void schema_data();
    void schema();
    void values_data();
    void values();
    void delayRounding();
    void speakerLists();
};

void TestUiDocuments::schema_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("paramName");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<bool>("labelsInChild");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("firstDevice");
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<int>("decimals");

    const QStringList display{"displayValue"};
    QTest::newRow("gain") << "gainList.xml" << "gain" << QStringList{"dB"} << false << 73 << 0 << 1 << display << 2;
    QTest::newRow("threshold") << "thresholdList.xml" << "threshold" << QStringList{"dB"} << false << 121 << 0 << 1
                               << display << 1;
    QTest::newRow("delay") << "delayList.xml" << "delay" << QStringList{"ms", "m", "ft"} << true << 2281 << 0 << 1
                           << QStringList{"timeValue", "meterValue", "feetValue"} << 2;
    QTest::newRow("frequency") << "frequencyList.xml" << "frequency" << QStringList{"Hz"} << false << 121 << 0 << 1
                               << display << 2;
    QTest::newRow("q") << "qList.xml" << "threshold" << QStringList{""} << false << 41 << 40 << -1 << display << 2;
    QTest::newRow("ratio") << "compressionRatio.xml" << "cr" << QStringList{":1"} << true << 11 << 0 << 1
                           << QStringList{"compressionRatio", "inverseCompressionRatio"} << 2;
}

void TestUiDocuments::schema()
{
    QFETCH(QString, file);
    QFETCH(int, firstDevice);
    QFETCH(int, step);
    QFETCH(QStringList, elements);
    QFETCH(int, decimals);

    const ParamList list = readParamList(":/xml/" + file);
    QVERIFY2(list.error.isEmpty(), qPrintable(list.error));
    QTEST(list.paramName, "paramName");
    QTEST(list.labels, "labels");
    QTEST(list.labelsInChild, "labelsInChild");
    QTEST(int(list.entries.size()), "count");
    const QRegularExpression format(QString("^-?\\d+\\.\\d{%1}$").arg(decimals));
    for (int row = 0; row < list.entries.size(); ++row) {
        const Entry &e = list.entries.at(row);
        QCOMPARE(e.deviceValue, firstDevice + step * row);
        QCOMPARE(e.names, elements);
        for (const QString &text : e.texts)
            QVERIFY2(format.match(text).hasMatch(), qPrintable(QString("row %1: %2").arg(row).arg(text)));
    }
}

void TestUiDocuments::values_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("deviceValue");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("gain 0") << "gainList.xml" << 0 << QStringList{"-18.00"};
    QTest::newRow("gain 36") << "gainList.xml" << 36 << QStringList{"0.00"};
    QTest::newRow("gain 37") << "gainList.xml" << 37 << QStringList{"0.50"};
    QTest::newRow("gain 72") << "gainList.xml" << 72 << QStringList{"18.00"};
    QTest::newRow("threshold 0") << "thresholdList.xml" << 0 << QStringList{"-60.0"};
    QTest::newRow("threshold 119") << "thresholdList.xml" << 119 << QStringList{"-0.5"};
    QTest::newRow("threshold 120") << "thresholdList.xml" << 120 << QStringList{"0.0"};
    QTest::newRow("delay 1") << "delayList.xml" << 1 << QStringList{"0.08", "0.03", "0.09"};
    QTest::newRow("delay 3 half up") << "delayList.xml" << 3 << QStringList{"0.25", "0.09", "0.28"};
    QTest::newRow("delay 2280") << "delayList.xml" << 2280 << QStringList{"190.00", "64.60", "211.94"};
    const QStringList r40{"20.00", "21.20", "22.40", "23.60", "25.00", "26.50", "28.00", "30.00", "31.50"};
    for (int i = 0; i < r40.size(); ++i)
        QTest::newRow(qPrintable(QString("frequency %1").arg(i))) << "frequencyList.xml" << i << QStringList{r40.at(i)};
    QTest::newRow("frequency 68") << "frequencyList.xml" << 68 << QStringList{"1000.00"};
    QTest::newRow("frequency 118") << "frequencyList.xml" << 118 << QStringList{"18000.00"};
    QTest::newRow("frequency 119") << "frequencyList.xml" << 119 << QStringList{"19000.00"};
    QTest::newRow("frequency 120") << "frequencyList.xml" << 120 << QStringList{"20000.00"};
    const QStringList q{"10.00", "9.00", "8.00", "7.00", "6.30", "5.60", "5.00", "4.50", "4.00", "3.50", "3.20",
                        "2.80",  "2.50", "2.20", "2.00", "1.80", "1.60", "1.40", "1.25", "1.10", "1.00", "0.90",
                        "0.80",  "0.70", "0.63", "0.56", "0.50", "0.45", "0.40", "0.35", "0.32", "0.28", "0.25",
                        "0.22",  "0.20", "0.18", "0.16", "0.14", "0.12", "0.11", "0.10"};
    for (int d = 0; d < q.size(); ++d)
        QTest::newRow(qPrintable(QString("q %1").arg(d))) << "qList.xml" << d << QStringList{q.at(d)};
    const char *ratio[11][2] = {{"1.00", "1.00"}, {"1.10", "0.90"}, {"1.30", "0.80"}, {"1.40", "0.70"},
                                {"1.70", "0.60"}, {"2.00", "0.50"}, {"2.50", "0.40"}, {"3.30", "0.30"},
                                {"5.00", "0.20"}, {"10.00", "0.10"}, {"100.00", "0.00"}};
    for (int d = 0; d < 11; ++d)
        QTest::newRow(qPrintable(QString("ratio %1").arg(d))) << "compressionRatio.xml" << d
                                                              << QStringList{ratio[d][0], ratio[d][1]};
}

void TestUiDocuments::values()
{
    QFETCH(QString, file);
    QFETCH(int, deviceValue);
    const ParamList list = readParamList(":/xml/" + file);
    for (const Entry &e : list.entries) {
        if (e.deviceValue == deviceValue) {
            QTEST(e.texts, "texts");
            return;
        }
    }
    QFAIL("no such device value");
}

// Each delay value is its unrounded value to the nearest hundredth, the feet from the
// unrounded metres; an exact half goes up.
void TestUiDocuments::delayRounding()
{
    const ParamList list = readParamList(":/xml/delayList.xml");
    QCOMPARE(list.entries.size(), 2281);
    for (const Entry &e : list.entries) {
        const double ms = e.deviceValue / 12.0;
        const double exact[3] = {ms, ms * 0.34, ms * 0.34 * 3.2808399};
        for (int k = 0; k < 3; ++k) {
            const double stored = e.texts.at(k).toDouble();
            const double diff = (exact[k] - stored) * 100;  // in hundredths
            QVERIFY2(diff < 0.5 + 1e-6 && diff >= -0.5 - 1e-6,
                     qPrintable(QString("device %1: %2 for %3").arg(e.deviceValue).arg(stored).arg(exact[k])));
        }
    }
}

// mains.xml and subs.xml hold every mode of the full-range and subwoofer cabinets with its
// variants and frequency limits.
void TestUiDocuments::speakerLists()
{
    QMap<QString, QString> types;
    const Speakers presets = readVariants(":/xml/presets.xml", "mode", "var", &types);
    const Speakers mains = readVariants(":/xml/mains.xml", "speaker", "variant");
    const Speakers subs = readVariants(":/xml/subs.xml", "speaker", "variant");
    QVERIFY(!presets.isEmpty());
    QCOMPARE(mains.size() + subs.size(), presets.size());
    int variants = 0;
    for (auto it = presets.cbegin(); it != presets.cend(); ++it) {
        const Speakers &list = types.value(it.key()) == "SUB" ? subs : mains;
        QVERIFY2(list.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(list.value(it.key()), it.value());
        variants += it.value().size();
    }
    QCOMPARE(variants, 123);
}

VELA_TEST_MAIN_CORE(TestUiDocuments)

#include "tst_ui_documents.moc"
