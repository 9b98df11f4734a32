#pragma once

#include "logger/QLoggerLevel.h"
#include "logger/QLoggerManager.h"
#include "models/EditTimer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaMethod>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

// Replaces the models' edit clock for the lifetime of the object, so guard windows are
// crossed by advancing time instead of waiting.
class FakeClock
{
public:
    FakeClock() { EditTimer::setClock([this] { return m_now; }); }
    ~FakeClock() { EditTimer::setClock(EditTimer::Clock()); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    void advance(qint64 ms) { m_now += ms; }

private:
    qint64 m_now = 1000000;
};

// Collects the logger's console lines (they go through qDebug) while installed; warnings and
// failures still reach the previous handler.
class LogCapture
{
public:
    LogCapture()
    {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        s_lines.clear();
        s_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    void clear() { s_lines.clear(); }
    // Lines of one module and function that end with the message.
    int count(const QString &module, const QString &function, const QString &message) const
    {
        const QString tail = QStringLiteral("[%1][%2] %3").arg(module, function, message);
        return int(std::count_if(s_lines.begin(), s_lines.end(), [&](const QString &line) { return line.endsWith(tail); }));
    }

private:
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        s_lines.append(message);
        if (type != QtDebugMsg && s_previous)
            s_previous(type, context, message);
    }
};

// Every signal of one object, by name, in the order they go out.
class SignalTrace : public QObject
{
public:
    explicit SignalTrace(QObject *source)
    {
        const QMetaObject *meta = source->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() != QMetaMethod::Signal)
                continue;
            m_names.append(QString::fromLatin1(meta->method(i).name()));
            QMetaObject::connect(source, i, this, QObject::staticMetaObject.methodCount() + m_names.size() - 1,
                                 Qt::DirectConnection);
        }
    }
    int qt_metacall(QMetaObject::Call call, int id, void **arguments) override
    {
        id = QObject::qt_metacall(call, id, arguments);
        if (id < 0 || call != QMetaObject::InvokeMetaMethod)
            return id;
        events.append(m_names.at(id));
        return -1;
    }
    int count(const QString &name) const { return events.count(name); }
    QStringList events;

private:
    QStringList m_names;
};

// Runs the deletions that deleteLater() scheduled.
inline void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
