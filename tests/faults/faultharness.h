#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "messagerecorder.h"
#include "panelprobe.h"
#include "stallclock.h"
#include "velloraview.h"

class VelloraModel;

// A fresh panel of one view, what it shows, and what happened on the way.
struct PanelRun
{
    explicit PanelRun(const QString &viewName);

    VelloraModel *model() const;
    // The picture field of each row: a store URL until downloaded.
    QStringList pictures() const;

    const QString viewName;
    VelloraView view;
    PanelProbe probe;
    MessageRecorder messages;
    bool noMatchesShown = false;
};

// What a run should come to, in words and as a check.
struct Outcome
{
    QString label;
    std::function<bool(const PanelRun &)> reached;
};

// How a wait for an outcome went: whether it came, what the panel showed in words, and the
// longest time the event loop stood still meanwhile.
struct Awaited
{
    bool reached = false;
    QString shown;
    qint64 longestGap = 0;
};

namespace FaultHarness {

// How often the stall clock of a fault row ticks.
const int StallTickMs = 10;

// The event loop standing still longer than this is a freeze, not noise.
const qint64 UiGapCeilingMs = 500;
// How long a panel may take to show the outcome of a fault.
const int OutcomeWaitMs = 15000;
// Limits short enough that stalled and dripping answers end within seconds.
void shortenLimits();
QString describeGap(qint64 longestGap);

// The artist whose answers the fault rows spoil.
QString artist();
QString viewLabel(const QString &viewName);
QString defaultIconOf(const QString &viewName);
bool isThumbnail(const PanelProbe::Row &row);

// Rows, every picture shown as an 80 x 80 thumbnail.
Outcome thumbnails();
// The no-matches text, then an empty panel.
Outcome noMatches();
// Rows whose pictures stay the view's default icon, once each picture has
// left the debug line.
Outcome defaultIcons(const QString &debugLine);
// Hands the artist to the panel and waits for the outcome.
Awaited await(PanelRun &run, const Outcome &expect, const QString &artist);
// A fresh panel of the view shows the artist with thumbnails, and the cache is clean.
bool recovers(const QString &viewName, const QString &artist);

// The process's peak resident memory in bytes since the last reset.
void resetPeakMemory();
qint64 peakMemory();

// Everything in the answer and picture folders that should not be there:
// names that are not cache names, answers that are not whole well-formed
// store documents, pictures that are not 80 x 80 JPEG thumbnails. Symbolic
// links are reported unless listed in allowedLinks.
QStringList auditCache(const QStringList &allowedLinks = QStringList());
QString describeAudit(const QStringList &problems);

} // namespace FaultHarness
