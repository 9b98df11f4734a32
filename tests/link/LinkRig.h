#pragma once

// Shared rig of the device link tests: log lines caught, byte helpers, the processor on a thread.

#include "VelaTestMain.h"
#include "VirtualWdx.h"

#include "logger/QLoggerManager.h"
#include "protocol/WdxRequestProcessor.h"

#include <QHash>
#include <QRegularExpression>

#include <mutex>

using namespace VirtualWdx;

// The logger's console lines from every thread: "date time [level][thread][module][function] message".
class LogCapture
{
public:
    static LogCapture &instance()
    {
        static LogCapture capture;
        return capture;
    }
    void install()
    {
        QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
        QLogger::QLoggerManager::setOutputMode(QLogger::LogConsole);
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lines.clear();
    }
    // Lines as "level module function] message", in order.
    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }
    int count(const QString &level, const QString &module, const QString &function, const QString &message) const
    {
        return lines().count(level + ' ' + module + ' ' + function + "] " + message);
    }
    // Messages holding `text`.
    QStringList containing(const QString &text) const
    {
        QStringList out;
        for (const QString &l : lines())
            if (l.indexOf(text, l.indexOf("] ") + 2) >= 0)
                out << l.mid(l.indexOf("] ") + 2);
        return out;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        static const QRegularExpression format(QStringLiteral("^\\S+ \\S+ \\[(\\w+)\\]\\[[0-9a-f]{8}\\]\\[([^\\]]*)\\]\\[([^\\]]*)\\] "));
        LogCapture &self = instance();
        const QRegularExpressionMatch m = format.match(text);
        if (type == QtDebugMsg && m.hasMatch()) {
            std::lock_guard<std::mutex> lock(self.m_lock);
            self.m_lines << m.captured(1) + ' ' + m.captured(2) + ' ' + m.captured(3) + "] " + text.mid(m.capturedEnd());
        } else if (self.m_previous) {
            self.m_previous(type, context, text);
        }
    }

    mutable std::mutex m_lock;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

inline LogCapture &logs()
{
    return LogCapture::instance();
}

inline QRawData raw(const Bytes &bytes)
{
    return QRawData(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())));
}

inline QString hexOf(const Bytes &bytes)
{
    return raw(bytes).toHex();
}

inline Bytes sequence(int n, int first = 1)
{
    Bytes b;
    for (int i = 0; i < n; ++i)
        b.push_back(std::uint8_t(first + i));
    return b;
}

// The processor on a worker thread of its own, as the device controller runs it.
class Engine
{
public:
    explicit Engine(int timeoutMs = 250, int intervalMs = WdxRequestProcessor::kDefaultInterval)
        : processor(new WdxRequestProcessor(false))
    {
        processor->setTimeout(timeoutMs);
        processor->setInterval(intervalMs);
        processor->moveToThread(&worker);
        QObject::connect(&worker, &QThread::started, processor, &WdxRequestProcessor::start);
        QObject::connect(processor, &WdxRequestProcessor::finished, &worker, &QThread::quit, Qt::DirectConnection);
        QObject::connect(processor, &WdxRequestProcessor::started, processor, [this] { running = true; },
                         Qt::DirectConnection);
        QObject::connect(processor, &WdxRequestProcessor::stopped, processor, [this] { running = false; },
                         Qt::DirectConnection);
    }
    ~Engine()
    {
        unplug();
        stop();
        delete processor;   // before the requests it may still point to
    }
    // A request owned here, its completed() counted on the test thread.
    WdxRequest *make(const WdxMessageGeneric &message, int maxRetry = 0)
    {
        auto *request = new WdxRequest(message, &owner);
        request->setMaxRetry(maxRetry);
        QObject::connect(request, &WdxRequest::completed, &owner, [this, request] { ++completions[request]; });
        return request;
    }
    int count(WdxRequest *request) const { return completions.value(request); }
    // Starts the machine and the connection checks; true once the bridge is open.
    bool start(bool waitConnected = true)
    {
        worker.start();
        const bool started = QTest::qWaitFor([this] { return running.load(); }, 15000);
        processor->resume();
        return started && (!waitConnected || QTest::qWaitFor([this] { return processor->isConnected(); }, 15000));
    }
    void stop()
    {
        if (worker.isRunning())
            QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
        worker.wait();
    }

    QObject owner;
    QHash<WdxRequest *, int> completions;
    QThread worker;
    WdxRequestProcessor *processor;
    std::atomic<bool> running{false};
};
