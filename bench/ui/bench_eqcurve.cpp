// Time of one EQ curve as the editor redraws it while a band is dragged: 8 bands of mixed
// types, 200 points, the value lists looked up through XmlListModel, computed by the
// resource scripts in the QML engine. Prints the median.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

static const char kDocument[] = R"qml(
import QtQuick 2.15
import QtQuick.XmlListModel 2.0
import "qrc:/javascript/RVEQBiquadFilter.js" as Eq

Item {
    component ValueList: XmlListModel {
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    ValueList { id: frequencyList; source: "qrc:/xml/frequencyList.xml" }
    ValueList { id: gainList; source: "qrc:/xml/gainList.xml" }
    ValueList { id: qList; source: "qrc:/xml/qList.xml" }

    readonly property bool ready: frequencyList.status === XmlListModel.Ready
                                  && gainList.status === XmlListModel.Ready && qList.status === XmlListModel.Ready
    readonly property var lists: ({ frequency: frequencyList, gain: gainList, q: qList })
    readonly property var bands: [
        { isUsed: true, isEnabled: true, bandType: 2, frequency: 12, gain: 36, qualityFactor: 23 },
        { isUsed: true, isEnabled: true, bandType: 5, frequency: 30, gain: 44, qualityFactor: 26 },
        { isUsed: true, isEnabled: true, bandType: 1, frequency: 52, gain: 28, qualityFactor: 12 },
        { isUsed: true, isEnabled: true, bandType: 6, frequency: 66, gain: 36, qualityFactor: 4 },
        { isUsed: true, isEnabled: true, bandType: 1, frequency: 80, gain: 46, qualityFactor: 20 },
        { isUsed: true, isEnabled: true, bandType: 7, frequency: 90, gain: 36, qualityFactor: 30 },
        { isUsed: true, isEnabled: true, bandType: 4, frequency: 104, gain: 30, qualityFactor: 24 },
        { isUsed: true, isEnabled: true, bandType: 3, frequency: 116, gain: 36, qualityFactor: 23 }
    ]
    property var curve: ({})
    property int drag: 0

    // The dragged band moves one frequency row per redraw, as under the finger.
    function redraw() {
        drag = (drag + 1) % 40;
        bands[4].frequency = 60 + drag;
        Eq.rvEQCurve(bands, lists, 800, 400, curve);
        return curve.ys[100];
    }
}
)qml";

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(kDocument, QUrl("qrc:/bench_eqcurve.qml"));
    std::unique_ptr<QObject> root(component.create());
    if (!root) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    QElapsedTimer wait;
    wait.start();
    while (!root->property("ready").toBool() && wait.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!root->property("ready").toBool()) {
        std::fprintf(stderr, "value lists not loaded\n");
        return 1;
    }

    auto redraw = [&] {
        QVariant y;
        QMetaObject::invokeMethod(root.get(), "redraw", Q_RETURN_ARG(QVariant, y));
        return y.toDouble();
    };
    for (int i = 0; i < 50; ++i)
        redraw();
    const int runs = 1000;
    std::vector<double> ms;
    ms.reserve(runs);
    double sink = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        sink += redraw();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::fprintf(stderr, "%d curves, fastest %.3f ms, slowest %.3f ms (%g)\n", runs, ms.front(), ms.back(), sink);
    std::printf("eq_curve_ms %.3f\n", median);
    std::printf("eq_curve_vs_frame %.3f\n", median / 16.7);
    return 0;
}
