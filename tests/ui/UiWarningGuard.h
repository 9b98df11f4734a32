#pragma once

// Any warning (a QML error, a failed XmlListModel query, a binding on undefined) makes a Qt
// Quick test run fail even when every check passed.
//
// The guard is installed before the documents are created, which catches warnings of their
// creation; the test library then puts its own handler in front when the first test case
// starts, so the documents call warningGuard.install() from initTestCase to come first again,
// forwarding to it.

#include <QAtomicInt>
#include <QObject>
#include <QtGlobal>

#include <cstdio>

namespace UiWarningGuard {

inline QAtomicInt &warnings()
{
    static QAtomicInt count;
    return count;
}

inline QtMessageHandler &forward()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void count(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings().ref();
    if (forward())
        forward()(type, context, message);
}

inline void printOnly(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "after the run: %s\n", qPrintable(message));
}

// After the test library has closed its log, while the device side the documents used is torn
// down: what is printed then is not the scene's and goes to stderr only (the library's handler
// may no longer be called).
inline void detach()
{
    forward() = nullptr;
    qInstallMessageHandler(printOnly);
}

inline void install()
{
    const QtMessageHandler previous = qInstallMessageHandler(count);
    if (previous != count)
        forward() = previous;
}

// The run's exit code: the test library's, or a failure when anything warned.
inline int verdict(int failed)
{
    const int n = warnings().loadRelaxed();
    if (n > 0) {
        std::fprintf(stderr, "FAIL: %d warning(s) during the run\n", n);
        return failed ? failed : 1;
    }
    return failed;
}

} // namespace UiWarningGuard

class WarningGuard : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void install() { UiWarningGuard::install(); }
};
