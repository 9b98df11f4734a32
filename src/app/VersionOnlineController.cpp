#include "VersionOnlineController.h"

#include "logger/QLoggerManager.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>

namespace {
const char kModule[] = "VersionOnlineController";
constexpr int kStartDelayMs = 200;

// Only an absolute https address with a host and no credentials goes to the browser: the
// document comes from the network and must not open local files or run scripts.
bool isSafeDownloadAddress(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && !url.isRelative() && url.scheme() == QLatin1String("https")
        && !url.host().isEmpty() && url.userInfo().isEmpty();
}
}

VersionOnlineController::VersionOnlineController(QObject *parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this))
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");
    connect(m_network, &QNetworkAccessManager::finished, this, &VersionOnlineController::onHttpRequestCompleted);
}

void VersionOnlineController::setUrl(const QString &url)
{
    m_url = url;
}

void VersionOnlineController::start()
{
    QTimer::singleShot(kStartDelayMs, this, &VersionOnlineController::check);
}

void VersionOnlineController::check()
{
    if (m_url.isEmpty())
        return;
    m_logger->trace(kModule, __func__, "Checking new version");
    m_network->get(QNetworkRequest(QUrl(m_url)));
}

void VersionOnlineController::onHttpRequestCompleted(QNetworkReply *reply)
{
    m_logger->trace(kModule, __func__, "Request completed");
    if (reply->error() != QNetworkReply::NoError)
        m_logger->error(kModule, __func__, "Error on check version request");
    // An error page may still carry a document; it is read like any other.
    parse(reply->readAll());
    reply->deleteLater();
}

void VersionOnlineController::parse(const QByteArray &document)
{
    QXmlStreamReader xml(document);
    if (xml.hasError())
        return;

    QString version;
    bool inDownloads = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QStringRef name = xml.name();
        if (!inDownloads) {
            if (name == QLatin1String("Version"))
                version = xml.readElementText();
            else if (name == QLatin1String("DownloadUrl"))
                inDownloads = true;
        } else if (name == QLatin1String("mac")) {
            m_macDownloadUrl = xml.readElementText();
        } else if (name == QLatin1String("win")) {
            m_winDownloadUrl = xml.readElementText();
        } else if (name == QLatin1String("linux")) {
            m_linuxDownloadUrl = xml.readElementText();
        }
    }
    // A document cut short or malformed names no version, whatever it held before the fault.
    if (xml.hasError())
        version.clear();

    if (version != m_onlineVersion) {
        m_logger->trace(kModule, __func__, QStringLiteral("Online version changed to %1").arg(version));
        m_onlineVersion = version;
        emit onlineVersionChanged();
    }
}

QString VersionOnlineController::downloadUrlFor(const QString &productType, const QString &kernelType) const
{
    QString address = m_macDownloadUrl;
    if (productType == QLatin1String("windows"))
        address = m_winDownloadUrl;
    else if (kernelType == QLatin1String("linux") && !m_linuxDownloadUrl.isEmpty())
        address = m_linuxDownloadUrl;

    if (!isSafeDownloadAddress(address)) {
        m_logger->warning(kModule, __func__, QStringLiteral("Refusing download address %1").arg(address));
        return QString();
    }
    return address;
}
