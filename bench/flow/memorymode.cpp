#include "memorymode.h"

#include <QGraphicsScene>

#include <memory>

#include "flowbench.h"
#include "pluginhost.h"

namespace {

const double growthTargetKb = 1024;
const double memoryShareTargetKb = 5 * 1024;

} // namespace

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

QList<Row> memoryRows(const QList<double> &hostAlone, const QList<double> &withPlugin)
{
    const auto kB = QStringLiteral("kB");
    const auto share = [&hostAlone, &withPlugin](qsizetype point) {
        return withPlugin.value(point) - hostAlone.value(point);
    };
    QList<Row> rows;
    for (qsizetype point = 0; point < qsizetype(std::size(memoryPoints)); ++point) {
        rows << Row { QStringLiteral("resident memory %1, host alone").arg(memoryPoints[point]),
                      hostAlone.value(point), kB, -1 }
             << Row { QStringLiteral("  with the plug-in"), withPlugin.value(point), kB, -1 }
             << Row { QStringLiteral("  the plug-in's share"), share(point), kB, -1 };
    }
    const qsizetype last = withPlugin.size() - 1;
    QList<double> growths;
    for (qsizetype pass = std::size(memoryPoints); pass <= last; ++pass)
        growths << withPlugin.at(pass) - withPlugin.at(pass - 1);
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
