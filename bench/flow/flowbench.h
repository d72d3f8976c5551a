#pragma once

#include <QEventLoop>
#include <QGraphicsScene>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "directwork.h"
#include "flowcommon.h"
#include "playertrack.h"
#include "stallclock.h"

class PanelWatch;
class PluginHost;
class StoreProcess;

struct ChainFigures
{
    int checks = 0; // designed queue checks the chain waited for
    double rows = 0;
    double designed = 0; // the checks as this machine keeps them: see timerLateness()
    double rowsStore = 0;
    double pictures = 0;
    double picturesStore = 0;

    double rowsOverhead() const { return rows - designed - rowsStore; }
    double picturesOverhead() const { return pictures - designed - picturesStore; }
};

// The three views of a loaded plug-in in one scene, driven as the player
// drives them: track changes, waits for rows and pictures, and the figures.
class FlowBench
{
public:
    // store: null where the store's time is not taken out.
    FlowBench(PluginHost &host, const QList<PlayerTrack> &tracks, StoreProcess *store);

    ~FlowBench();

    bool isValid() const;

    static void clearCache();

    // Shows the track in the view and waits for its rows and pictures.
    bool visit(int view, int track, ChainFigures *figures = nullptr,
               const QString &label = QString());

    // Shows every track in every view once and keeps those that give rows
    // with pictures in all three: the catalog also holds artists that the
    // store knows nothing similar to, which end in the no-matches text.
    bool pickTracks();

    const QList<PlayerTrack> &tracks() const { return m_tracks; }

    // Rounds of one track change in each view, each round waited out.
    bool visitMany(int count, int firstTrack);

    // Each pair of cold artists and the first again, cached, are followed by
    // the same work done directly on the answers they left in the cache:
    // without pictures for the cold chain (it shows its rows before they
    // come), with them for the cached one.
    bool latency(int repetitions, QList<ChainFigures> &cold, QList<ChainFigures> &cached,
                 QList<double> &coldFloors, QList<double> &cachedFloors);

    // Median lateness of a bare single-shot timer of the checks' length.
    double timerLateness() const { return median(m_timerLateness); }

    // The longest gap, beyond its own interval, between two ticks of a 1 ms
    // timer on the user-interface thread while track changes come every
    // intervalMs, rotating over the views, until every panel has settled.
    bool burst(int changes, int intervalMs, StallClock::Stall *longest, int *pictures);

    // The same watch on the event loop with nothing to do, for as long: the
    // stalls that the machine itself causes.
    static StallClock::Stall idleStall(int ms);

private:
    QString artistOf(int track) const { return m_tracks.at(track % m_tracks.size()).artist; }

    static double bareTimerLateness();

    void publish(int view, int track, const QString &label = QString());

    static void idle(int ms);

    bool allSettled() const;

    void onPanelChanged();

    bool waitFor(const std::function<bool()> &done, int timeoutMs = settleTimeoutMs);

    PluginHost &m_host;
    StoreProcess *m_store;
    QList<PlayerTrack> m_tracks;
    QHash<int, QString> m_shown;
    std::vector<std::unique_ptr<QGraphicsScene>> m_scenes;
    std::vector<std::unique_ptr<PanelWatch>> m_watches;
    QEventLoop *m_waiting = nullptr;
    std::function<bool()> m_done;
    QList<double> m_timerLateness;
    DirectWork m_direct;
};
