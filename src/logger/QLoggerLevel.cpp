#include "QLoggerLevel.h"

namespace QLogger {

QString levelToText(int level)
{
    switch (level) {
    case Trace: return QStringLiteral("Trace");
    case Debug: return QStringLiteral("Debug");
    case Info: return QStringLiteral("Info");
    case Warning: return QStringLiteral("Warning");
    case Error: return QStringLiteral("Error");
    case Fatal: return QStringLiteral("Fatal");
    default: return QString();
    }
}

} // namespace QLogger
