#include "QLoggerWriter.h"
#include "QLoggerManager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <mutex>
#include <QTextStream>
#include <QThread>

namespace QLogger {

namespace {
std::mutex clockLock;
QLoggerWriter::Clock clockFunction;

constexpr qint64 kRolloverSize = 1048575;
}

void QLoggerWriter::setClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(clockLock);
    clockFunction = std::move(clock);
}

QDateTime QLoggerWriter::now()
{
    std::lock_guard<std::mutex> lock(clockLock);
    return clockFunction ? clockFunction().toUTC() : QDateTime::currentDateTimeUtc();
}

QLoggerWriter::QLoggerWriter(const QString &module, int level, const QString &basePath)
    : m_level(level), m_module(module), m_logsDir(basePath + QStringLiteral("/logs"))
{
    const int mode = QLoggerManager::outputMode();
    if ((mode == LogFile || mode == LogConsoleAndFile) && !QDir(m_logsDir).exists())
        QDir().mkpath(m_logsDir);
}

QString QLoggerWriter::formatLine(const QDateTime &utc, int level, const QString &module,
                                  const QString &function, const QString &message)
{
    // Thread ids are pointer-sized on some platforms; the line always carries 8 digits.
    const quint32 threadId = quint32(reinterpret_cast<quintptr>(QThread::currentThreadId()));
    return QStringLiteral("%1 [%2][%3][%4][%5] %6")
        .arg(utc.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")), levelToText(level),
             QStringLiteral("%1").arg(threadId, 8, 16, QLatin1Char('0')), module, function, message);
}

QString QLoggerWriter::currentFileName() const
{
    return QStringLiteral("%1/%2%3(%4).log")
        .arg(m_logsDir, m_periodStart.toString(QStringLiteral("yyyy-MM-dd_")),
             m_periodStart.toString(QStringLiteral("hh.mm.ss")))
        .arg(m_fileCounter);
}

void QLoggerWriter::writeLine(int level, const QString &function, const QString &message)
{
    const QDateTime utc = now();
    const QString line = formatLine(utc, level, m_module, function, message);
    const int mode = QLoggerManager::outputMode();

    if (mode == LogConsole || mode == LogConsoleAndFile)
        QMessageLogger().debug().noquote() << line;

    if (mode == LogConsole)
        return;

    const QDate today = utc.date();
    const QTime time = utc.time();
    const bool samePeriod = !m_periodStart.isNull() && m_periodStart.date() == today
        && m_periodStart.time().hour() == time.hour()
        && m_periodStart.time().minute() + 14 >= time.minute();
    if (!samePeriod) {
        m_periodStart = QDateTime(today, QTime(time.hour(), (time.minute() / 15) * 15, 0, 0), Qt::UTC);
        m_fileCounter = 1;
    }

    QString fileName = currentFileName();
    QFileInfo info(fileName);
    if (info.exists() && info.size() > kRolloverSize) {
        ++m_fileCounter;
        fileName = currentFileName();
    }

    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << line << "\n";
    out.flush();
    file.close();
}

} // namespace QLogger
