#pragma once

#include <QString>
#include <QStringList>

// The command line of bench_flow, read before the application object exists.
struct Options
{
    bool help = false; // answered once the application object exists
    QString home; // empty: a throw-away one
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

class QCommandLineParser;

// False on a mistake, said in error; the parser keeps the options for --help.
bool parseOptions(QCommandLineParser *parser, const QStringList &arguments, Options *options,
                  QString *error);
