#pragma once

// Any warning (a QML error, a failed XmlListModel query, a binding on undefined) fails a Qt
// Quick test run even when every check passed. install() comes before the documents are
// created; the test library puts its own handler in front when the first test case starts, so
// the documents call warningGuard.install() from initTestCase to come first again, forwarding.

#include <QAtomicInt>
#include <QObject>

#include <cstdio>

namespace UiWarningGuard {

inline QAtomicInt warnings;
inline QtMessageHandler forward = nullptr;

inline void count(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings.ref();
    if (forward)
        forward(type, context, message);
}

// After the test library has closed its log, while the device side is torn down: what is said
// then is not the scene's and goes to stderr only.
inline void detach()
{
    forward = nullptr;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "after the run: %s\n", qPrintable(message));
    });
}

inline void install()
{
    const QtMessageHandler previous = qInstallMessageHandler(count);
    if (previous != count)
        forward = previous;
}

// The run's exit code: the test library's, or a failure when anything warned.
inline int verdict(int failed)
{
    const int n = warnings.loadRelaxed();
    if (n > 0)
        std::fprintf(stderr, "FAIL: %d warning(s) during the run\n", n);
    return failed ? failed : n > 0;
}

} // namespace UiWarningGuard

class WarningGuard : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void install() { UiWarningGuard::install(); }
};
