#include "instructionmode.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "flowbench.h"
#include "flowcommon.h"
#include "pluginhost.h"

namespace {

// Millions of instructions: a handset core retires about 10^9 a second, so
// 3 M is 3 ms of a 16.7 ms frame. Load and three initialize calls counted
// 14.7 M before the accessibility work.
const double loadInstructionsTargetM = 14.7;
const double warmInstructionsTargetM = 3;
const double warmRatioTarget = 1.5;

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

} // namespace

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

int runInstructions(const QString &pluginFile, int repetitions, const QList<PlayerTrack> &tracks)
{
    QTemporaryDir folder;
    const QString tracksFile = folder.filePath(QStringLiteral("tracks"));
    writeTracks(tracksFile, tracks);
    out() << "bench_flow: counting instructions under callgrind, " << repetitions
          << " cold/cached runs" << Qt::endl;
    const QByteArray counted = runSelf(
            { QStringLiteral("--count-instructions"), QStringLiteral("--tracks"), tracksFile,
              QStringLiteral("--plugin"), pluginFile, QStringLiteral("--repeat"),
              QString::number(repetitions) },
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
          << repetitions << " runs per view\n\n";
    printTable(rows, &allPass);
    return allPass ? 0 : 1;
}
