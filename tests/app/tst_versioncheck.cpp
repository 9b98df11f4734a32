#include "VelaTestMain.h"

#include "app/VersionOnlineController.h"
#include "logger/QLoggerManager.h"

#include <QtNetwork>

namespace {

QStringList logLines;

void captureLine(QtMsgType, const QMessageLogContext &, const QString &line) { logLines << line; }

// Messages of the checker's lines at one level from one function, in order.
QStringList logged(const QString &level, const QString &function)
{
    QStringList out;
    const QString tag = QStringLiteral("[VersionOnlineController][%1] ").arg(function);
    for (const QString &line : qAsConst(logLines))
        if (line.contains(QStringLiteral(" [%1][").arg(level)) && line.contains(tag))
            out << line.section(tag, 1);
    return out;
}

QStringList times(int n, const char *text) { return QVector<QString>(n, QString::fromLatin1(text)).toList(); }

QString document(const char *version)
{
    return QStringLiteral("<lastVersion><Version>%1</Version><DownloadUrl><mac>https://a/m</mac><win>https://a/w</win>"
                          "</DownloadUrl></lastVersion>").arg(version);
}

} // namespace

// Documents come from local files, through the same reply path; a missing file is a failed request.
class TstVersionCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    QString urlOf(const QByteArray &body)
    {
        const QString path = m_dir.filePath(QString::number(++m_files));
        QFile file(path);
        if (body != "absent" && file.open(QIODevice::WriteOnly))
            file.write(body);
        return QUrl::fromLocalFile(path).toString();
    }

    void serve(VersionOnlineController &checker, const QByteArray &body)
    {
        QSignalSpy done(checker.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished);
        checker.setUrl(urlOf(body));
        checker.check();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    }

private slots:
    void initTestCase()
    {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
        qInstallMessageHandler(&captureLine);
    }

    void init() { logLines.clear(); }

    void documents_data()
    {
        QTest::addColumn<QStringList>("bodies"); // a version alone stands for a whole document with both addresses
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<int>("errors");
        const QString both = "https://a/m https://a/w";
        QTest::newRow("version and both addresses") << QStringList{"2.02"} << "2.02" << both << QStringList{"2.02"} << 0;
        QTest::newRow("same document twice") << QStringList{"2.02", "2.02"} << "2.02" << both << QStringList{"2.02"} << 0;
        QTest::newRow("one field at a time") << QStringList{"2.02", "2.03", "3.03", "3.03"} << "3.03" << both
                                             << QStringList{"2.02", "2.03", "3.03"} << 0;
        QTest::newRow("DownloadUrl before Version") << QStringList{"<r><DownloadUrl><mac>m</mac><win>w</win></DownloadUrl><Version>2.02</Version></r>"}
                                                    << "" << "m w" << QStringList() << 0;
        QTest::newRow("only addresses after DownloadUrl") << QStringList{"<r><Version>2.02</Version><DownloadUrl/><Version>9</Version><win>w</win></r>"}
                                                          << "2.02" << " w" << QStringList{"2.02"} << 0;
        QTest::newRow("lower-case version") << QStringList{"<r><version>2.02</version></r>"} << "" << " " << QStringList() << 0;
        QTest::newRow("failed request after a version") << QStringList{"2.02", "absent"} << "" << both << QStringList{"2.02", ""} << 1;
        QTest::newRow("broken document after a version") << QStringList{"2.02", "<r><Version>2.03</Version><DownloadUrl>"} << "" << both
                                                         << QStringList{"2.02", ""} << 0;
    }

    void documents()
    {
        QFETCH(QStringList, bodies);
        QFETCH(QStringList, changes);
        QFETCH(int, errors);
        VersionOnlineController checker;
        QSignalSpy changed(&checker, &VersionOnlineController::onlineVersionChanged);
        for (const QString &body : bodies)
            serve(checker, (body.at(0).isDigit() ? document(qPrintable(body)) : body).toUtf8());
        QTEST(checker.onlineVersion(), "version");
        QTEST(checker.macDownloadUrl() + ' ' + checker.winDownloadUrl(), "addresses");
        QCOMPARE(changed.count(), changes.size());
        for (QString &version : changes)
            version.prepend("Online version changed to ");
        QCOMPARE(logged("Trace", "parse"), changes);
        QCOMPARE(logged("Trace", "check") + logged("Trace", "onHttpRequestCompleted") + logged("Error", "onHttpRequestCompleted"),
                 times(bodies.size(), "Checking new version") + times(bodies.size(), "Request completed") + times(errors, "Error on check version request"));
    }

    void checkAndStart()
    {
        VersionOnlineController checker;
        auto *network = checker.findChild<QNetworkAccessManager *>();
        checker.check(); // without an address nothing is sent: no reply exists, not even a failed one
        QCOMPARE(network->findChildren<QNetworkReply *>().size(), 0);
        checker.setUrl(urlOf(document("2.02").toUtf8()));
        QElapsedTimer clock;
        clock.start();
        checker.start(); // one check, 200 ms later
        QCOMPARE(network->findChildren<QNetworkReply *>().size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(checker.onlineVersion(), QStringLiteral("2.02"), 10000);
        QVERIFY2(clock.elapsed() >= 180, qPrintable(QString::number(clock.elapsed()))); // never early
        QTest::qWait(250);
        QCOMPARE(logged("Trace", "check").size(), 1);
    }

    void downloadUrlFor()
    {
        VersionOnlineController checker;
        serve(checker, "<v><DownloadUrl><mac>javascript:x</mac><win>https://d/w</win><linux>http://d/l</linux></DownloadUrl></v>");
        // "windows" exactly; a linux child on linux; only plain https addresses are handed out.
        QCOMPARE(QStringList({checker.downloadUrlFor("windows", "winnt"), checker.downloadUrlFor("Windows", "winnt"), checker.downloadUrlFor("debian", "linux")}),
                 QStringList({"https://d/w", "", ""}));
        QCOMPARE(logged("Warning", "downloadUrlFor"), QStringList({"Refusing download address javascript:x", "Refusing download address http://d/l"}));
    }
};

VELA_TEST_MAIN_CORE(TstVersionCheck)
#include "tst_versioncheck.moc"
