#include "loadmode.h"

#include <QStringList>

#include "flowcommon.h"
#include "pluginhost.h"

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
