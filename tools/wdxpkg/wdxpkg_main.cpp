// wdxpkg: builds and checks Wdx firmware packages with the application's own package code.

#include "WdxPkgTool.h"
#include "logger/QLoggerManager.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wdxpkg"));
    // The package code logs for the application; a command-line tool reports on its own.
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);

    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    int result = WdxPkgTool::ExitUsage;

    if (command == QLatin1String("-h") || command == QLatin1String("--help") || command == QLatin1String("help")) {
        out << WdxPkgTool::usage();
        result = WdxPkgTool::ExitOk;
    } else if (command == QLatin1String("create") && args.size() == 3) {
        result = WdxPkgTool::create(args.at(1), args.at(2), out, err);
    } else if (command == QLatin1String("inspect")) {
        args.removeFirst();
        const bool json = args.removeAll(QStringLiteral("--json")) > 0;
        if (args.size() == 1 && !args.first().startsWith(QLatin1Char('-')))
            result = WdxPkgTool::inspect(args.first(), json, out, err);
        else
            err << WdxPkgTool::usage();
    } else {
        err << WdxPkgTool::usage();
    }
    out.flush();
    err.flush();
    return result;
}
