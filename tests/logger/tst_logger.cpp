#include "VelaTestMain.h"

#include "logger/QLoggerManager.h"

using QLogger::QLoggerManager;
using QLogger::QLoggerWriter;

namespace {

QStringList consoleLines;

void captureConsole(QtMsgType, const QMessageLogContext &, const QString &message) { consoleLines << message; }

QDateTime utc(const QString &text)
{
    return QDateTime(QDate::fromString(text.left(10), Qt::ISODate), QTime::fromString(text.mid(11), "hh:mm:ss.zzz"), Qt::UTC);
}

} // namespace

// Shared rig: a fresh logs folder, file output at Trace, a clock the test sets; writers live on, so modules are fresh.
class TstLogger : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> m_base;
    QDateTime m_now;
    int m_modules = 0;

    QString fresh() { return QStringLiteral("Module%1").arg(++m_modules); }
    QString logs() const { return m_base->path() + "/logs"; }
    QStringList files() const { return QDir(logs()).entryList(QDir::Files, QDir::Name); }
    QStringList lines(const QString &file) const
    {
        QFile f(logs() + "/" + file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
    }

private slots:
    void init()
    {
        m_base.reset(new QTemporaryDir);
        QLoggerManager::setOutputMode(QLogger::LogFile);
        QLoggerManager::setDefaultLevel(QLogger::Trace);
        QLoggerManager::setBasePath(m_base->path());
        QDir().mkpath(logs()); // so that a line written in the wrong mode would show
        m_now = utc("2024-03-05 14:20:00.000");
        QLoggerWriter::setClock([this] { return m_now; });
        consoleLines.clear();
    }

    void cleanup() { QLoggerWriter::setClock({}), qInstallMessageHandler(nullptr); }

    void lineFormat()
    {
        m_now = utc("2024-03-05 14:29:59.007");
        const QStringList texts{"Trace", "Debug", "Info", "Warning", "Error", "Fatal", ""};
        for (int level = 0; level <= 6; ++level)
            QLoggerManager::log(QStringLiteral("Mod"), QStringLiteral("fn"), level, QStringLiteral("hello world"));
        const QStringList written = lines("2024-03-05_14.15.00(1).log");
        QCOMPARE(written.size(), texts.size());
        for (int level = 0; level <= 6; ++level) {
            // The thread field is always 8 lower-case hexadecimal digits.
            const QString line = written[level], text = texts[level];
            QVERIFY2(QRegularExpression("^\\[[0-9a-f]{8}\\]$").match(line.mid(24 + text.size() + 2, 10)).hasMatch(), qPrintable(line));
            QCOMPARE(line.left(24 + text.size() + 2) + line.mid(24 + text.size() + 12),
                     QStringLiteral("2024-03-05 14:29:59.007 [%1][Mod][fn] hello world").arg(text));
        }
    }

    void levelThresholds()
    {
        // default level at registration, module level, default when logging -> lowest level written
        for (const QString c : {"0 2 0 2", "0 1 0 1", "3 0 3 3", "1 4 1 4", "0 0 4 4", "3 0 0 3"}) {
            const QStringList levels = c.split(' ');
            const QString module = fresh();
            QLoggerManager::setDefaultLevel(levels[0].toInt());
            QLoggerManager::registerModule(module, levels[1].toInt());
            QLoggerManager::registerModule(module, QLogger::Fatal); // a second registration changes nothing
            QLoggerManager::setDefaultLevel(levels[2].toInt());
            for (int level = QLogger::Trace; level <= QLogger::Fatal; ++level)
                QLoggerManager::log(module, "f", level, QString::number(level));
            QString written;
            for (const QString &line : lines("2024-03-05_14.15.00(1).log"))
                written += line.section(' ', -1);
            QCOMPARE(written, QString("012345").mid(levels[3].toInt()));
            QFile::remove(logs() + "/2024-03-05_14.15.00(1).log");
        }
    }

    void outputModes()
    {
        qInstallMessageHandler(captureConsole);
        for (const QString c : {"0 0 0", "1 1 0", "2 0 1", "3 1 1"}) { // mode, console lines, file lines
            const int mode = c.left(1).toInt();
            QLoggerManager::setOutputMode(mode), QLoggerManager::setOutputMode(4), QLoggerManager::setOutputMode(-1);
            QCOMPARE(QLoggerManager::outputMode(), mode);
            consoleLines.clear();
            QFile::remove(logs() + "/2024-03-05_14.15.00(1).log");
            const QString module = fresh();
            QLoggerManager::setDefaultLevel(QLogger::Error);
            QLoggerManager::fatal(module, "f", "line");
            QLoggerManager::setDefaultLevel(QLogger::Trace);
            for (const QString &line : qAsConst(consoleLines))
                QVERIFY2(line.startsWith("2024-03-05 14:20:00.000 [Fatal][") && line.endsWith("][" + module + "][f] line"), qPrintable(line));
            QCOMPARE(QStringLiteral("%1 %2 %3").arg(mode).arg(consoleLines.size()).arg(lines("2024-03-05_14.15.00(1).log").size()), c);
            QCOMPARE(QLoggerManager::moduleWriter(module)->level(), int(QLogger::Error)); // registered by its first line, even when off
        }
    }

    void quarterHourFiles()
    {
        // Two lines of one module and one of another: first time, second time -> files and their line counts.
        const QList<QPair<QString, QString>> cases = {
            {"2024-03-05 14:29:59.999|2024-03-05 14:30:00.000", "2024-03-05_14.15.00(1).log 1|2024-03-05_14.30.00(1).log 2"},
            {"2024-03-05 14:30:00.000|2024-03-05 14:44:59.999", "2024-03-05_14.30.00(1).log 3"},
            {"2024-03-05 14:31:00.000|2024-03-05 15:31:00.000", "2024-03-05_14.30.00(1).log 1|2024-03-05_15.30.00(1).log 2"},
            {"2024-03-05 09:05:00.000|2024-03-06 09:05:00.000", "2024-03-05_09.00.00(1).log 1|2024-03-06_09.00.00(1).log 2"},
            {"2024-03-05 23:45:00.000|2024-03-05 23:59:59.000", "2024-03-05_23.45.00(1).log 3"}};
        for (const auto &c : cases) {
            for (const QString &file : files())
                QFile::remove(logs() + "/" + file);
            const QString module = fresh();
            m_now = utc(c.first.section('|', 0, 0));
            QLoggerManager::info(module, "f", "one");
            m_now = utc(c.first.section('|', 1));
            QLoggerManager::info(module, "f", "two");
            QLoggerManager::info(fresh(), "f", "three"); // another module, the same file
            QStringList found;
            for (const QString &file : files())
                found << file + ' ' + QString::number(lines(file).size());
            QCOMPARE(found.join('|'), c.second);
        }
    }

    void rolloverAtOneMebibyte()
    {
        const QString module = fresh();
        m_now = utc("2024-03-05 09:00:01.000");
        QLoggerManager::info(module, "f", "first");
        QFile file(logs() + "/2024-03-05_09.00.00(1).log");
        auto fill = [&file](int size) { file.open(QIODevice::WriteOnly), file.write(QByteArray(size, 'x')), file.close(); };
        fill(1048575);
        QLoggerManager::info(module, "f", "still one");
        QCOMPARE(files(), QStringList{"2024-03-05_09.00.00(1).log"});
        fill(1048576);
        QLoggerManager::info(module, "f", "to two"), QLoggerManager::info(module, "f", "stays two");
        QCOMPARE(lines("2024-03-05_09.00.00(2).log").size(), 2);
        m_now = utc("2024-03-05 09:15:00.000");
        QLoggerManager::info(module, "f", "new period");
        QCOMPARE(lines("2024-03-05_09.15.00(1).log").size(), 1);
    }

    void deletesFilesADayOld()
    {
        QLoggerManager::info(fresh(), "f", "line");
        QVERIFY(QFile(logs() + "/.hidden").open(QIODevice::WriteOnly) && QDir(logs()).mkdir("sub"));
        QFileInfo info(logs() + "/.hidden");
        const QDateTime born = info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime();
        const auto remaining = [this] { return QDir(logs()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot).size(); };
        m_now = born.addSecs(86400 - 1);
        QLoggerManager::deleteOldLogFiles(1), QLoggerManager::deleteOldLogFiles(2);
        QCOMPARE(remaining(), 3);
        m_now = born.addSecs(86400);
        QLoggerManager::deleteOldLogFiles(1);
        QCOMPARE(remaining(), 1); // the folder stays
    }
};

VELA_TEST_MAIN_CORE(TstLogger)
#include "tst_logger.moc"
