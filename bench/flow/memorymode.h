#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <iterator>

#include "flowcommon.h"

// The points at which a host's resident memory is compared with and without
// the plug-in; after them, one line per further pass.
inline const char *const memoryPoints[] = { "after load", "after the first artist",
                                            "after 100 artists with pictures" };

inline constexpr qsizetype memoryPointCount = qsizetype(std::size(memoryPoints));

// The child's side: resident memory of a fresh host at memoryPoints, one
// "kB" line each, and after each further pass of 100 artists: with the
// plug-in, or (pluginFile empty) the same host without it, which does
// everything but load.
int measureMemory(const QString &pluginFile, const QString &tracksFile, int passes);
// The kB lines of a memory run, or nothing when it failed.
QList<double> memoryRun(const QStringList &arguments);
// The rows of the memory table, from the host's resident kB alone and with
// the plug-in at memoryPoints and after each further pass.
QList<Row> memoryRows(const QList<double> &hostAlone, const QList<double> &withPlugin);
