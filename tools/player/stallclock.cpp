#include "stallclock.h"

#include <algorithm>
#include <ctime>

namespace {

// Time the calling thread has spent running.
double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace

StallClock::StallClock(int intervalMs, QObject *parent) : QObject(parent)
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(intervalMs);
    connect(&m_ticker, &QTimer::timeout, this, &StallClock::onTick);
}

void StallClock::start()
{
    m_longest = Stall();
    m_clock.start();
    m_lastAt = 0;
    m_lastCpu = threadCpuMs();
    m_ticker.start();
}

StallClock::Stall StallClock::stop()
{
    onTick();
    m_ticker.stop();
    return m_longest;
}

void StallClock::onTick()
{
    const double now = double(m_clock.nsecsElapsed()) / 1e6;
    const double cpu = threadCpuMs();
    if (now - m_lastAt > m_longest.ms) {
        m_longest.ms = now - m_lastAt;
        m_longest.runningMs = cpu - m_lastCpu;
    }
    m_longest.longestRunMs = std::max(m_longest.longestRunMs, cpu - m_lastCpu);
    m_lastAt = now;
    m_lastCpu = cpu;
}
