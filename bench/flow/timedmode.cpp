#include "timedmode.h"

#include <QTemporaryDir>

#include "flowbench.h"
#include "flowcommon.h"
#include "instructionmode.h"
#include "loadmode.h"
#include "memorymode.h"
#include "pluginhost.h"
#include "storeprocess.h"

namespace {

// Targets on the two-core reference machine.
const double coldOverheadTargetMs = 3;
const double cachedOverheadTargetMs = 1;
const double cachedRatioTarget = 3;
const double stallTargetMs = 2;
const double loadTargetMs = 15;

template<typename Get>
QList<double> collect(const QList<ChainFigures> &chains, Get get)
{
    QList<double> values;
    for (const ChainFigures &chain : chains)
        values << get(chain);
    return values;
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
    rows += memoryRows(figures.hostAlone, figures.withPlugin);
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

} // namespace

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
        return runInstructions(options.pluginFile, options.repetitions, bench.tracks());

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
