#pragma once

#include <QObject>
#include <QUrl>
#include <QPoint>
#include <QSize>

class QQuickView;
class VelaSettings;
class WdxManager;
namespace QLogger { class QLoggerManager; }

// The application's root object: identity, settings, logger set-up, the device side, the
// window, and the state saved at shutdown.
class VelaManager : public QObject
{
    Q_OBJECT
public:
    explicit VelaManager(QObject *parent = nullptr);
    ~VelaManager() override;

    QQuickView *view() const { return m_view; }
    VelaSettings *settings() const { return m_settings; }
    WdxManager *deviceManager() const { return m_deviceManager; }
    bool geometryRejected() const { return m_geometryRejected; }

    struct Scaling
    {
        qreal scale;
        QSize minimumSize;
        // What the scene multiplies its design sizes by. Its sizes are in the window's logical
        // pixels, which the toolkit already multiplies by the pixel ratio; the scale without that
        // ratio keeps the content in the minimum window at every ratio.
        qreal sceneScale;
    };
    static Scaling scalingFor(qreal physicalDotsPerInch, qreal devicePixelRatio);
    static bool geometryFits(const QPoint &position, const QSize &size, const QSize &available);
    static int clampLogLevel(int level);
    static int clampLogMode(int mode);

    static QString applicationVersion();
    static QString applicationName();

    // Where the scene is loaded from: the resources, unless a developer points the demo at the
    // documents on disk to see edits without a rebuild. Set before construction.
    static void setSceneUrl(const QUrl &url);
    static QUrl sceneUrl();

signals:
    void appQuit();

public slots:
    void onPhysicalDotsPerInchChanged();
    void onSettingsChanged();

private:
    void registerTypes();
    void applySettingsToLogger();
    void createView();
    void applyScaling();
    void restoreGeometry();
    void pushSettingsToModel();

    QLogger::QLoggerManager *m_logger = nullptr;
    QQuickView *m_view = nullptr;
    VelaSettings *m_settings = nullptr;
    WdxManager *m_deviceManager = nullptr;
    bool m_geometryRejected = false;
};
