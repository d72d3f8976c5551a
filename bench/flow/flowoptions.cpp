#include "flowoptions.h"

#include <QCommandLineParser>

#include <algorithm>

bool parseOptions(QCommandLineParser *parser, const QStringList &arguments, Options *options,
                  QString *error)
{
    parser->setApplicationDescription(QStringLiteral(
            "Times the plug-in from a track change to rows and pictures, the longest stall of the\n"
            "user-interface thread in a burst of track changes, the host's resident memory with\n"
            "and without the plug-in, and plug-in load; with --instructions, counts the\n"
            "user-interface thread's instructions under callgrind instead.\n"
            "Runs in a throw-away home with its own session bus and the store emulator."));
    parser->addHelpOption();
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
        parser->addOption(*internal);
    }
    parser->addOptions({ repeatOption, burstsOption, intervalOption, instructionsOption, homeOption,
                         pluginOption });
    if (!parser->parse(arguments)) {
        *error = parser->errorText();
        return false;
    }

    options->help = parser->isSet(QStringLiteral("help"));
    options->home = parser->value(homeOption);
    options->pluginFile = parser->value(pluginOption);
    options->tracksFile = parser->value(tracksOption);
    options->loadOnce = parser->isSet(loadOnceOption);
    options->memory = parser->isSet(memoryOption);
    options->noPlugin = parser->isSet(noPluginOption);
    options->instructions = parser->isSet(instructionsOption);
    options->countInstructions = parser->isSet(countOption);
    const bool counting = options->instructions || options->countInstructions;
    options->repetitions =
            std::max(1,
                     parser->isSet(repeatOption) ? parser->value(repeatOption).toInt()
                             : counting          ? 3
                                                 : 15);
    options->bursts = std::max(1, parser->value(burstsOption).toInt());
    options->burstInterval = std::max(1, parser->value(intervalOption).toInt());
    return true;
}
