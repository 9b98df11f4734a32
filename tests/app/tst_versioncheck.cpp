#include "VelaTestMain.h"

#include "app/VersionOnlineController.h"
#include "logger/QLoggerManager.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace {

struct Canned
{
    int status;
    QByteArray body;
};
using CannedList = QVector<Canned>;

// Answers each connection with the next canned document, then closes it.
class UpdateServer : public QObject
{
public:
    UpdateServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
    }

    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/software-update/vela/last_version.xml").arg(m_server.serverPort());
    }

    CannedList answers;
    QList<QByteArray> requestLines;
    int connections = 0;

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &request = m_pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        requestLines << request.left(request.indexOf("\r\n"));
        const Canned canned = answers.isEmpty() ? Canned{404, QByteArray()} : answers.takeFirst();
        socket->write("HTTP/1.1 " + QByteArray::number(canned.status) + " X\r\nContent-Type: text/xml\r\n"
                      "Connection: close\r\nContent-Length: " + QByteArray::number(canned.body.size())
                      + "\r\n\r\n" + canned.body);
        socket->disconnectFromHost();
        m_pending.remove(socket);
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

QStringList &logLines()
{
    static QStringList lines;
    return lines;
}

void captureLine(QtMsgType, const QMessageLogContext &, const QString &line)
{
    logLines() << line;
}

// Lines of the checker at one level, from one function, ending with the message.
int logged(const QString &level, const QString &function, const QString &message)
{
    const QString tail = QStringLiteral("[VersionOnlineController][%1] %2").arg(function, message);
    int n = 0;
    for (const QString &line : qAsConst(logLines()))
        n += line.contains(QStringLiteral(" [%1][").arg(level)) && line.endsWith(tail) ? 1 : 0;
    return n;
}

QByteArray document(const QString &version, const QString &mac, const QString &win, const QString &lin = {})
{
    QString xml = QStringLiteral("<lastVersion><Version>%1</Version><DownloadUrl><mac>%2</mac><win>%3</win>")
                      .arg(version, mac, win);
    if (!lin.isNull())
        xml += QStringLiteral("<linux>%1</linux>").arg(lin);
    return (xml + QStringLiteral("</DownloadUrl></lastVersion>")).toUtf8();
}

} // namespace

Q_DECLARE_METATYPE(CannedList)

class TstVersionCheck : public QObject
{
    Q_OBJECT

    // Runs one check per canned answer and waits until every reply is answered and deleted.
    void serve(VersionOnlineController &checker, UpdateServer &server, const CannedList &answers)
    {
        auto *network = checker.findChild<QNetworkAccessManager *>();
        QVERIFY(network);
        QList<QPointer<QNetworkReply>> replies;
        auto grab = connect(network, &QNetworkAccessManager::finished, this,
                            [&replies](QNetworkReply *reply) { replies << reply; });
        checker.setUrl(server.url());
        for (const Canned &canned : answers) {
            server.answers << canned;
            const int before = replies.size();
            checker.check();
            QTRY_COMPARE_WITH_TIMEOUT(replies.size(), before + 1, 10000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(replies.cbegin(), replies.cend(),
                                             [](const QPointer<QNetworkReply> &r) { return r.isNull(); }),
                                 5000);
        disconnect(grab);
    }

private slots:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        qInstallMessageHandler(&captureLine);
    }

    void init() { logLines().clear(); }

    void documents_data()
    {
        QTest::addColumn<CannedList>("answers");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("win");
        QTest::addColumn<QString>("linux");
        QTest::addColumn<int>("emissions");
        QTest::addColumn<int>("errorLines");

        const QByteArray full = document("2.02", "https://a/m", "https://a/w");
        QTest::newRow("version and both addresses")
            << CannedList{{200, full}} << "2.02" << "https://a/m" << "https://a/w" << "" << 1 << 0;
        QTest::newRow("same document twice") << CannedList{{200, full}, {200, full}} << "2.02" << "https://a/m"
                                             << "https://a/w" << "" << 1 << 0;
        QTest::newRow("DownloadUrl before Version")
            << CannedList{{200, "<r><DownloadUrl><mac>m</mac><win>w</win></DownloadUrl><Version>2.02</Version></r>"}}
            << "" << "m" << "w" << "" << 0 << 0;
        QTest::newRow("only addresses read after DownloadUrl")
            << CannedList{{200, "<r><Version>2.02</Version><DownloadUrl/><Version>9</Version><win>w</win></r>"}}
            << "2.02" << "" << "w" << "" << 1 << 0;
        QTest::newRow("addresses outside DownloadUrl ignored")
            << CannedList{{200, "<any><Version>2.03</Version><mac>m</mac></any>"}} << "2.03" << "" << "" << "" << 1
            << 0;
        QTest::newRow("lower-case version") << CannedList{{200, "<r><version>2.02</version></r>"}} << "" << ""
                                            << "" << "" << 0 << 0;
        QTest::newRow("linux child") << CannedList{{200, document("2.02", "https://a/m", "https://a/w", "https://a/l")}}
                                     << "2.02" << "https://a/m" << "https://a/w" << "https://a/l" << 1 << 0;
        QTest::newRow("error status, body still read")
            << CannedList{{500, full}} << "2.02" << "https://a/m" << "https://a/w" << "" << 1 << 1;
        QTest::newRow("broken document after a version")
            << CannedList{{200, full}, {200, "<r><Version>2.03</Version><DownloadUrl>"}} << "" << "https://a/m"
            << "https://a/w" << "" << 2 << 0;
        QTest::newRow("not found after a version")
            << CannedList{{200, full}, {404, ""}} << "" << "https://a/m" << "https://a/w" << "" << 2 << 1;
    }

    void documents()
    {
        QFETCH(CannedList, answers);
        UpdateServer server;
        VersionOnlineController checker;
        QSignalSpy changed(&checker, &VersionOnlineController::onlineVersionChanged);
        serve(checker, server, answers);
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(server.connections, answers.size());
        QCOMPARE(server.requestLines.value(0), QByteArray("GET /software-update/vela/last_version.xml HTTP/1.1"));
        QTEST(checker.onlineVersion(), "version");
        QTEST(checker.macDownloadUrl(), "mac");
        QTEST(checker.winDownloadUrl(), "win");
        QTEST(checker.linuxDownloadUrl(), "linux");
        QTEST(changed.count(), "emissions");
        QTEST(logged("Error", "onHttpRequestCompleted", "Error on check version request"),
              "errorLines");
        QCOMPARE(logged("Trace", "check", "Checking new version"), answers.size());
    }

    void emptyUrlSendsNothing()
    {
        UpdateServer server;
        VersionOnlineController checker;
        serve(checker, server, {{200, document("2.02", "https://a/m", "https://a/w")}});
        QSignalSpy changed(&checker, &VersionOnlineController::onlineVersionChanged);
        logLines().clear();

        checker.setUrl(QString());
        checker.check();
        QTest::qWait(300);
        QCOMPARE(server.connections, 1);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(checker.onlineVersion(), QStringLiteral("2.02"));
        QCOMPARE(logged("Trace", "check", "Checking new version"), 0);
        QCOMPARE(logged("Trace", "onHttpRequestCompleted", "Request completed"), 0);
    }

    void startChecksOnceAfterTheDelay()
    {
        UpdateServer server;
        server.answers << Canned{200, document("2.02", "https://a/m", "https://a/w")};
        VersionOnlineController checker;
        QSignalSpy changed(&checker, &VersionOnlineController::onlineVersionChanged);
        checker.setUrl(server.url());

        QElapsedTimer clock;
        clock.start();
        checker.start();
        QTRY_COMPARE_WITH_TIMEOUT(server.connections, 1, 10000);
        // A lower bound only: a loaded machine may be late, never early.
        QVERIFY2(clock.elapsed() >= 190, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
        QTest::qWait(400);
        QCOMPARE(server.connections, 1);
    }

    void downloadUrlFor_data()
    {
        QTest::addColumn<QString>("productType");
        QTest::addColumn<QString>("kernelType");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("linuxUrl");
        QTest::addColumn<QString>("expected");

        const QString win = QStringLiteral("https://dl.example/vela.exe");
        const QString mac = QStringLiteral("https://dl.example/vela.dmg");
        const QString lin = QStringLiteral("https://dl.example/vela.tar.gz");
        QTest::newRow("windows") << "windows" << "winnt" << mac << lin << win;
        QTest::newRow("Windows is not windows") << "Windows" << "winnt" << mac << lin << mac;
        QTest::newRow("macos") << "macos" << "darwin" << mac << lin << mac;
        QTest::newRow("linux child on linux") << "debian" << "linux" << mac << lin << lin;
        QTest::newRow("mac without linux child") << "ubuntu" << "linux" << mac << QString() << mac;
        QTest::newRow("query and port kept") << "macos" << "darwin" << "https://dl.example:8443/v?os=mac" << lin
                                             << "https://dl.example:8443/v?os=mac";

        const QStringList refused{QStringLiteral("http://dl.example/vela.dmg"), QStringLiteral("file:///etc/passwd"),
                                  QStringLiteral("javascript:alert(1)"), QString(), QStringLiteral("vela.dmg"),
                                  QStringLiteral("//dl.example/vela.dmg"), QStringLiteral("https:///vela.dmg"),
                                  QStringLiteral("https://user:pw@dl.example/vela.dmg"),
                                  QStringLiteral("https://user@dl.example/vela.dmg")};
        for (const QString &address : refused) {
            QTest::newRow(qPrintable("mac refused: " + address)) << "macos" << "darwin" << address << lin << QString();
            QTest::newRow(qPrintable("linux refused: " + address)) << "fedora" << "linux" << mac << address
                                                                   << (address.isEmpty() ? mac : QString());
        }
    }

    void downloadUrlFor()
    {
        QFETCH(QString, productType);
        QFETCH(QString, kernelType);
        QFETCH(QString, mac);
        QFETCH(QString, linuxUrl);
        QFETCH(QString, expected);
        UpdateServer server;
        VersionOnlineController checker;
        const QByteArray doc = document("2.02", mac.toHtmlEscaped(), QStringLiteral("https://dl.example/vela.exe"),
                                        linuxUrl.toHtmlEscaped());
        serve(checker, server, {{200, doc}});
        logLines().clear();

        QCOMPARE(checker.downloadUrlFor(productType, kernelType), expected);
        QCOMPARE(logged("Warning", "downloadUrlFor", "Refusing download address "
                        + (linuxUrl.isEmpty() || kernelType != "linux" ? mac : linuxUrl)),
                 expected.isNull() ? 1 : 0);
    }
};

VELA_TEST_MAIN_CORE(TstVersionCheck)
#include "tst_versioncheck.moc"
