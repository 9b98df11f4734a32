#include "VelaTestMain.h"

#include "logger/QLoggerManager.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

using QLogger::QLoggerManager;
using QLogger::QLoggerWriter;

namespace {

QStringList consoleLines;
QtMessageHandler previousHandler = nullptr;

void captureConsole(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    consoleLines << message;
    Q_UNUSED(type)
    Q_UNUSED(context)
}

QDateTime utc(int hour, int minute, int second, int msec = 0)
{
    return QDateTime(QDate(2024, 3, 5), QTime(hour, minute, second, msec), Qt::UTC);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TstLogger : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> m_base;
    int m_moduleCounter = 0;

    // Each case logs under fresh module names, since writers live as long as the process.
    QString freshModule(const char *stem) { return QStringLiteral("%1_%2").arg(stem).arg(++m_moduleCounter); }
    QString logsDir() const { return m_base->path() + "/logs"; }
    QStringList logFiles() const { return QDir(logsDir()).entryList(QDir::Files, QDir::Name); }

private slots:
    void init()
    {
        m_base.reset(new QTemporaryDir);
        QLoggerManager::setOutputMode(QLogger::LogFile);
        QLoggerManager::setDefaultLevel(QLogger::Trace);
        QLoggerManager::setBasePath(m_base->path());
        QLoggerWriter::setClock([] { return utc(14, 20, 0); });
        consoleLines.clear();
    }

    void cleanup()
    {
        QLoggerWriter::setClock({});
        if (previousHandler) {
            qInstallMessageHandler(previousHandler);
            previousHandler = nullptr;
        }
    }

    void levelTextsAndLineFormat()
    {
        QCOMPARE(QLogger::levelToText(0), QStringLiteral("Trace"));
        QCOMPARE(QLogger::levelToText(3), QStringLiteral("Warning"));
        QCOMPARE(QLogger::levelToText(5), QStringLiteral("Fatal"));
        QVERIFY(QLogger::levelToText(6).isEmpty());
        QVERIFY(QLogger::levelToText(-1).isEmpty());

        const QString line = QLoggerWriter::formatLine(utc(14, 29, 59, 7), QLogger::Info, "Mod", "fn", "hello world");
        const QRegularExpression shape(
            R"(^2024-03-05 14:29:59\.007 \[Info\]\[[0-9a-f]{8}\]\[Mod\]\[fn\] hello world$)");
        QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));

        // A level outside the table still writes a line, with an empty level text.
        QVERIFY(QLoggerWriter::formatLine(utc(1, 2, 3), 9, "M", "f", "x").contains(" [][")); 
    }

    void levelFiltering()
    {
        const QString module = freshModule("Filtered");
        QLoggerManager::registerModule(module, QLogger::Debug);
        QLoggerManager::trace(module, "f", "dropped");
        QLoggerManager::debug(module, "f", "kept debug");
        QLoggerManager::error(module, "f", "kept error");
        const QStringList lines = readLines(logsDir() + "/2024-03-05_14.15.00(1).log");
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].contains("[Debug]") && lines[0].endsWith("kept debug"));
        QVERIFY(lines[1].contains("[Error]") && lines[1].endsWith("kept error"));
    }

    void registrationTakesTheGreaterLevel()
    {
        QLoggerManager::setDefaultLevel(QLogger::Debug);
        const QString low = freshModule("Low");
        QLoggerManager::registerModule(low, QLogger::Trace);
        QCOMPARE(QLoggerManager::moduleWriter(low)->level(), int(QLogger::Debug));

        const QString high = freshModule("High");
        QLoggerManager::registerModule(high, QLogger::Error);
        QCOMPARE(QLoggerManager::moduleWriter(high)->level(), int(QLogger::Error));

        // A second registration leaves the existing writer as it was.
        QLoggerManager::registerModule(high, QLogger::Trace);
        QCOMPARE(QLoggerManager::moduleWriter(high)->level(), int(QLogger::Error));

        // A module's first line registers it with the default level.
        const QString implicit = freshModule("Implicit");
        QLoggerManager::info(implicit, "f", "first");
        QCOMPARE(QLoggerManager::moduleWriter(implicit)->level(), int(QLogger::Debug));
    }

    void quarterHourFiles()
    {
        const QString module = freshModule("Quarter");
        QDateTime now = utc(14, 29, 59, 999);
        QLoggerWriter::setClock([&now] { return now; });
        QLoggerManager::info(module, "f", "before");
        now = utc(14, 30, 0);
        QLoggerManager::info(module, "f", "after");
        QCOMPARE(logFiles(), QStringList({"2024-03-05_14.15.00(1).log", "2024-03-05_14.30.00(1).log"}));
        QVERIFY(readLines(logsDir() + "/2024-03-05_14.15.00(1).log").value(0).endsWith("before"));
        QVERIFY(readLines(logsDir() + "/2024-03-05_14.30.00(1).log").value(0).endsWith("after"));

        // Another module in the same quarter hour appends to the same file.
        QLoggerManager::info(freshModule("Other"), "f", "other");
        QCOMPARE(readLines(logsDir() + "/2024-03-05_14.30.00(1).log").size(), 2);

        // The next hour at the same minute is a new period, not a continuation.
        now = utc(15, 30, 0);
        QLoggerManager::info(module, "f", "next hour");
        QVERIFY(logFiles().contains("2024-03-05_15.30.00(1).log"));
    }

    void rolloverAtOneMebibyte()
    {
        const QString module = freshModule("Roll");
        QDateTime now = utc(9, 0, 1);
        QLoggerWriter::setClock([&now] { return now; });
        QLoggerManager::info(module, "f", "first");
        const QString first = logsDir() + "/2024-03-05_09.00.00(1).log";

        // Just below the limit the file continues.
        QFile file(first);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(1048575, 'x'));
        file.close();
        QLoggerManager::info(module, "f", "still one");
        QVERIFY(!QFile::exists(logsDir() + "/2024-03-05_09.00.00(2).log"));

        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(1048576, 'x'));
        file.close();
        QLoggerManager::info(module, "f", "to two");
        QCOMPARE(readLines(logsDir() + "/2024-03-05_09.00.00(2).log").size(), 1);
        QLoggerManager::info(module, "f", "stays two");
        QCOMPARE(readLines(logsDir() + "/2024-03-05_09.00.00(2).log").size(), 2);

        now = utc(9, 15, 0);
        QLoggerManager::info(module, "f", "new period");
        QCOMPARE(readLines(logsDir() + "/2024-03-05_09.15.00(1).log").size(), 1);
    }

    void outputModes()
    {
        QLoggerManager::setOutputMode(QLogger::LogConsole);
        QLoggerManager::setOutputMode(7);
        QCOMPARE(QLoggerManager::outputMode(), int(QLogger::LogConsole));
        QLoggerManager::setOutputMode(-1);
        QCOMPARE(QLoggerManager::outputMode(), int(QLogger::LogConsole));

        previousHandler = qInstallMessageHandler(captureConsole);
        const QString consoleOnly = freshModule("Console");
        QLoggerManager::info(consoleOnly, "f", "to console");
        QCOMPARE(consoleLines.size(), 1);
        QVERIFY(consoleLines[0].endsWith("to console"));
        QVERIFY(!QDir(logsDir()).exists() || logFiles().isEmpty());

        QLoggerManager::setOutputMode(QLogger::LogOff);
        const QString silent = freshModule("Silent");
        QLoggerManager::fatal(silent, "f", "nothing");
        QCOMPARE(consoleLines.size(), 1);
        QVERIFY(!QDir(logsDir()).exists() || logFiles().isEmpty());
        QVERIFY(QLoggerManager::moduleWriter(silent) != nullptr);

        QLoggerManager::setOutputMode(QLogger::LogConsoleAndFile);
        QLoggerManager::warning(freshModule("Both"), "f", "both");
        QCOMPARE(consoleLines.size(), 2);
        QCOMPARE(logFiles().size(), 1);
    }

    void deletesOldFilesByCreationAge()
    {
        QLoggerManager::info(freshModule("Old"), "f", "line");
        QDir(logsDir()).mkpath(".");
        QFile hidden(logsDir() + "/.hidden.log");
        QVERIFY(hidden.open(QIODevice::WriteOnly));
        hidden.close();
        QCOMPARE(QDir(logsDir()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // Files created just now are younger than a day and stay.
        QLoggerWriter::setClock([] { return QDateTime::currentDateTimeUtc().addSecs(23 * 3600); });
        QLoggerManager::deleteOldLogFiles(1);
        QCOMPARE(QDir(logsDir()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // A day later they are old enough, hidden ones included.
        QLoggerWriter::setClock([] { return QDateTime::currentDateTimeUtc().addSecs(24 * 3600 + 60); });
        QLoggerManager::deleteOldLogFiles(1);
        QCOMPARE(QDir(logsDir()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }

    void concurrentWritersNeverInterleave()
    {
        QLoggerWriter::setClock({});
        constexpr int kThreads = 4;
        constexpr int kLines = 10000;
        QList<QThread *> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads << QThread::create([t] {
                // Each thread registers its own module on first use, concurrently with the others.
                const QString module = QStringLiteral("Concurrent%1").arg(t);
                for (int i = 0; i < kLines; ++i)
                    QLoggerManager::info(module, "worker", QStringLiteral("t%1 line %2 end").arg(t).arg(i));
            });
        }
        for (QThread *thread : threads)
            thread->start();
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(120000));
            delete thread;
        }

        const QRegularExpression whole(
            R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[Info\]\[[0-9a-f]{8}\]\[Concurrent(\d)\]\[worker\] t(\d) line (\d+) end$)");
        QVector<QVector<int>> seen(kThreads);
        for (const QString &name : logFiles()) {
            for (const QString &line : readLines(logsDir() + "/" + name)) {
                const auto match = whole.match(line);
                QVERIFY2(match.hasMatch(), qPrintable(line));
                QCOMPARE(match.captured(1), match.captured(2));
                seen[match.captured(1).toInt()] << match.captured(3).toInt();
            }
        }
        for (int t = 0; t < kThreads; ++t) {
            QCOMPARE(seen[t].size(), kLines);
            // Lines of one thread keep their order.
            QVERIFY(std::is_sorted(seen[t].begin(), seen[t].end()));
        }
    }
};

VELA_TEST_MAIN_CORE(TstLogger)
#include "tst_logger.moc"
