#pragma once

#include <QObject>
#include <QString>
#include <QSysInfo>

class QNetworkAccessManager;
class QNetworkReply;

namespace QLogger {
class QLoggerManager;
}

// Asks the update server once per run for the latest published version and its download
// addresses. The document is read from the network, so its addresses are only handed out
// through downloadUrlFor, which refuses anything but a plain https address.
class VersionOnlineController : public QObject
{
    Q_OBJECT
public:
    // Our update server. Released clients ask for this path, so it never changes; the host
    // may, and this is the one place that names it.
    static constexpr char kDefaultUrl[] =
        "https://update.vela-audio.com/software-update/vela/last_version.xml";

    explicit VersionOnlineController(QObject *parent = nullptr);

    void setUrl(const QString &url);
    QString url() const { return m_url; }

    QString onlineVersion() const { return m_onlineVersion; }
    QString macDownloadUrl() const { return m_macDownloadUrl; }
    QString winDownloadUrl() const { return m_winDownloadUrl; }
    QString linuxDownloadUrl() const { return m_linuxDownloadUrl; }

    // The address to open in the browser on this system, or an empty string when the document's
    // address is not one to open (the caller then opens nothing).
    QString downloadUrlFor(const QString &productType,
                           const QString &kernelType = QSysInfo::kernelType()) const;

signals:
    void onlineVersionChanged();

public slots:
    void check();
    void onHttpRequestCompleted(QNetworkReply *reply);
    void start();

private:
    void parse(const QByteArray &document);

    QString m_url;
    QNetworkAccessManager *m_network = nullptr;
    QString m_onlineVersion;
    QString m_macDownloadUrl;
    QString m_winDownloadUrl;
    QString m_linuxDownloadUrl;
    QLogger::QLoggerManager *m_logger = nullptr;
};
