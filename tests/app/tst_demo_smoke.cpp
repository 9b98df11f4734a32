// vela-demo, started as main starts the application: on the virtual Wdx it reaches polling, quits and saves.

#include "VelaTestMain.h"

class TstDemoSmoke : public QObject
{
    Q_OBJECT
private slots:
    void reachesPollingQuitsAndSaves_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("normal") << "normal";
        QTest::newRow("locked") << "locked";
    }

    void reachesPollingQuitsAndSaves()
    {
        QFETCH(QString, scenario);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen"), env.insert("QT_QUICK_BACKEND", "software");
        env.insert("XDG_CONFIG_HOME", home.path() + "/config"), env.insert("XDG_DATA_HOME", home.path() + "/data");
        QProcess demo;
        demo.setProcessEnvironment(env), demo.setProcessChannelMode(QProcess::MergedChannels);
        demo.start(QStringLiteral(VELA_DEMO), {scenario, QStringLiteral("--exit-when-polling")});
        const bool ended = demo.waitForFinished(90000);
        if (!ended)
            demo.kill();
        QVERIFY2(ended, demo.readAll().right(2000).constData());
        QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(demo.exitCode(), 0);

        QSettings store(home.path() + "/config/Orvo/ORVO Vela 2.01.conf", QSettings::IniFormat); // saved as the root object went
        QCOMPARE(QVariantList({store.value("FirstUse/IsFirstUse"), store.value("WindowSettings/WindowSize"), store.value("LogSettings/LogMode"),
                               store.value("LogSettings/LogLevel")}), QVariantList({"false", QSize(640, 480), "2", "1"}));

        // It got to polling on its own, and said so in its log.
        QByteArray all;
        for (const QFileInfo &file : QDir(home.path() + "/data/Orvo/ORVO Vela 2.01/logs").entryInfoList(QDir::Files)) {
            QFile f(file.filePath());
            all += f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        QVERIFY(all.contains("][VelaManager][VelaManager] Logger created") && all.contains("-> Polling"));
    }
};

VELA_TEST_MAIN_CORE(TstDemoSmoke)
#include "tst_demo_smoke.moc"
