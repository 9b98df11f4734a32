// vela-demo as a user starts it: the whole application on the virtual Wdx reaches polling on
// its own, quits, and the process ends cleanly.

#include "VelaTestMain.h"

#include <QProcess>
#include <QTemporaryDir>

class TstDemoSmoke : public QObject
{
    Q_OBJECT
private slots:
    void reachesPollingAndQuits_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("normal") << "normal";
        QTest::newRow("locked") << "locked";
    }
    void reachesPollingAndQuits()
    {
        QFETCH(QString, scenario);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        QProcess demo;
        demo.setProcessEnvironment(env);
        demo.setProcessChannelMode(QProcess::MergedChannels);
        demo.start(QStringLiteral(VELA_DEMO), {scenario, QStringLiteral("--exit-when-polling")});
        QVERIFY(demo.waitForStarted(10000));
        const bool ended = demo.waitForFinished(90000);
        if (!ended)
            demo.kill();
        QVERIFY2(ended, demo.readAll().right(2000).constData());
        QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(demo.exitCode(), 0);
        // It got there on its own: the state line is in its log.
        bool polled = false;
        QDirIterator logs(home.path() + QStringLiteral("/data"), {QStringLiteral("*.log")}, QDir::Files,
                          QDirIterator::Subdirectories);
        while (logs.hasNext()) {
            QFile file(logs.next());
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains("-> Polling"))
                polled = true;
        }
        QVERIFY(polled);
    }
};

VELA_TEST_MAIN_CORE(TstDemoSmoke)
#include "tst_demo_smoke.moc"
