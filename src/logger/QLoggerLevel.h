#pragma once

#include <QString>

namespace QLogger {

enum LogLevel : int { Trace = 0, Debug = 1, Info = 2, Warning = 3, Error = 4, Fatal = 5 };

enum LogMode : int { LogOff = 0, LogConsole = 1, LogFile = 2, LogConsoleAndFile = 3 };

// Text written in a line; empty for a value outside the levels.
QString levelToText(int level);

} // namespace QLogger
