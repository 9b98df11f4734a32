// Writes the value lists that map device values to the units the user sees, and the two
// speaker lists derived from the preset catalogue.
//   vela_valuelists <output folder> <presets.xml>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Value
{
    const char *element;
    double number;
};

struct List
{
    QString file;
    QString paramName;
    QStringList labels;
    bool labelsInChild = false;
    int decimals = 2;
};

// Half-up to two decimals from the unrounded value; the epsilon keeps binary noise
// (0.125 stored as 0.12499...) from rounding an exact half downwards.
double roundHalfUp(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::floor(v * scale + 0.5 + 1e-9) / scale;
}

QString number(double v, int decimals)
{
    return QString::number(roundHalfUp(v, decimals), 'f', decimals);
}

bool writeList(const QDir &dir, const List &list, int count,
               const std::function<int(int row)> &deviceValueOf,
               const std::function<std::vector<Value>(int deviceValue)> &valuesOf)
{
    QSaveFile file(dir.filePath(list.file));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement("paramList");
    xml.writeTextElement("paramName", list.paramName);
    xml.writeStartElement("uofLabels");
    for (const QString &label : list.labels) {
        if (list.labelsInChild) {
            xml.writeStartElement("uofLabel");
            xml.writeTextElement("labelValue", label);
            xml.writeEndElement();
        } else {
            xml.writeTextElement("uofLabel", label);
        }
    }
    xml.writeEndElement();
    for (int row = 0; row < count; ++row) {
        const int device = deviceValueOf(row);
        xml.writeStartElement("paramValue");
        xml.writeTextElement("deviceValue", QString::number(device));
        for (const Value &v : valuesOf(device))
            xml.writeTextElement(v.element, number(v.number, list.decimals));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return file.commit();
}

int identity(int row) { return row; }

// The R40 preferred numbers are a rounded table, not a formula (10^(k/40) gives 1.19 where
// the series says 1.18), so the decade is tabled and repeated.
const double kR40[40] = {1.00, 1.06, 1.12, 1.18, 1.25, 1.32, 1.40, 1.50, 1.60, 1.70,
                         1.80, 1.90, 2.00, 2.12, 2.24, 2.36, 2.50, 2.65, 2.80, 3.00,
                         3.15, 3.35, 3.55, 3.75, 4.00, 4.25, 4.50, 4.75, 5.00, 5.30,
                         5.60, 6.00, 6.30, 6.70, 7.10, 7.50, 8.00, 8.50, 9.00, 9.50};

double r40Frequency(int deviceValue)
{
    // 20 Hz is step 12 of the decade starting at 10 Hz.
    const int step = deviceValue + 12;
    return kR40[step % 40] * std::pow(10.0, 1 + step / 40);
}

const double kQ[41] = {10.00, 9.00, 8.00, 7.00, 6.30, 5.60, 5.00, 4.50, 4.00, 3.50, 3.20,
                       2.80,  2.50, 2.20, 2.00, 1.80, 1.60, 1.40, 1.25, 1.10, 1.00, 0.90,
                       0.80,  0.70, 0.63, 0.56, 0.50, 0.45, 0.40, 0.35, 0.32, 0.28, 0.25,
                       0.22,  0.20, 0.18, 0.16, 0.14, 0.12, 0.11, 0.10};

const double kRatio[11][2] = {{1, 1},     {1.1, 0.9}, {1.3, 0.8}, {1.4, 0.7}, {1.7, 0.6}, {2, 0.5},
                              {2.5, 0.4}, {3.3, 0.3}, {5, 0.2},   {10, 0.1},  {100, 0}};

bool writeValueLists(const QDir &dir)
{
    bool ok = true;
    ok &= writeList(dir, {"gainList.xml", "gain", {"dB"}}, 73, identity, [](int d) {
        return std::vector<Value>{{"displayValue", -18.0 + 0.5 * d}};
    });
    ok &= writeList(dir, {"thresholdList.xml", "threshold", {"dB"}, false, 1}, 121, identity, [](int d) {
        return std::vector<Value>{{"displayValue", -60.0 + 0.5 * d}};
    });
    ok &= writeList(dir, {"delayList.xml", "delay", {"ms", "m", "ft"}, true}, 2281, identity, [](int d) {
        const double ms = d / 12.0;
        const double m = ms * 0.34;
        return std::vector<Value>{{"timeValue", ms}, {"meterValue", m}, {"feetValue", m * 3.2808399}};
    });
    ok &= writeList(dir, {"frequencyList.xml", "frequency", {"Hz"}}, 121, identity, [](int d) {
        return std::vector<Value>{{"displayValue", r40Frequency(d)}};
    });
    // The document runs from the widest Q (device value 40) to the narrowest.
    ok &= writeList(dir, {"qList.xml", "threshold", {""}}, 41, [](int row) { return 40 - row; },
                    [](int d) { return std::vector<Value>{{"displayValue", kQ[d]}}; });
    ok &= writeList(dir, {"compressionRatio.xml", "cr", {":1"}, true}, 11, identity, [](int d) {
        return std::vector<Value>{{"compressionRatio", kRatio[d][0]}, {"inverseCompressionRatio", kRatio[d][1]}};
    });
    return ok;
}

// --- speaker lists -------------------------------------------------------------------

struct Variant { QString id, name, minFr, maxFr; };
struct Speaker { QString id, name; std::vector<Variant> variants; };

QString readText(QXmlStreamReader &xml) { return xml.readElementText().trimmed(); }

// Flattens the catalogue to one speaker per mode, split by cabinet type.
bool readPresets(const QString &path, std::vector<Speaker> &mains, std::vector<Speaker> &subs)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&file);
    QString cabName, cabType, modeId, modeName;
    std::vector<Variant> variants;
    std::vector<Speaker> cabModes;
    Variant var;
    QString parent;  // element whose id/name the next text belongs to
    while (!xml.atEnd()) {
        xml.readNext();
        const auto name = xml.name();
        if (xml.isStartElement()) {
            if (name == QLatin1String("cab") || name == QLatin1String("mode") || name == QLatin1String("var")
                || name == QLatin1String("family")) {
                parent = name.toString();
                if (parent == "cab") { cabName.clear(); cabType.clear(); cabModes.clear(); }
                if (parent == "mode") { modeId.clear(); modeName.clear(); variants.clear(); }
                if (parent == "var") var = Variant();
            } else if (name == QLatin1String("id") || name == QLatin1String("name")) {
                const QString text = readText(xml);
                const bool isId = name == QLatin1String("id");
                if (parent == "cab" && !isId) cabName = text;
                else if (parent == "mode") (isId ? modeId : modeName) = text;
                else if (parent == "var") (isId ? var.id : var.name) = text;
            } else if (name == QLatin1String("type")) {
                cabType = readText(xml);
            } else if (name == QLatin1String("minFr")) {
                var.minFr = readText(xml);
            } else if (name == QLatin1String("maxFr")) {
                var.maxFr = readText(xml);
            }
        } else if (xml.isEndElement()) {
            if (name == QLatin1String("var")) {
                if (!var.id.isEmpty() && !var.minFr.isEmpty() && !var.maxFr.isEmpty())
                    variants.push_back(var);
                parent = "mode";
            } else if (name == QLatin1String("mode")) {
                if (!modeId.isEmpty() && !variants.empty())
                    cabModes.push_back({modeId, modeName, variants});
                parent = "cab";
            } else if (name == QLatin1String("cab")) {
                for (Speaker &s : cabModes) {
                    s.name = cabName + " " + s.name;
                    if (cabType == "PASS") mains.push_back(s);
                    else if (cabType == "SUB") subs.push_back(s);
                }
                parent = "family";
            }
        }
    }
    return !xml.hasError();
}

bool writeSpeakers(const QDir &dir, const QString &fileName, const std::vector<Speaker> &speakers)
{
    QSaveFile file(dir.filePath(fileName));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement("speakers");
    for (const Speaker &s : speakers) {
        xml.writeStartElement("speaker");
        xml.writeTextElement("id", s.id);
        xml.writeTextElement("name", s.name);
        xml.writeStartElement("variants");
        for (const Variant &v : s.variants) {
            xml.writeStartElement("variant");
            xml.writeTextElement("id", v.id);
            xml.writeTextElement("name", v.name);
            xml.writeTextElement("minFr", v.minFr);
            xml.writeTextElement("maxFr", v.maxFr);
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return file.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vela_valuelists <output folder> <presets.xml>\n");
        return 2;
    }
    QDir dir(args.at(1));
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }
    std::vector<Speaker> mains, subs;
    if (!readPresets(args.at(2), mains, subs) || mains.empty() || subs.empty()) {
        std::fprintf(stderr, "cannot read the speaker catalogue %s\n", qPrintable(args.at(2)));
        return 1;
    }
    if (!writeValueLists(dir) || !writeSpeakers(dir, "mains.xml", mains) || !writeSpeakers(dir, "subs.xml", subs)) {
        std::fprintf(stderr, "cannot write into %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
