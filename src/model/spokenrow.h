#pragma once

#include <QStringList>

#include "storequeries.h"

// A recommendation row as a screen reader says it: its fields in reading
// order, with the side text in words ("2 minutes 7 seconds", "12 tracks")
// instead of the figures the panel shows.
namespace SpokenRow {

QString text(const QStringList &values, StoreQueries::Similar kind);

} // namespace SpokenRow
