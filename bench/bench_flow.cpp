// End-to-end figures of the plug-in as the music player drives it: loaded
// through QPluginLoader with its three views, against the store emulator on
// 127.0.0.1. The store runs in a process of its own, as a remote store would:
// the time it is busy is taken out of the plug-in's figures, and its memory
// is never the host's.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QXmlStreamReader>

#include <valgrind/callgrind.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "cachefile.h"
#include "panelprobe.h"
#include "playerenvironment.h"
#include "pluginhost.h"
#include "rowfield.h"
#include "stallclock.h"
#include "storeendpoint.h"
#include "storeprocess.h"
#include "storequeries.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlocale.h"
#include "svwidget.h"
#include "velloramodel.h"
#include "viewtraits.h"
#include "xmlquerybatchpass.h"
#include "xmlquerypath.h"
#include "xmlstructurecheck.h"

namespace {

// The queue check that the plug-in defers while no loading row shows.
const double designedDelayMs = 300;
const int settleTimeoutMs = 30000;
const int visitsPerPass = 100;
const QSize hugePictureSize(3000, 2250);

// Targets on the two-core reference machine.
const double coldOverheadTargetMs = 3;
const double cachedOverheadTargetMs = 1;
const double cachedRatioTarget = 3;
const double stallTargetMs = 2;
const double growthTargetKb = 1024;
const double memoryShareTargetKb = 5 * 1024;
const double loadTargetMs = 15;
// Instruction targets, in millions: a handset core retires about 10^9 a
// second, so 3 M is 3 ms of a 16.7 ms frame.
// Load and three initialize calls counted 14.7 M before the accessibility work.
const double loadInstructionsTargetM = 14.7;
const double warmInstructionsTargetM = 3;
const double warmRatioTarget = 2;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// The store's process keeps its busy time on the same clock.
double nowMs()
{
    return StoreProcess::monotonicMs();
}

// Under callgrind (bench_flow --instructions), the instructions of a stretch
// of work: counting starts afresh at start() and stop() writes what each
// thread spent under the label. Elsewhere both cost nothing.
struct InstructionCount
{
    static void start() { CALLGRIND_ZERO_STATS; }
    static void stop(const QString &label) { CALLGRIND_DUMP_STATS_AT(label.toUtf8().constData()); }
};

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // Files under /proc report no size, so they are read whole.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

// One panel as the bench sees it: when rows reach its list, when every row
// shows its picture, and whether its loading row showed.
class PanelWatch : public QObject
{
public:
    PanelWatch(const QString &viewId, SvWidget *panel) : m_viewId(viewId), m_probe(panel)
    {
        m_valid = m_probe.follow();
        connect(&m_probe, &PanelProbe::rowsArrived, this, [this] {
            m_rowsAt = nowMs();
            if (!m_label.isEmpty())
                InstructionCount::stop(m_label + QStringLiteral(" rows"));
            onChanged();
        });
        connect(&m_probe, &PanelProbe::changed, this, &PanelWatch::onChanged);
    }

    bool isValid() const { return m_valid; }
    QString viewId() const { return m_viewId; }
    const PanelProbe &probe() const { return m_probe; }

    // label: under callgrind, the name under which the change's instructions
    // are written; empty: not counted.
    void arm(const QString &label)
    {
        m_label = label;
        m_startedAt = nowMs();
        m_rowsAt = -1;
        m_picturesAt = -1;
        m_loadingShown = false;
    }

    bool settled() const { return m_rowsAt >= 0 && m_picturesAt >= m_rowsAt; }
    double startedAt() const { return m_startedAt; }
    double rowsAt() const { return m_rowsAt; }
    double picturesAt() const { return m_picturesAt; }
    bool loadingShown() const { return m_loadingShown; }

    std::function<void()> changed;

private:
    void onChanged()
    {
        m_loadingShown = m_loadingShown || m_probe.isLoading();
        if (m_probe.rows().isEmpty() || !m_probe.picturesLoaded())
            return;
        m_picturesAt = nowMs();
        if (!m_label.isEmpty())
            InstructionCount::stop(m_label + QStringLiteral(" pictures"));
        m_label.clear();
        if (changed)
            changed();
    }

    QString m_viewId;
    QString m_label;
    PanelProbe m_probe;
    bool m_valid = false;
    double m_startedAt = -1;
    double m_rowsAt = -1;
    double m_picturesAt = -1;
    bool m_loadingShown = false;
};

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

// The stalls are counted beyond the clock's own tick.
const int stallTickMs = 1;

StallClock::Stall beyondTick(StallClock::Stall stall)
{
    stall.ms -= stallTickMs;
    return stall;
}

// The work of one artist done directly, without the plug-in's queue,
// threads and timers: its two answers read from the cache and extracted,
// four cells filled, and (for a cached artist) their pictures decoded. The
// floor beside which the plug-in's overhead is judged.
class DirectWork
{
public:
    DirectWork()
    {
        for (int i = 0; i < StoreQueries::SimilarItemsLimit; ++i)
            m_cells.push_back(std::make_unique<SvDetailedListItem>());
    }

    // Milliseconds, or a negative value when an answer is not in the cache.
    // withPictures: the cached pictures are decoded into the cells, as for a
    // cached artist; otherwise the cells show the default icon.
    double run(const QString &viewId, const QString &artist, bool withPictures,
               const QString &label)
    {
        StoreEndpoint endpoint = StoreEndpoint::read();
        if (endpoint.territory.isEmpty())
            endpoint.territory = QStringLiteral("gb");
        const QString searchUrl = endpoint.searchUrl(artist);
        const ViewTraits &traits = ViewTraits::of(viewId);
        const StoreQueries::Similar kind = traits.similar;

        InstructionCount::start();
        const double start = nowMs();
        QString id;
        const QList<QStringList> found =
                extract(readCached(searchUrl), StoreQueries::artistSearch());
        for (const QStringList &row : found) {
            if (row.value(0).compare(artist, Qt::CaseInsensitive) == 0) {
                id = row.value(1);
                break;
            }
        }
        if (id.isEmpty())
            return -1;
        const StoreQueries::QuerySet set = StoreQueries::similarItems(kind);
        const QList<QStringList> rows = extract(
                readCached(endpoint.similarUrl(id, traits.similarPath,
                                               StoreQueries::SimilarItemsLimit)),
                set);
        if (rows.isEmpty())
            return -1;
        for (int i = 0; i < rows.size() && i < int(m_cells.size()); ++i) {
            const QStringList row = VelloraModel::rowOf(set, rows.at(i));
            SvDetailedListItem &cell = *m_cells.at(i);
            cell.setTitle(row.value(RowField::Title));
            cell.setSubtitle(row.value(RowField::Subtitle));
            cell.setSideBottomTitle(row.value(RowField::SideText));
            if (withPictures)
                cell.imageWidget()->setImage(
                        QImage(cacheFile("images", row.value(RowField::Picture)), "JPEG"));
            else
                cell.imageWidget()->setImage(QStringLiteral("icon-m-content-audio"));
        }
        const double end = nowMs();
        InstructionCount::stop(label);
        return end - start;
    }

private:
    static QString cacheFile(const char *folder, const QString &url)
    {
        return QDir::homePath() + QStringLiteral("/.cache/raskrestapi/") + QLatin1String(folder)
                + QLatin1Char('/') + CacheFile::nameFor(url);
    }

    static QByteArray readCached(const QString &url)
    {
        QFile file(cacheFile("queries", url));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The rows of one answer, as the plug-in's extraction gives them; the
    // paths are compiled once, as the plug-in keeps them.
    QList<QStringList> extract(const QByteArray &data, const StoreQueries::QuerySet &set)
    {
        if (data.isEmpty() || !XmlStructureCheck::isWithinLimits(data))
            return {};
        QList<XmlQueryPath> &paths = m_compiled[set.columns.join(QLatin1Char(' '))];
        if (paths.isEmpty()) {
            for (const auto &query : set.queries)
                paths.append(XmlQueryPath::compile(query.second));
        }
        QXmlStreamReader reader;
        reader.addExtraNamespaceDeclarations(set.namespaces);
        reader.addData(data);
        const std::function<bool()> never = [] { return false; };
        const QList<QStringList> values = XmlQueryBatchPass(reader, paths, set.limit, never).run();
        QHash<QString, QStringList> byName;
        for (int i = 0; i < set.queries.size() && i < values.size(); ++i)
            byName.insert(set.queries.at(i).first, values.at(i));
        QList<QStringList> rows;
        const qsizetype count = byName.value(set.columns.constFirst()).size();
        for (qsizetype row = 0; row < count; ++row) {
            QStringList values;
            for (const QString &column : set.columns)
                values.append(byName.value(column).value(row));
            rows.append(values);
        }
        return rows;
    }

    std::vector<std::unique_ptr<SvDetailedListItem>> m_cells;
    QHash<QString, QList<XmlQueryPath>> m_compiled;
};

class FlowBench
{
public:
    // store: null where the store's time is not taken out.
    FlowBench(PluginHost &host, const QList<PlayerTrack> &tracks, StoreProcess *store)
        : m_host(host),
          m_store(store),
          m_tracks(tracks)
    {
        const QStringList ids = PluginHost::viewIds();
        for (const QString &id : ids) {
            SvWidget *panel = host.view(id);
            if (!panel)
                continue;
            m_scene.addItem(panel);
            panel->resize(480, 400);
            auto watch = std::make_unique<PanelWatch>(id, panel);
            watch->changed = [this] { onPanelChanged(); };
            m_watches.push_back(std::move(watch));
        }
    }

    ~FlowBench()
    {
        const QList<QGraphicsItem *> panels = m_scene.items();
        for (QGraphicsItem *item : panels) {
            if (!item->parentItem())
                m_scene.removeItem(item);
        }
    }

    bool isValid() const
    {
        return m_watches.size() == 3 && m_tracks.size() >= 6
                && std::all_of(m_watches.cbegin(), m_watches.cend(),
                               [](const auto &w) { return w->isValid(); });
    }

    static void clearCache()
    {
        const QString base = QDir::homePath() + QStringLiteral("/.cache/raskrestapi/");
        for (const char *folder : { "queries", "images" }) {
            QDir dir(base + QLatin1String(folder));
            const QStringList files = dir.entryList(QDir::Files);
            for (const QString &file : files)
                dir.remove(file);
        }
    }

    // Shows the track in the view and waits for its rows and pictures.
    bool visit(int view, int track, ChainFigures *figures = nullptr,
               const QString &label = QString())
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

    // Shows every track in every view once and keeps those that give rows
    // with pictures in all three: the catalog also holds artists that the
    // store knows nothing similar to, which end in the no-matches text.
    bool pickTracks()
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

    const QList<PlayerTrack> &tracks() const { return m_tracks; }

    // Rounds of one track change in each view, each round waited out.
    bool visitMany(int count, int firstTrack)
    {
        for (int done = 0; done < count;) {
            for (int view = 0; view < 3 && done < count; ++view, ++done)
                publish(view, firstTrack + done);
            if (!waitFor([this] { return allSettled(); }))
                return false;
        }
        return true;
    }

    // Each pair of cold artists and the first again, cached, are followed by
    // the same work done directly on the answers they left in the cache:
    // without pictures for the cold chain (it shows its rows before they
    // come), with them for the cached one.
    bool latency(int repetitions, QList<ChainFigures> &cold, QList<ChainFigures> &cached,
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

    // Median lateness of a bare single-shot timer of the checks' length.
    double timerLateness() const { return median(m_timerLateness); }

    // The longest gap, beyond its own interval, between two ticks of a 1 ms
    // timer on the user-interface thread while track changes come every
    // intervalMs, rotating over the views, until every panel has settled.
    bool burst(int changes, int intervalMs, StallClock::Stall *longest, int *pictures)
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

    // The same watch on the event loop with nothing to do, for as long: the
    // stalls that the machine itself causes.
    static StallClock::Stall idleStall(int ms)
    {
        StallClock stalls(stallTickMs);
        stalls.start();
        idle(ms);
        return beyondTick(stalls.stop());
    }

private:
    QString artistOf(int track) const { return m_tracks.at(track % m_tracks.size()).artist; }

    static double bareTimerLateness()
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

    void publish(int view, int track, const QString &label = QString())
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

    static void idle(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    bool allSettled() const
    {
        return std::all_of(m_watches.cbegin(), m_watches.cend(),
                           [](const auto &w) { return w->settled(); });
    }

    void onPanelChanged()
    {
        if (m_waiting && m_done && m_done())
            m_waiting->quit();
    }

    bool waitFor(const std::function<bool()> &done, int timeoutMs = settleTimeoutMs)
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

    PluginHost &m_host;
    StoreProcess *m_store;
    QList<PlayerTrack> m_tracks;
    QHash<int, QString> m_shown;
    QGraphicsScene m_scene;
    std::vector<std::unique_ptr<PanelWatch>> m_watches;
    QEventLoop *m_waiting = nullptr;
    std::function<bool()> m_done;
    QList<double> m_timerLateness;
    DirectWork m_direct;
};

// A host has drawn its own text before it loads an extension; the font
// database it set up then is not the plug-in's cost.
void setUpFonts()
{
    QFontMetrics(QGuiApplication::font()).height();
}

// Plug-in load and the three initialize calls, in a fresh process: a
// second load in the same process would find the library mapped already.
int measureLoadOnce(const QString &pluginFile)
{
    setUpFonts();
    const double start = nowMs();
    PluginHost host;
    if (!host.load(pluginFile))
        return 1;
    host.initializeAll();
    const double end = nowMs();
    out() << QString::number(end - start, 'f', 3) << Qt::endl;
    return 0;
}

// Runs this program again with the arguments; its standard output, or an
// empty array when it failed.
QByteArray runSelf(const QStringList &arguments, int timeoutMs, const QString &wrapper = QString(),
                   const QStringList &wrapperArguments = {})
{
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());
    const QString self = QCoreApplication::applicationFilePath();
    if (wrapper.isEmpty())
        child.start(self, arguments);
    else
        child.start(wrapper, wrapperArguments + QStringList(self) + arguments);
    if (!child.waitForFinished(timeoutMs) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        child.kill();
        return QByteArray();
    }
    return child.readAllStandardOutput();
}

QList<double> measureLoads(int repetitions, const QString &pluginFile)
{
    QList<double> loads;
    for (int i = 0; i < repetitions; ++i) {
        bool ok = false;
        const double ms =
                runSelf({ QStringLiteral("--load-once"), QStringLiteral("--plugin"), pluginFile },
                        60000)
                        .trimmed()
                        .toDouble(&ok);
        if (ok)
            loads << ms;
    }
    return loads;
}

void writeTracks(const QString &fileName, const QList<PlayerTrack> &tracks)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (const PlayerTrack &track : tracks)
        file.write(QStringList { track.artist, track.album, track.song, track.genre }
                           .join(QLatin1Char('\t'))
                           .toUtf8()
                   + '\n');
}

QList<PlayerTrack> readTracks(const QString &fileName)
{
    QList<PlayerTrack> tracks;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return tracks;
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).chopped(1).split('\t');
        tracks.append({ fields.value(0), fields.value(1), fields.value(2), fields.value(3) });
    }
    return tracks;
}

// The points at which a host's resident memory is compared with and without
// the plug-in; after them, one line per further pass.
const char *const memoryPoints[] = { "after load", "after the first artist",
                                     "after 100 artists with pictures" };

// Resident memory of a fresh host at memoryPoints, one "kB" line each, and
// after each further pass of 100 artists: with the plug-in, or (pluginFile
// empty) the same host without it, which does everything but load.
int measureMemory(const QString &pluginFile, const QString &tracksFile, int passes)
{
    setUpFonts();
    PluginHost host;
    QGraphicsScene scene;
    std::unique_ptr<FlowBench> bench;
    if (!pluginFile.isEmpty()) {
        if (!host.load(pluginFile))
            return 1;
        host.initializeAll();
    }
    out() << residentKb() << Qt::endl;
    if (!pluginFile.isEmpty()) {
        bench = std::make_unique<FlowBench>(host, readTracks(tracksFile), nullptr);
        FlowBench::clearCache();
        for (int view = 0; view < 3; ++view) {
            if (!bench->isValid() || !bench->visit(view, 0))
                return 1;
        }
    }
    out() << residentKb() << Qt::endl;
    for (int pass = 0; pass < passes; ++pass) {
        if (bench) {
            FlowBench::clearCache();
            if (!bench->visitMany(visitsPerPass, 1))
                return 1;
        }
        out() << residentKb() << Qt::endl;
    }
    return 0;
}

// Under callgrind: load and the three initialize calls, then the cold and
// cached track changes with their floors, each counted under its label.
int countInstructions(const QString &pluginFile, const QString &tracksFile, int repetitions)
{
    setUpFonts();
    InstructionCount::start();
    PluginHost host;
    if (!host.load(pluginFile))
        return 1;
    host.initializeAll();
    InstructionCount::stop(QStringLiteral("load"));
    FlowBench bench(host, readTracks(tracksFile), nullptr);
    FlowBench::clearCache();
    QList<ChainFigures> cold, cached;
    QList<double> coldFloors, cachedFloors;
    // The first artist is one the counted changes never show.
    return bench.isValid()
                    && bench.visit(0, int(bench.tracks().size()) - 1, nullptr,
                                   QStringLiteral("first"))
                    && bench.latency(repetitions, cold, cached, coldFloors, cachedFloors)
            ? 0
            : 1;
}

struct Row
{
    QString figure;
    double value;
    QString unit;
    double target; // < 0: no target
};

void printTable(const QList<Row> &rows, bool *allPass)
{
    *allPass = true;
    out() << QStringLiteral("%1 %2 %3 %4\n")
                     .arg(QStringLiteral("figure"), -58)
                     .arg(QStringLiteral("median"), 12)
                     .arg(QStringLiteral("target"), 12)
                     .arg(QStringLiteral("result"));
    out() << QString(90, QLatin1Char('-')) << '\n';
    for (const Row &row : rows) {
        const int decimals = row.unit == QLatin1String("ms") || row.unit == QLatin1String("x")
                        || row.unit == QLatin1String("M")
                ? 2
                : 0;
        QString target = QStringLiteral("-");
        QString result;
        if (row.target >= 0) {
            target = QStringLiteral("<= %1 %2").arg(row.target).arg(row.unit);
            const bool pass = row.value <= row.target;
            result = pass ? QStringLiteral("pass") : QStringLiteral("FAIL");
            *allPass = *allPass && pass;
        }
        out() << QStringLiteral("%1 %2 %3 %4\n")
                         .arg(row.figure, -58)
                         .arg(QStringLiteral("%1 %2")
                                      .arg(row.value, 0, 'f', decimals)
                                      .arg(row.unit),
                              12)
                         .arg(target, 12)
                         .arg(result);
    }
    out().flush();
}

template<typename Get>
QList<double> collect(const QList<ChainFigures> &chains, Get get)
{
    QList<double> values;
    for (const ChainFigures &chain : chains)
        values << get(chain);
    return values;
}

} // namespace

struct Options
{
    QString pluginFile;
    QString tracksFile;
    bool loadOnce = false;
    bool memory = false;
    bool noPlugin = false;
    bool instructions = false;
    bool countInstructions = false;
    int repetitions = 15;
    int bursts = 3;
    int burstInterval = 150;
};

// pluginArgument: what PluginHost::takePluginArgument() took, if anything.
Options parseOptions(const QCoreApplication &app, const QString &pluginArgument)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Times the plug-in from a track change to rows and pictures, the longest stall of the\n"
            "user-interface thread in a burst of track changes, the host's resident memory with\n"
            "and without the plug-in, and plug-in load; with --instructions, counts the\n"
            "user-interface thread's instructions under callgrind instead.\n"
            "Runs in a throw-away home with its own session bus and the store emulator."));
    parser.addHelpOption();
    const QCommandLineOption repeatOption(
            QStringLiteral("repeat"),
            QStringLiteral("Cold/cached pairs and load runs (default 15; 3 with --instructions)."),
            QStringLiteral("N"));
    const QCommandLineOption burstsOption(QStringLiteral("bursts"),
                                          QStringLiteral("Bursts and memory passes (default 3)."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption intervalOption(
            QStringLiteral("burst-interval"),
            QStringLiteral("Milliseconds between the burst's track changes "
                           "(default 150)."),
            QStringLiteral("MS"), QStringLiteral("150"));
    const QCommandLineOption instructionsOption(
            QStringLiteral("instructions"),
            QStringLiteral("Count instructions under callgrind (needs valgrind)."));
    const QCommandLineOption homeOption(
            QStringLiteral("home"), QStringLiteral("Run in this home instead of a throw-away one."),
            QStringLiteral("DIR"));
    // Only for --help: the option itself is taken out before Qt sees it.
    const QCommandLineOption pluginOption(
            QStringLiteral("plugin"), QStringLiteral("The plug-in library."),
            QStringLiteral("FILE"), QStringLiteral(VELLORA_PLUGIN_FILE));
    // The runs in child processes.
    QCommandLineOption loadOnceOption(QStringLiteral("load-once"));
    QCommandLineOption memoryOption(QStringLiteral("memory"));
    QCommandLineOption noPluginOption(QStringLiteral("no-plugin"));
    QCommandLineOption countOption(QStringLiteral("count-instructions"));
    QCommandLineOption tracksOption(QStringLiteral("tracks"), QString(), QStringLiteral("FILE"));
    for (QCommandLineOption *internal :
         { &loadOnceOption, &memoryOption, &noPluginOption, &countOption, &tracksOption }) {
        internal->setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(*internal);
    }
    parser.addOptions({ repeatOption, burstsOption, intervalOption, instructionsOption, homeOption,
                        pluginOption });
    parser.process(app);

    Options options;
    options.pluginFile =
            pluginArgument.isEmpty() ? QStringLiteral(VELLORA_PLUGIN_FILE) : pluginArgument;
    options.tracksFile = parser.value(tracksOption);
    options.loadOnce = parser.isSet(loadOnceOption);
    options.memory = parser.isSet(memoryOption);
    options.noPlugin = parser.isSet(noPluginOption);
    options.instructions = parser.isSet(instructionsOption);
    options.countInstructions = parser.isSet(countOption);
    const bool counting = options.instructions || options.countInstructions;
    options.repetitions = std::max(1,
                                   parser.isSet(repeatOption) ? parser.value(repeatOption).toInt()
                                           : counting         ? 3
                                                              : 15);
    options.bursts = std::max(1, parser.value(burstsOption).toInt());
    options.burstInterval = std::max(1, parser.value(intervalOption).toInt());
    return options;
}
// What the runs measured, printed as one table.
struct Figures
{
    QList<ChainFigures> cold;
    QList<ChainFigures> cached;
    QList<double> coldFloors;
    QList<double> cachedFloors;
    double timerLateness = 0;
    QList<double> stalls;
    QList<double> stallsRunning;
    QList<double> longestRuns;
    QList<double> idleStalls;
    QList<double> burstPictures;
    QList<double> loads;
    // Resident kB at memoryPoints, then after each further pass.
    QList<double> hostAlone;
    QList<double> withPlugin;
};

QList<Row> memoryRows(const Figures &figures)
{
    const auto kB = QStringLiteral("kB");
    const auto share = [&figures](qsizetype point) {
        return figures.withPlugin.value(point) - figures.hostAlone.value(point);
    };
    QList<Row> rows;
    for (qsizetype point = 0; point < qsizetype(std::size(memoryPoints)); ++point) {
        rows << Row { QStringLiteral("resident memory %1, host alone").arg(memoryPoints[point]),
                      figures.hostAlone.value(point), kB, -1 }
             << Row { QStringLiteral("  with the plug-in"), figures.withPlugin.value(point), kB,
                      -1 }
             << Row { QStringLiteral("  the plug-in's share"), share(point), kB, -1 };
    }
    const qsizetype last = figures.withPlugin.size() - 1;
    QList<double> growths;
    for (qsizetype pass = std::size(memoryPoints); pass <= last; ++pass)
        growths << figures.withPlugin.at(pass) - figures.withPlugin.at(pass - 1);
    const qsizetype afterFirst = 1;
    const qsizetype afterHundred = 2;
    rows << Row { QStringLiteral("  the plug-in's share after %1 passes of 100").arg(last - 1),
                  share(last), kB, -1 }
         << Row { QStringLiteral("  share after 100 artists less after the first"),
                  share(afterHundred) - share(afterFirst), kB, memoryShareTargetKb }
         << Row { QStringLiteral("growth over a further 100 artists"), median(growths), kB,
                  growthTargetKb };
    return rows;
}

// True when every figure with a target meets it.
bool printFigures(const Figures &figures)
{
    const QList<ChainFigures> &cold = figures.cold;
    const QList<ChainFigures> &cached = figures.cached;
    const auto ms = QStringLiteral("ms");
    // Each overhead beside the same work done directly in the same run, as
    // a ratio pair by pair.
    const auto ratios = [](const QList<ChainFigures> &chains, const QList<double> &floors,
                           int step) {
        QList<double> values;
        for (int i = 0; i < floors.size() && i * step < chains.size(); ++i)
            values << chains.at(i * step).rowsOverhead() / floors.at(i);
        return median(values);
    };
    QList<Row> rows = {
        { QStringLiteral("cold artist: viewStarted to rows"),
          median(collect(cold, [](const ChainFigures &c) { return c.rows; })), ms, -1 },
        { QStringLiteral("  designed checks, as this machine keeps them"),
          median(collect(cold, [](const ChainFigures &c) { return c.designed; })), ms, -1 },
        { QStringLiteral("  store's own time"),
          median(collect(cold, [](const ChainFigures &c) { return c.rowsStore; })), ms, -1 },
        { QStringLiteral("  overhead beyond both"),
          median(collect(cold, [](const ChainFigures &c) { return c.rowsOverhead(); })), ms,
          coldOverheadTargetMs },
        { QStringLiteral("  floor: the same work done directly"), median(figures.coldFloors), ms,
          -1 },
        { QStringLiteral("  overhead / floor"), ratios(cold, figures.coldFloors, 2),
          QStringLiteral("x"), -1 },
        { QStringLiteral("cold artist: viewStarted to pictures in rows"),
          median(collect(cold, [](const ChainFigures &c) { return c.pictures; })), ms, -1 },
        { QStringLiteral("  store's own time"),
          median(collect(cold, [](const ChainFigures &c) { return c.picturesStore; })), ms, -1 },
        { QStringLiteral("  overhead beyond designed delays and store"),
          median(collect(cold, [](const ChainFigures &c) { return c.picturesOverhead(); })), ms,
          -1 },
        { QStringLiteral("cached artist: viewStarted to rows"),
          median(collect(cached, [](const ChainFigures &c) { return c.rows; })), ms, -1 },
        { QStringLiteral("  designed checks, as this machine keeps them"),
          median(collect(cached, [](const ChainFigures &c) { return c.designed; })), ms, -1 },
        { QStringLiteral("  store's own time"),
          median(collect(cached, [](const ChainFigures &c) { return c.rowsStore; })), ms, -1 },
        { QStringLiteral("  overhead beyond both"),
          median(collect(cached, [](const ChainFigures &c) { return c.rowsOverhead(); })), ms,
          cachedOverheadTargetMs },
        { QStringLiteral("  floor: the same work done directly"), median(figures.cachedFloors), ms,
          -1 },
        { QStringLiteral("  overhead / floor"), ratios(cached, figures.cachedFloors, 1),
          QStringLiteral("x"), cachedRatioTarget },
        { QStringLiteral("cached artist: viewStarted to pictures in rows"),
          median(collect(cached, [](const ChainFigures &c) { return c.pictures; })), ms, -1 },
        { QStringLiteral("lateness of a bare 300 ms timer on this machine"), figures.timerLateness,
          ms, -1 },
        { QStringLiteral("longest UI-thread stall, 100-track burst"), median(figures.stalls), ms,
          -1 },
        { QStringLiteral("  of which the UI thread was running"), median(figures.stallsRunning), ms,
          -1 },
        { QStringLiteral("  floor: longest stall of an idle event loop, as long"),
          median(figures.idleStalls), ms, -1 },
        { QStringLiteral("  longest the UI thread ran between two ticks"),
          median(figures.longestRuns), ms, stallTargetMs },
        { QStringLiteral("  pictures served per burst"), median(figures.burstPictures), QString(),
          -1 },
    };
    rows += memoryRows(figures);
    rows << Row { QStringLiteral("plug-in load + three initialize calls"), median(figures.loads),
                  ms, loadTargetMs };
    bool allPass = true;
    printTable(rows, &allPass);
    out() << "\n"
          << cold.size() << " cold and " << cached.size() << " cached runs, "
          << figures.stalls.size() << " bursts, " << figures.withPlugin.size() - 2
          << " memory passes, " << figures.loads.size() << " loads" << Qt::endl;
    return allPass;
}

// The kB lines of a memory run, or nothing when it failed.
QList<double> memoryRun(const QStringList &arguments)
{
    QList<double> values;
    const QList<QByteArray> lines = runSelf(arguments, 600000).split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            values << line.toDouble();
    }
    return values;
}

// The instructions under each label that the user-interface thread spent,
// from callgrind's files in folder: one list entry per count. Rows arrive
// one by one, each writing "<change> rows"; the change's count to its rows is
// their sum, and to its pictures that sum and its "<change> pictures".
QHash<QString, QList<double>> readInstructionCounts(const QString &folder)
{
    // Thread 1, the user-interface thread, writes callgrind.out.<pid>.<dump>-01.
    static const QRegularExpression dumpFile(
            QStringLiteral("^callgrind\\.out\\.\\d+\\.(\\d+)-01$"));
    const QDir dir(folder);
    QMap<int, std::pair<QString, double>> dumps;
    const QStringList files = dir.entryList(QDir::Files);
    for (const QString &name : files) {
        const QRegularExpressionMatch match = dumpFile.match(name);
        QFile file(dir.filePath(name));
        if (!match.hasMatch() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QString label;
        double total = -1;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            if (line.startsWith("desc: Trigger: Client Request: "))
                label = QString::fromUtf8(line.mid(31));
            else if (line.startsWith("totals: "))
                total = line.mid(8).toDouble();
        }
        if (!label.isEmpty() && total >= 0)
            dumps.insert(match.captured(1).toInt(), { label, total });
    }
    QHash<QString, QList<double>> counts;
    double toRows = 0;
    for (const auto &[label, total] : std::as_const(dumps)) {
        if (label.endsWith(QLatin1String(" rows"))) {
            toRows += total;
        } else if (label.endsWith(QLatin1String(" pictures"))) {
            counts[label.chopped(9) + QStringLiteral(" rows")] << toRows;
            counts[label] << toRows + total;
            toRows = 0;
        } else {
            counts[label] << total;
        }
    }
    return counts;
}

// bench_flow --instructions: the work counted under callgrind in a child
// (the store stays outside it), then one table of millions of instructions.
int runInstructions(const Options &options, const QList<PlayerTrack> &tracks)
{
    QTemporaryDir folder;
    const QString tracksFile = folder.filePath(QStringLiteral("tracks"));
    writeTracks(tracksFile, tracks);
    out() << "bench_flow: counting instructions under callgrind, " << options.repetitions
          << " cold/cached runs" << Qt::endl;
    const QByteArray counted = runSelf(
            { QStringLiteral("--count-instructions"), QStringLiteral("--tracks"), tracksFile,
              QStringLiteral("--plugin"), options.pluginFile, QStringLiteral("--repeat"),
              QString::number(options.repetitions) },
            3600 * 1000, QStringLiteral("valgrind"),
            { QStringLiteral("--tool=callgrind"), QStringLiteral("--separate-threads=yes"),
              QStringLiteral("--callgrind-out-file=%1/callgrind.out.%p").arg(folder.path()) });
    const QHash<QString, QList<double>> counts = readInstructionCounts(folder.path());
    if (!counted.contains("counted") || counts.isEmpty()) {
        out() << "bench_flow: the run under callgrind failed (is valgrind installed?)" << Qt::endl;
        return 1;
    }
    const auto millions = [&counts](const QString &label) {
        return median(counts.value(label)) / 1e6;
    };
    const auto M = QStringLiteral("M");
    QList<Row> rows = {
        { QStringLiteral("plug-in load + three initialize calls"), millions(QStringLiteral("load")),
          M, loadInstructionsTargetM },
        { QStringLiteral("first artist after load (player view): to rows"),
          millions(QStringLiteral("first rows")), M, -1 },
        { QStringLiteral("  to pictures in rows"), millions(QStringLiteral("first pictures")), M,
          -1 },
    };
    const QStringList views = PluginHost::viewIds();
    for (const QString &viewId : views) {
        const QString view = PluginHost::viewName(viewId);
        const QString cold = view + QStringLiteral(" cold");
        const QString cached = view + QStringLiteral(" cached");
        const double cachedFloor = millions(cached + QStringLiteral(" floor"));
        rows << Row { QStringLiteral("%1 view, cold artist: to rows").arg(view),
                      millions(cold + QStringLiteral(" rows")), M, -1 }
             << Row { QStringLiteral("  to pictures in rows"),
                      millions(cold + QStringLiteral(" pictures")), M, -1 }
             << Row { QStringLiteral("  floor: the same work done directly"),
                      millions(cold + QStringLiteral(" floor")), M, -1 }
             << Row { QStringLiteral("%1 view, cached artist: to rows").arg(view),
                      millions(cached + QStringLiteral(" rows")), M, -1 }
             << Row { QStringLiteral("  to pictures in rows"),
                      millions(cached + QStringLiteral(" pictures")), M, warmInstructionsTargetM }
             << Row { QStringLiteral("  floor: the same work done directly"), cachedFloor, M, -1 }
             << Row { QStringLiteral("  to pictures / floor"),
                      millions(cached + QStringLiteral(" pictures")) / cachedFloor,
                      QStringLiteral("x"), warmRatioTarget };
    }
    bool allPass = true;
    out() << "Millions of instructions the user-interface thread ran (callgrind), medians of "
          << options.repetitions << " runs per view\n\n";
    printTable(rows, &allPass);
    return allPass ? 0 : 1;
}

// Loads the plug-in and runs every measurement against the store; the exit status.
int runBench(const Options &options, StoreProcess &store)
{
    PluginHost host;
    if (!host.load(options.pluginFile)) {
        out() << "bench_flow: " << host.errorString() << Qt::endl;
        return 1;
    }
    host.initializeAll();

    FlowBench bench(host, store.sampleTracks(1000), &store);
    if (!bench.isValid()) {
        out() << "bench_flow: the panels are not as expected" << Qt::endl;
        return 1;
    }

    const auto fail = [](const char *what) {
        out() << "bench_flow: " << what << " did not settle within " << settleTimeoutMs / 1000
              << " s" << Qt::endl;
        return 1;
    };

    // Warm-up, which also finds the artists with similar items.
    out() << "bench_flow: warming up" << Qt::endl;
    if (!bench.pickTracks())
        return fail("the warm-up");
    out() << "bench_flow: " << bench.tracks().size() << " artists with similar items" << Qt::endl;
    if (options.instructions)
        return runInstructions(options, bench.tracks());

    Figures figures;
    out() << "bench_flow: " << options.repetitions << " cold/cached runs" << Qt::endl;
    if (!bench.latency(options.repetitions, figures.cold, figures.cached, figures.coldFloors,
                       figures.cachedFloors))
        return fail("a cold or cached artist");
    figures.timerLateness = bench.timerLateness();

    out() << "bench_flow: " << options.bursts << " bursts of 100 track changes, one every "
          << options.burstInterval << " ms, pictures of " << hugePictureSize.width() << " x "
          << hugePictureSize.height() << Qt::endl;
    for (int i = 0; i < options.bursts; ++i) {
        StallClock::Stall stall;
        int pictures = 0;
        if (!bench.burst(100, options.burstInterval, &stall, &pictures))
            return fail("a burst");
        figures.stalls << stall.ms;
        figures.stallsRunning << stall.runningMs;
        figures.longestRuns << stall.longestRunMs;
        figures.burstPictures << pictures;
        figures.idleStalls << FlowBench::idleStall(100 * options.burstInterval).ms;
    }

    out() << "bench_flow: resident memory of a fresh host with and without the plug-in, "
          << options.bursts << " passes of " << visitsPerPass << " artists with pictures of "
          << hugePictureSize.width() << " x " << hugePictureSize.height() << Qt::endl;
    QTemporaryDir folder;
    const QString tracksFile = folder.filePath(QStringLiteral("tracks"));
    writeTracks(tracksFile, bench.tracks());
    store.forgetBusy();
    store.serveHugePictures(hugePictureSize);
    const QStringList memoryArguments = { QStringLiteral("--memory"), QStringLiteral("--tracks"),
                                          tracksFile, QStringLiteral("--bursts"),
                                          QString::number(options.bursts) };
    figures.withPlugin = memoryRun(
            memoryArguments + QStringList { QStringLiteral("--plugin"), options.pluginFile });
    figures.hostAlone = memoryRun(memoryArguments + QStringList { QStringLiteral("--no-plugin") });
    store.servePlainPictures();
    if (figures.withPlugin.size() != qsizetype(std::size(memoryPoints)) + options.bursts - 1
        || figures.hostAlone.size() != figures.withPlugin.size())
        return fail("a memory run");

    out() << "bench_flow: " << options.repetitions << " plug-in loads" << Qt::endl;
    figures.loads = measureLoads(options.repetitions, options.pluginFile);

    out() << "bench_flow: load average at end " << loadAverage() << "\n" << Qt::endl;
    return printFigures(figures) ? 0 : 1;
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], StoreProcess::Option) == 0)
        return StoreProcess::serve(argc, argv);
    PlayerEnvironment environment(argc, argv);
    if (const int status = environment.isolate(); status >= 0)
        return status;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty(SvLocale::translationPathVariable))
        qputenv(SvLocale::translationPathVariable, VELLORA_TRANSLATIONS_DIR);

    const QString pluginArgument = PluginHost::takePluginArgument(&argc, argv);
    QApplication app(argc, argv);
    const Options options = parseOptions(app, pluginArgument);
    if (options.loadOnce)
        return measureLoadOnce(options.pluginFile);
    if (options.memory)
        return measureMemory(options.noPlugin ? QString() : options.pluginFile, options.tracksFile,
                             options.bursts);
    if (options.countInstructions) {
        const int status =
                countInstructions(options.pluginFile, options.tracksFile, options.repetitions);
        if (status == 0)
            out() << "counted" << Qt::endl;
        return status;
    }
    if (!environment.isSandboxed()) {
        // The bench clears the answer and picture cache and writes the store
        // client's settings file: never in a home of value.
        out() << "bench_flow: runs only in its own throw-away home (leave out --home)" << Qt::endl;
        return 2;
    }

    out() << "bench_flow: load average at start " << loadAverage() << Qt::endl;
    StoreProcess store;
    if (!store.start(QCoreApplication::applicationFilePath())) {
        out() << "bench_flow: " << store.errorString() << Qt::endl;
        return 1;
    }
    return runBench(options, store);
}
