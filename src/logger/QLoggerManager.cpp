#include "QLoggerManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace QLogger {

namespace {
std::atomic<QLoggerManager *> instance{nullptr};
std::mutex instanceLock;

void stopManagerThread()
{
    // The manager outlives the application object; its idle thread must not.
    QLoggerManager *manager = instance.load();
    if (manager && manager->isRunning()) {
        manager->quit();
        manager->wait();
    }
}
}

QLoggerManager *QLoggerManager::getInstance()
{
    if (QLoggerManager *manager = instance.load(std::memory_order_acquire))
        return manager;
    std::lock_guard<std::mutex> lock(instanceLock);
    if (!instance.load()) {
        instance.store(new QLoggerManager, std::memory_order_release);
        if (QCoreApplication::instance())
            qAddPostRoutine(stopManagerThread);
    }
    return instance.load();
}

QLoggerManager::QLoggerManager() : m_basePath(QDir::currentPath())
{
    setObjectName(QStringLiteral("QLoggerManager"));
    start();
}

QLoggerManager::~QLoggerManager()
{
    qDeleteAll(m_writers);
}

void QLoggerManager::run()
{
    exec();
}

void QLoggerManager::setOutputMode(int mode)
{
    if (mode < LogOff || mode > LogConsoleAndFile)
        return;
    getInstance()->m_mode = mode;
}

int QLoggerManager::outputMode()
{
    return getInstance()->m_mode;
}

void QLoggerManager::setDefaultLevel(int level)
{
    getInstance()->m_defaultLevel = level;
}

int QLoggerManager::defaultLevel()
{
    return getInstance()->m_defaultLevel;
}

void QLoggerManager::setBasePath(const QString &path)
{
    QLoggerManager *self = getInstance();
    std::unique_lock<std::shared_mutex> lock(self->m_registryLock);
    self->m_basePath = path;
}

QString QLoggerManager::basePath()
{
    QLoggerManager *self = getInstance();
    std::shared_lock<std::shared_mutex> lock(self->m_registryLock);
    return self->m_basePath;
}

QLoggerManager *QLoggerManager::registerModule(const QString &module, int level)
{
    QLoggerManager *self = getInstance();
    {
        std::shared_lock<std::shared_mutex> lock(self->m_registryLock);
        if (self->m_writers.contains(module))
            return self;
    }
    std::unique_lock<std::shared_mutex> lock(self->m_registryLock);
    if (!self->m_writers.contains(module)) {
        const int effective = qMax(int(self->m_defaultLevel), level);
        self->m_writers.insert(module, new QLoggerWriter(module, effective, self->m_basePath));
    }
    return self;
}

QLoggerManager *QLoggerManager::registerModule(const char *module, int level)
{
    return registerModule(QString::fromUtf8(module), level);
}

QLoggerWriter *QLoggerManager::writerFor(const QString &module)
{
    {
        std::shared_lock<std::shared_mutex> lock(m_registryLock);
        auto it = m_writers.constFind(module);
        if (it != m_writers.constEnd())
            return it.value();
    }
    registerModule(module, m_defaultLevel);
    std::shared_lock<std::shared_mutex> lock(m_registryLock);
    return m_writers.value(module);
}

QLoggerWriter *QLoggerManager::moduleWriter(const QString &module)
{
    return getInstance()->writerFor(module);
}

void QLoggerManager::log(const QString &module, const QString &function, int level, const QString &message)
{
    QLoggerManager *self = getInstance();
    QLoggerWriter *writer = self->writerFor(module);
    if (self->m_mode == LogOff)
        return;
    if (level < self->m_defaultLevel || level < writer->level())
        return;
    std::lock_guard<std::mutex> lock(self->m_writeLock);
    writer->writeLine(level, function, message);
}

#define VELA_LOG_FORMS(name, lvl)                                                                \
    void QLoggerManager::name(const QString &module, const QString &function, const QString &message) \
    {                                                                                            \
        log(module, function, lvl, message);                                                     \
    }                                                                                            \
    void QLoggerManager::name(const char *module, const char *function, const char *message)    \
    {                                                                                            \
        log(QString::fromUtf8(module), QString::fromUtf8(function), lvl, QString::fromUtf8(message)); \
    }                                                                                            \
    void QLoggerManager::name(const char *module, const char *function, const QString &message) \
    {                                                                                            \
        log(QString::fromUtf8(module), QString::fromUtf8(function), lvl, message);               \
    }

VELA_LOG_FORMS(trace, Trace)
VELA_LOG_FORMS(debug, Debug)
VELA_LOG_FORMS(info, Info)
VELA_LOG_FORMS(warning, Warning)
VELA_LOG_FORMS(error, Error)
VELA_LOG_FORMS(fatal, Fatal)

#undef VELA_LOG_FORMS

void QLoggerManager::deleteOldLogFiles(int days)
{
    const QDir dir(basePath() + QStringLiteral("/logs"));
    if (!dir.exists())
        return;
    const QDateTime now = QLoggerWriter::now();
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &file : files) {
        QDateTime created = file.birthTime();
        if (!created.isValid())
            created = file.metadataChangeTime(); // file systems without a birth time
        if (created.isValid() && created.secsTo(now) >= qint64(days) * 24 * 3600)
            QFile::remove(file.absoluteFilePath());
    }
}

} // namespace QLogger
