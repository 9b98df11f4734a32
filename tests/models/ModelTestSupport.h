#pragma once

#include "logger/QLoggerLevel.h"
#include "logger/QLoggerManager.h"
#include "models/EditTimer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>
#include <QtGlobal>

// Replaces the models' edit clock for the lifetime of the object, so guard windows are
// crossed by advancing time instead of waiting.
class FakeClock
{
public:
    FakeClock()
    {
        EditTimer::setClock([this] { return m_now; });
    }
    ~FakeClock() { EditTimer::setClock(EditTimer::Clock()); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    void advance(qint64 ms) { m_now += ms; }

private:
    qint64 m_now = 1000000;
};

// Collects the logger's console lines (they go through qDebug) while installed.
class LogCapture
{
public:
    LogCapture()
    {
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        s_lines().clear();
        s_previous() = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous()); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return s_lines(); }
    void clear() { s_lines().clear(); }
    // Lines of one module and function that end with the message.
    int count(const QString &module, const QString &function, const QString &message) const
    {
        const QString tail = QStringLiteral("[%1][%2] %3").arg(module, function, message);
        int n = 0;
        for (const QString &line : s_lines())
            n += line.endsWith(tail) ? 1 : 0;
        return n;
    }

private:
    static QStringList &s_lines()
    {
        static QStringList lines;
        return lines;
    }
    static QtMessageHandler &s_previous()
    {
        static QtMessageHandler previous = nullptr;
        return previous;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        s_lines().append(message);
        // Only the logger's debug lines are swallowed; warnings and failures stay visible.
        if (type != QtDebugMsg && s_previous())
            s_previous()(type, context, message);
    }
};

// Runs the deletions that deleteLater() scheduled.
inline void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
