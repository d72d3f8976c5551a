// End-to-end figures of the plug-in as the music player drives it: loaded
// through QPluginLoader with its three views, against the store emulator on
// 127.0.0.1. The store runs in a process of its own, as a remote store would:
// the time it is busy is taken out of the plug-in's figures, and its memory
// is never the host's.

#include <QApplication>
#include <QCommandLineParser>

#include "flowcommon.h"
#include "flowoptions.h"
#include "instructionmode.h"
#include "loadmode.h"
#include "memorymode.h"
#include "playerenvironment.h"
#include "storeprocess.h"
#include "svlocale.h"
#include "timedmode.h"

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], StoreProcess::Option) == 0)
        return StoreProcess::serve(argc, argv);
    PlayerEnvironment environment(argc, argv);
    const QStringList arguments = environment.arguments();
    QCommandLineParser parser;
    Options options;
    QString error;
    if (!parseOptions(&parser, arguments, &options, &error)) {
        out() << "bench_flow: " << error << Qt::endl;
        return 2;
    }
    if (const int status = environment.isolate(options.home); status >= 0)
        return status;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty(SvLocale::translationPathVariable))
        qputenv(SvLocale::translationPathVariable, VELLORA_TRANSLATIONS_DIR);

    // Qt would take --plugin for an option of its own.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (options.help)
        parser.process(arguments);
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
