#pragma once

#include "QLoggerLevel.h"
#include "QLoggerWriter.h"

#include <QMap>
#include <QThread>
#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace QLogger {

// The one process-wide log manager. Every operation works on the single instance and
// creates it on first use.
class QLoggerManager : public QThread
{
    Q_OBJECT
public:
    static QLoggerManager *getInstance();

    static void setOutputMode(int mode);
    static int outputMode();
    static void setDefaultLevel(int level);
    static int defaultLevel();
    static void setBasePath(const QString &path);
    static QString basePath();

    static QLoggerManager *registerModule(const QString &module, int level = Trace);
    static QLoggerManager *registerModule(const char *module, int level = Trace);
    static QLoggerWriter *moduleWriter(const QString &module);

    static void log(const QString &module, const QString &function, int level, const QString &message);

    static void trace(const QString &module, const QString &function, const QString &message);
    static void debug(const QString &module, const QString &function, const QString &message);
    static void info(const QString &module, const QString &function, const QString &message);
    static void warning(const QString &module, const QString &function, const QString &message);
    static void error(const QString &module, const QString &function, const QString &message);
    static void fatal(const QString &module, const QString &function, const QString &message);

    static void trace(const char *module, const char *function, const char *message);
    static void debug(const char *module, const char *function, const char *message);
    static void info(const char *module, const char *function, const char *message);
    static void warning(const char *module, const char *function, const char *message);
    static void error(const char *module, const char *function, const char *message);
    static void fatal(const char *module, const char *function, const char *message);

    static void trace(const char *module, const char *function, const QString &message);
    static void debug(const char *module, const char *function, const QString &message);
    static void info(const char *module, const char *function, const QString &message);
    static void warning(const char *module, const char *function, const QString &message);
    static void error(const char *module, const char *function, const QString &message);
    static void fatal(const char *module, const char *function, const QString &message);

    static void deleteOldLogFiles(int days);

protected:
    void run() override;

private:
    QLoggerManager();
    ~QLoggerManager() override;
    QLoggerWriter *writerFor(const QString &module);

    std::atomic<int> m_defaultLevel{Trace};
    std::atomic<int> m_mode{LogConsole};
    QString m_basePath;
    QMap<QString, QLoggerWriter *> m_writers;
    // Standard mutexes rather than Qt's: ThreadSanitizer sees these, and lines come from every
    // thread.
    std::mutex m_writeLock;
    // Guards the writer map and the base path: a module's first line may come from any thread.
    std::shared_mutex m_registryLock;
};

} // namespace QLogger
