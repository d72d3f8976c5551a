#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class SvImageWidget;
class VelloraView;

// Measures how long the event loop of the thread it lives on goes without
// turning: a 10 ms timer that notes the longest gap between two ticks.
class UiGapWatch : public QObject
{
    Q_OBJECT

public:
    explicit UiGapWatch(QObject *parent = nullptr);

    void start();
    // Milliseconds; the tick interval is part of every gap.
    qint64 stop();

private slots:
    void onTick();

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Counts debug lines that contain a text, so that a test can wait for events
// that only leave a line in the log (a picture that could not be decoded).
class DebugLineCounter
{
public:
    explicit DebugLineCounter(const QString &text);
    ~DebugLineCounter();
    int count() const;
};

// One line of the table that the fault matrix prints at the end.
struct FaultOutcome {
    QString caseName;
    QString view;
    QString outcome;
    qint64 longestGap = 0;
    QString cache;
    QString recovery;
};

namespace FaultHarness {

// The event loop standing still longer than this is a freeze, not noise.
const qint64 UiGapCeilingMs = 500;
QString describeGap(qint64 longestGap);

// Notes in *shown whether the view's loading row ever shows the no-matches text.
void noteNoMatchesShown(VelloraView &view, bool *shown);

// The process's peak resident memory in bytes since the last reset.
void resetPeakMemory();
qint64 peakMemory();

// Everything in the answer and picture folders that should not be there:
// names that are not cache names, answers that are not whole well-formed
// store documents, pictures that are not 80 x 80 JPEG thumbnails. Symbolic
// links are reported unless listed in allowedLinks.
QStringList auditCache(const QStringList &allowedLinks = QStringList());
QString describeAudit(const QStringList &problems);

void addOutcome(const FaultOutcome &outcome);
// Prints every outcome added in this process as one table on stdout.
void printOutcomes(const QString &title);

QString viewLabel(const QString &viewName);
QString defaultIconOf(const QString &viewName);
// True when the panel shows its store row and list with rows in it.
bool showsResults(const VelloraView &view);
// What the view shows now, in words for the table.
QString describeView(const VelloraView &view);
// True when the list has rows and every row's picture passes the check.
bool allCellsShow(const VelloraView &view, const std::function<bool(const SvImageWidget *)> &check);
bool isThumbnail(const SvImageWidget *image);
// True when every row shows a downloaded 80 x 80 thumbnail.
bool allThumbnails(const VelloraView &view);

}
