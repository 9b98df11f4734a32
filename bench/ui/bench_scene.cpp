// The scene, as a user meets it, against the virtual Wdx (software rendering, offscreen).
//
// start_to_first_frame_s: launching vela-demo until it has rendered its first frame (median
//   of 3 launches; the process start, library loading and scene compilation included).
// idle_cpu_fraction_scene: process CPU time over wall time while the main screen shows the
//   device with its live meters for 10 s (the virtual device included).
// eq_drag_frame_ms_p95: a band dragged across the EQ plot; for each mouse move, the time
//   until the frame that shows it has been rendered. 95th percentile of 120 moves.

#include "VirtualWdx.h"

#include "BenchSupport.h"

#include "app/VelaManager.h"
#include "app/WdxManager.h"
#include "logger/QLoggerManager.h"
#include "models/WdxModel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace V = VirtualWdx;

using namespace Bench;

namespace {


double startToFirstFrame(const QProcessEnvironment &env)
{
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    demo.start(QStringLiteral(VELA_DEMO_PATH), {QStringLiteral("--quit-after-first-frame")});
    double seconds = -1;
    QByteArray out;
    while (demo.state() != QProcess::NotRunning || demo.bytesAvailable()) {
        demo.waitForReadyRead(50);
        out += demo.readAllStandardOutput();
        if (seconds < 0 && out.contains("first frame")) {
            seconds = double(clock.nsecsElapsed()) / 1e9;
        }
        if (clock.elapsed() > 30000)
            break;
    }
    demo.waitForFinished(10000);
    if (demo.state() != QProcess::NotRunning)
        demo.kill();
    return seconds;
}

QQuickItem *findItem(QQuickItem *item, const QString &name)
{
    if (!item)
        return nullptr;
    // A name ending in '*' matches every name that begins with the rest.
    const bool match = name.endsWith(QLatin1Char('*')) ? item->objectName().startsWith(name.chopped(1))
                                                       : item->objectName() == name;
    if (match && item->isVisible())
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *hit = findItem(child, name))
            return hit;
    }
    return nullptr;
}

void sendMouse(QWindow *window, QEvent::Type type, const QPointF &pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, window->mapToGlobal(pos.toPoint()),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

// -1 when the EQ editor or a band handle cannot be found.
double eqDragFrameP95(VelaManager *root)
{
    QQuickView *view = root->view();
    QMetaObject::invokeMethod(view->rootObject(), "demoShow", Q_ARG(QVariant, QStringLiteral("eq")));
    waitMs(1500);
    QQuickItem *handle = findItem(view->contentItem(), QStringLiteral("bandHandle1"));
    QQuickItem *plot = findItem(view->contentItem(), QStringLiteral("eqPlot"));
    if (!handle || !plot)
        return -1;
    const QPointF start = handle->mapToScene(QPointF(handle->width() / 2, handle->height() / 2));
    const QRectF area = plot->mapRectToScene(QRectF(0, 0, plot->width(), plot->height()));

    int frames = 0;
    QObject::connect(view, &QQuickWindow::frameSwapped, view, [&] { ++frames; });
    sendMouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton);
    std::vector<double> times;
    const int moves = 120;
    for (int i = 1; i <= moves; ++i) {
        // Back and forth across the plot, up and down through the gain range.
        const double t = double(i) / moves;
        const double x = area.left() + area.width() * (0.15 + 0.7 * (0.5 + 0.5 * std::sin(t * 6.283 * 2)));
        const double y = area.top() + area.height() * (0.2 + 0.6 * t);
        const int before = frames;
        QElapsedTimer clock;
        clock.start();
        sendMouse(view, QEvent::MouseMove, QPointF(x, y), Qt::LeftButton);
        if (!spinUntil([&] { return frames > before; }, 2000))
            continue;
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    sendMouse(view, QEvent::MouseButtonRelease, QPointF(area.center()), Qt::NoButton);
    if (times.empty())
        return -1;
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, size_t(double(times.size()) * 0.95))];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    QGuiApplication app(argc, argv);
    QLogger::QLoggerManager::setBasePath(home.path());
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);
    WdxManager::setVersionCheckUrl(QString());

    std::vector<double> launches;
    for (int i = 0; i < 3; ++i)
        launches.push_back(startToFirstFrame(QProcessEnvironment::systemEnvironment()));
    std::sort(launches.begin(), launches.end());
    std::printf("start_to_first_frame_s %.3f\n", launches[1]);

    V::reset();
    // An equaliser with bands to drag: high pass 40 Hz, bell 250 Hz -3 dB, high shelf 8 kHz +2 dB.
    V::update([](V::DeviceState &s) {
        s.eqs[0].enabled = true;
        s.eqs[0].bands[0] = {0xC2, 12, 36, 23};
        s.eqs[0].bands[1] = {0xC1, 44, 30, 17};
        s.eqs[0].bands[2] = {0xC4, 104, 40, 23};
    });
    V::plug();
    auto *root = new VelaManager;
    WdxModel *model = root->deviceManager()->model();
    if (spinUntil([&] { return model->state() == QLatin1String("Polling"); }, 30000)) {
        waitMs(2000);
        const double cpu = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        waitMs(10000);
        std::printf("idle_cpu_fraction_scene %.4f\n",
                    (processCpuSeconds() - cpu) / (double(wall.nsecsElapsed()) / 1e9));
        std::printf("eq_drag_frame_ms_p95 %.2f\n", eqDragFrameP95(root));
    } else {
        std::printf("idle_cpu_fraction_scene -1\neq_drag_frame_ms_p95 -1\n");
    }
    delete root;
    V::reset();
    return 0;
}
