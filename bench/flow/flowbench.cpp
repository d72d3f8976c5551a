#include "flowbench.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGraphicsItem>
#include <QTimer>

#include <algorithm>

#include "flowcommon.h"
#include "panelwatch.h"
#include "pluginhost.h"
#include "storeprocess.h"
#include "svwidget.h"

namespace {

// The stalls are counted beyond the clock's own tick.
const int stallTickMs = 1;

StallClock::Stall beyondTick(StallClock::Stall stall)
{
    stall.ms -= stallTickMs;
    return stall;
}

const int PanelWidth = 480;
const int PanelHeight = 400;

} // namespace

FlowBench::FlowBench(PluginHost &host, const QList<PlayerTrack> &tracks, StoreProcess *store)
    : m_host(host),
      m_store(store),
      m_tracks(tracks)
{
    const QStringList ids = PluginHost::viewIds();
    for (const QString &id : ids) {
        SvWidget *panel = host.view(id);
        if (!panel)
            continue;
        // As the player's window shows a panel: in a scene of its own, with
        // a rectangle, where a scene without one works out the bounding
        // rectangle of every item at each change.
        auto scene = std::make_unique<QGraphicsScene>(0, 0, PanelWidth, PanelHeight);
        scene->addItem(panel);
        m_scenes.push_back(std::move(scene));
        panel->resize(PanelWidth, PanelHeight);
        auto watch = std::make_unique<PanelWatch>(id, panel);
        watch->changed = [this] { onPanelChanged(); };
        m_watches.push_back(std::move(watch));
    }
}

FlowBench::~FlowBench()
{
    // The panels are the plug-in's to delete.
    for (const std::unique_ptr<QGraphicsScene> &scene : m_scenes) {
        const QList<QGraphicsItem *> panels = scene->items();
        for (QGraphicsItem *item : panels) {
            if (!item->parentItem())
                scene->removeItem(item);
        }
    }
}

bool FlowBench::isValid() const
{
    return m_watches.size() == 3 && m_tracks.size() >= 6
            && std::all_of(m_watches.cbegin(), m_watches.cend(),
                           [](const auto &w) { return w->isValid(); });
}

void FlowBench::clearCache()
{
    const QString base = QDir::homePath() + QStringLiteral("/.cache/raskrestapi/");
    for (const char *folder : { "queries", "images" }) {
        QDir dir(base + QLatin1String(folder));
        const QStringList files = dir.entryList(QDir::Files);
        for (const QString &file : files)
            dir.remove(file);
    }
}

bool FlowBench::visit(int view, int track, ChainFigures *figures, const QString &label)
{
    PanelWatch &watch = *m_watches.at(view);
    // Every request leaves a deferred queue check behind, and any check
    // serves the whole queue: once the last one has run, the next chain
    // waits for exactly its own checks. The wait is a bare timer of the
    // checks' length, whose lateness is the machine's, not the plug-in's.
    m_timerLateness << bareTimerLateness();
    idle(50);
    publish(view, track, label);
    if (!waitFor([&watch] { return watch.settled(); }))
        return false;
    if (figures) {
        const double start = watch.startedAt();
        figures->rows = watch.rowsAt() - start;
        figures->pictures = watch.picturesAt() - start;
        // The first check is always deferred (a new artist ends the
        // loading state); the second is immediate once a download has
        // put the loading row up.
        figures->checks = watch.loadingShown() ? 1 : 2;
        if (m_store) {
            figures->rowsStore = m_store->busyMs(start, watch.rowsAt());
            figures->picturesStore = m_store->busyMs(start, watch.picturesAt());
        }
    }
    return true;
}

bool FlowBench::pickTracks()
{
    const int count = int(m_tracks.size());
    QList<bool> usable(count, true);
    for (int round = 0; round < count; ++round) {
        for (int view = 0; view < 3; ++view)
            publish(view, round + view * count / 3);
        const auto ended = [this] {
            for (size_t view = 0; view < m_watches.size(); ++view) {
                if (!m_watches.at(view)->settled()
                    && m_watches.at(view)->probe().state() != PanelProbe::State::NoMatches)
                    return false;
            }
            return true;
        };
        if (!waitFor(ended))
            return false;
        for (int view = 0; view < 3; ++view) {
            if (!m_watches.at(view)->settled())
                usable[(round + view * count / 3) % count] = false;
        }
    }
    QList<PlayerTrack> kept;
    for (int i = 0; i < count; ++i) {
        if (usable.at(i))
            kept << m_tracks.at(i);
    }
    m_tracks = kept;
    return m_tracks.size() >= 6;
}

bool FlowBench::visitMany(int count, int firstTrack)
{
    for (int done = 0; done < count;) {
        for (int view = 0; view < 3 && done < count; ++view, ++done)
            publish(view, firstTrack + done);
        if (!waitFor([this] { return allSettled(); }))
            return false;
    }
    return true;
}

bool FlowBench::latency(int repetitions, QList<ChainFigures> &cold, QList<ChainFigures> &cached,
                        QList<double> &coldFloors, QList<double> &cachedFloors)
{
    m_timerLateness.clear();
    // A view that shows the artist already asks for nothing: each starts
    // on one that the runs below never show.
    for (int view = 0; view < 3; ++view) {
        if (!visit(view, int(m_tracks.size()) - 1 - view))
            return false;
    }
    for (int r = 0; r < repetitions; ++r) {
        const int view = r % 3;
        const int first = 2 * r;
        const QString viewId = m_watches.at(view)->viewId();
        const QString coldLabel = PluginHost::viewName(viewId) + QStringLiteral(" cold");
        const QString cachedLabel = PluginHost::viewName(viewId) + QStringLiteral(" cached");
        clearCache();
        ChainFigures a, b, again;
        if (!visit(view, first, &a, coldLabel) || !visit(view, first + 1, &b, coldLabel)
            || !visit(view, first, &again, cachedLabel))
            return false;
        // Once the cached chain has read them back, the answers are saved.
        coldFloors << m_direct.run(viewId, artistOf(first), false,
                                   coldLabel + QStringLiteral(" floor"));
        cachedFloors << m_direct.run(viewId, artistOf(first), true,
                                     cachedLabel + QStringLiteral(" floor"));
        cold << a << b;
        cached << again;
    }
    // The designed checks as this machine keeps them.
    const double late = timerLateness();
    for (QList<ChainFigures> *chains : { &cold, &cached }) {
        for (ChainFigures &chain : *chains)
            chain.designed = chain.checks * (designedDelayMs + late);
    }
    return std::none_of(coldFloors.cbegin(), coldFloors.cend(), [](double f) { return f < 0; })
            && std::none_of(cachedFloors.cbegin(), cachedFloors.cend(),
                            [](double f) { return f < 0; });
}

bool FlowBench::burst(int changes, int intervalMs, StallClock::Stall *longest, int *pictures)
{
    clearCache();
    m_store->serveHugePictures(hugePictureSize);

    StallClock stalls(stallTickMs);

    int published = 0;
    QTimer changer;
    changer.setTimerType(Qt::PreciseTimer);
    changer.setInterval(intervalMs);
    QObject::connect(&changer, &QTimer::timeout, [&] {
        // Consecutive changes in one view name different artists.
        publish(published % 3, published * 7);
        if (++published == changes)
            changer.stop();
    });
    stalls.start();
    changer.start();
    const bool settled = waitFor([&] { return published == changes && allSettled(); },
                                 changes * intervalMs + settleTimeoutMs);
    *longest = beyondTick(stalls.stop());
    changer.stop();

    *pictures = m_store->servePlainPictures();
    return settled;
}

StallClock::Stall FlowBench::idleStall(int ms)
{
    StallClock stalls(stallTickMs);
    stalls.start();
    idle(ms);
    return beyondTick(stalls.stop());
}

double FlowBench::bareTimerLateness()
{
    QEventLoop loop;
    const double start = nowMs();
    double fired = start;
    QTimer::singleShot(int(designedDelayMs), &loop, [&] {
        fired = nowMs();
        loop.quit();
    });
    loop.exec();
    return fired - start - designedDelayMs;
}

void FlowBench::publish(int view, int track, const QString &label)
{
    const PlayerTrack &shown = m_tracks.at(track % m_tracks.size());
    PanelWatch &watch = *m_watches.at(view);
    // The artist on screen again asks for nothing: the panel stays settled.
    if (m_shown.value(view) != shown.artist)
        watch.arm(label);
    m_shown.insert(view, shown.artist);
    if (!label.isEmpty())
        InstructionCount::start();
    m_host.publish(watch.viewId(), shown);
}

void FlowBench::idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool FlowBench::allSettled() const
{
    return std::all_of(m_watches.cbegin(), m_watches.cend(),
                       [](const auto &w) { return w->settled(); });
}

void FlowBench::onPanelChanged()
{
    if (m_waiting && m_done && m_done())
        m_waiting->quit();
}

bool FlowBench::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    // A change can look final in the middle of a model update (one row of
    // four in), so the loop runs on until the state holds afterwards.
    while (!done()) {
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(int(left), &loop, &QEventLoop::quit);
        m_waiting = &loop;
        m_done = done;
        // Also looked at now and then: the burst's last change comes from
        // a timer, and the no-matches text from no model signal.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [this] { onPanelChanged(); });
        poll.start(50);
        loop.exec();
        m_waiting = nullptr;
        m_done = nullptr;
    }
    return true;
}
