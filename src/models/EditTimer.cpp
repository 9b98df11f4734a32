#include "EditTimer.h"

#include <chrono>

namespace {
EditTimer::Clock &clockOverride()
{
    static EditTimer::Clock clock;
    return clock;
}
}

void EditTimer::setClock(Clock clock)
{
    clockOverride() = std::move(clock);
}

qint64 EditTimer::now()
{
    const Clock &clock = clockOverride();
    if (clock)
        return clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
