#pragma once

#include <QList>
#include <QString>

// Plug-in load and the three initialize calls, in a fresh process each time:
// a second load in the same process would find the library mapped already.

// The child's side: loads once and prints the milliseconds.
int measureLoadOnce(const QString &pluginFile);
// Milliseconds of each load that succeeded.
QList<double> measureLoads(int repetitions, const QString &pluginFile);
