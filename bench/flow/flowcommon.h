#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <valgrind/callgrind.h>

#include "playertrack.h"

// What every mode of bench_flow shares: its output, its clock and memory
// readings, the table its figures are printed in, and runs of itself.

// The queue check that the plug-in defers while no loading row shows.
inline constexpr double designedDelayMs = 300;
inline constexpr int settleTimeoutMs = 30000;
inline constexpr int visitsPerPass = 100;
inline const QSize hugePictureSize(3000, 2250);

QTextStream &out();

// The store's process keeps its busy time on the same clock.
double nowMs();

// Under callgrind (bench_flow --instructions), the instructions of a stretch
// of work: counting starts afresh at start() and stop() writes what each
// thread spent under the label. Elsewhere both cost nothing.
struct InstructionCount
{
    static void start() { CALLGRIND_ZERO_STATS; }
    static void stop(const QString &label) { CALLGRIND_DUMP_STATS_AT(label.toUtf8().constData()); }

    // What the bench does itself while it lives, looking at the panel, is
    // not counted.
    struct Pause
    {
        Pause() { CALLGRIND_TOGGLE_COLLECT; }
        ~Pause() { CALLGRIND_TOGGLE_COLLECT; }
        Pause(const Pause &) = delete;
        Pause &operator=(const Pause &) = delete;
    };
};

double median(QList<double> values);
qint64 residentKb();
QString loadAverage();

// A host has drawn its own text before it loads an extension; the font
// database it set up then is not the plug-in's cost.
void setUpFonts();

// Runs this program again with the arguments; its standard output, or an
// empty array when it failed.
QByteArray runSelf(const QStringList &arguments, int timeoutMs, const QString &wrapper = QString(),
                   const QStringList &wrapperArguments = {});

// A track as one line of tab-separated fields, as the tracks file and the
// store process carry it.
QString trackLine(const PlayerTrack &track);
PlayerTrack trackOfLine(const QString &line);
void writeTracks(const QString &fileName, const QList<PlayerTrack> &tracks);
QList<PlayerTrack> readTracks(const QString &fileName);

struct Row
{
    QString figure;
    double value;
    QString unit;
    double target; // < 0: no target
};

// Prints the rows with their targets; allPass: whether each target is met.
void printTable(const QList<Row> &rows, bool *allPass);
