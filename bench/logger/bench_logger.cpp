// Lines per second that one thread writes in file mode: every line opens, appends to and
// closes its file, so this is the cost a busy module puts on the thread that logs.

#include "logger/QLoggerManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir base;
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Trace);
    QLogger::QLoggerManager::setBasePath(base.path());
    QLogger::QLoggerManager::registerModule("BenchModule", QLogger::Trace);

    constexpr int kLines = 50000;
    const QString message = QStringLiteral("Sending request Gain Settings / Write, --> 55 00 05 01 04 00 30 30");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kLines; ++i)
        QLogger::QLoggerManager::info("BenchModule", "bench", message);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::fprintf(stderr, "%d lines in %.3f s\n", kLines, seconds);
    std::printf("logger_lines_per_s %.0f\n", kLines / seconds);
    return 0;
}
