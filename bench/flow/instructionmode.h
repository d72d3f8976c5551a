#pragma once

#include <QList>
#include <QString>

#include "playertrack.h"

// bench_flow --instructions: the user-interface thread's instructions,
// counted under callgrind.

// The child's side, under callgrind: load and the three initialize calls,
// then the cold and cached track changes with their floors, each counted
// under its label.
int countInstructions(const QString &pluginFile, const QString &tracksFile, int repetitions);
// The work counted in a child (the store stays outside it), then one table
// of millions of instructions; the exit status.
int runInstructions(const QString &pluginFile, int repetitions, const QList<PlayerTrack> &tracks);
