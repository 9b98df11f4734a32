#pragma once

#include "QLoggerLevel.h"

#include <QDateTime>
#include <QObject>
#include <functional>

namespace QLogger {

// Writes the lines of one module; called by the manager with its write lock held.
class QLoggerWriter : public QObject
{
    Q_OBJECT
public:
    QLoggerWriter(const QString &module, int level, const QString &basePath);

    void writeLine(int level, const QString &function, const QString &message);

    int level() const { return m_level; }
    QString module() const { return m_module; }
    QString logsDir() const { return m_logsDir; }
    QString currentFileName() const;

    // Formats one line exactly as it is written.
    static QString formatLine(const QDateTime &utc, int level, const QString &module,
                              const QString &function, const QString &message);

    // Clock seam: tests set a fixed clock so the quarter-hour and rollover rules are checked
    // without waiting. An empty function restores the system clock.
    using Clock = std::function<QDateTime()>;
    static void setClock(Clock clock);
    static QDateTime now();

private:
    QDateTime m_periodStart;
    int m_fileCounter = 1;
    int m_level;
    QString m_module;
    QString m_logsDir;
};

} // namespace QLogger
