#pragma once

#include <QtGlobal>
#include <functional>

// Elapsed-time clock behind the echo guards: a device report that arrives shortly after the
// user's own edit must not overwrite it. The clock source can be replaced so that the guard
// windows are checked without waiting; by default it is the system's monotonic clock.
class EditTimer
{
public:
    using Clock = std::function<qint64()>; // monotonic milliseconds

    // GUI thread only. An empty function restores the monotonic clock.
    static void setClock(Clock clock);
    static qint64 now();

    // Started at construction, like every edit timer of the models.
    EditTimer() { restart(); }

    void restart() { m_start = now(); }
    qint64 elapsed() const { return now() - m_start; }

private:
    qint64 m_start = 0;
};
