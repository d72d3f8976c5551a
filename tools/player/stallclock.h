#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Watches the event loop of the thread it lives on: a timer ticking at a set
// interval notes the longest gap between two ticks (the interval is part of
// every gap), how much of that gap the thread spent running (the rest it
// waited for a processor), and the longest the thread ran between two ticks,
// the work that held it.
class StallClock : public QObject
{
    Q_OBJECT

public:
    struct Stall
    {
        double ms = 0;
        double runningMs = 0;
        double longestRunMs = 0;
    };

    explicit StallClock(int intervalMs, QObject *parent = nullptr);

    void start();
    // Counts the gap up to this call too.
    Stall stop();

private slots:
    void onTick();

private:
    QTimer m_ticker;
    QElapsedTimer m_clock;
    double m_lastAt = 0;
    double m_lastCpu = 0;
    Stall m_longest;
};
