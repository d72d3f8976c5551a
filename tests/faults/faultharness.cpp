#include "faultharness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QHash>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

#include "cachefolder.h"
#include "promotionnetworkapi.h"
#include "rowfield.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "viewnames.h"

namespace {

const int FailureDelay = 100;

bool allRows(const PanelProbe &probe, const std::function<bool(const PanelProbe::Row &)> &check)
{
    const QList<PanelProbe::Row> rows = probe.rows();
    return probe.state() == PanelProbe::State::Results
            && std::all_of(rows.cbegin(), rows.cend(), check);
}

bool isCacheName(const QString &name)
{
    static const QRegularExpression md5(QStringLiteral("^[0-9a-f]{32}$"));
    return md5.match(name).hasMatch();
}

QString checkAnswer(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable");
    const QByteArray data = file.read(16 * 1024 * 1024);
    if (data.isEmpty())
        return QStringLiteral("empty");
    QXmlStreamReader reader(data);
    int elements = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::DTD)
            return QStringLiteral("has a DTD");
        if (token == QXmlStreamReader::StartElement)
            ++elements;
    }
    if (reader.hasError())
        return QStringLiteral("not whole XML (%1)").arg(reader.errorString());
    return elements > 0 ? QString() : QStringLiteral("no elements");
}

QString checkPicture(const QString &path)
{
    QImageReader reader(path);
    if (reader.format() != "jpeg")
        return QStringLiteral("not a JPEG");
    const QImage image = reader.read();
    if (image.isNull())
        return QStringLiteral("undecodable");
    if (image.size() != QSize(80, 80))
        return QStringLiteral("%1 x %2").arg(image.width()).arg(image.height());
    return QString();
}

// What the panel shows now, in words for a failure message.
QString describe(const PanelProbe &probe)
{
    if (probe.state() == PanelProbe::State::NoMatches)
        return QStringLiteral("no-matches text");
    if (probe.state() == PanelProbe::State::Pending)
        return probe.isLoading() ? QStringLiteral("loading row") : QStringLiteral("nothing");
    const QList<PanelProbe::Row> rows = probe.rows();
    const auto thumbnails = std::count_if(rows.cbegin(), rows.cend(), FaultHarness::isThumbnail);
    const auto icons = std::count_if(rows.cbegin(), rows.cend(), [](const PanelProbe::Row &row) {
        return !row.iconId.isEmpty();
    });
    return QStringLiteral("%1 rows, %2 thumbnails, %3 default icons")
            .arg(rows.size())
            .arg(thumbnails)
            .arg(icons);
}

} // namespace

PanelRun::PanelRun(const QString &viewName) : viewName(viewName), view(viewName), probe(&view)
{
    model()->setFailureDelay(FailureDelay);
    // The text stands only until the failure delay ends.
    QObject::connect(model(), &VelloraModel::loadingTextChanged, &view, [this] {
        noMatchesShown = noMatchesShown || probe.state() == PanelProbe::State::NoMatches;
    });
}

VelloraModel *PanelRun::model() const
{
    return view.container()->promotionModel();
}

QStringList PanelRun::pictures() const
{
    QStringList pictures;
    for (int row = 0; row < model()->rowCount(); ++row)
        pictures << model()->data(model()->index(row, 0), RowField::role(RowField::Picture))
                            .toString();
    return pictures;
}

namespace FaultHarness {

QStringList auditCache(const QStringList &allowedLinks)
{
    QStringList problems;
    for (const QString &folder : { QStringLiteral("queries"), QStringLiteral("images") }) {
        const QDir dir(CacheFolder::folder(folder));
        const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden
                                                        | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            const QString label = folder + QLatin1Char('/') + entry.fileName();
            if (entry.isSymLink()) {
                if (!allowedLinks.contains(entry.absoluteFilePath()))
                    problems << label + QStringLiteral(": symbolic link");
                continue;
            }
            if (!isCacheName(entry.fileName()) || !entry.isFile()) {
                problems << label + QStringLiteral(": stray entry");
                continue;
            }
            const QString problem = folder == QLatin1String("queries")
                    ? checkAnswer(entry.filePath())
                    : checkPicture(entry.filePath());
            if (!problem.isEmpty())
                problems << label + QStringLiteral(": ") + problem;
        }
    }
    return problems;
}

QString describeAudit(const QStringList &problems)
{
    return problems.isEmpty() ? QStringLiteral("clean") : problems.join(QStringLiteral("; "));
}

void shortenLimits()
{
    // The drip's one byte a second stays under the pause limit, so only the
    // overall deadline can end it.
    PromotionNetworkAPI::instance()->setTransferTimeout(1200);
    PromotionNetworkAPI::instance()->setDownloadDeadline(2500);
}

QString artist()
{
    return QStringLiteral("The Beatles");
}

QString viewLabel(const QString &viewName)
{
    static const QHash<QString, QString> labels = { { ViewNames::Player, QStringLiteral("player") },
                                                    { ViewNames::Album, QStringLiteral("album") },
                                                    { ViewNames::Artist,
                                                      QStringLiteral("artist") } };
    return labels.value(viewName, QStringLiteral("genre"));
}

QString defaultIconOf(const QString &viewName)
{
    return viewName == ViewNames::Artist ? QStringLiteral("icon-m-content-artist")
                                         : QStringLiteral("icon-m-content-album");
}

bool isThumbnail(const PanelProbe::Row &row)
{
    return row.iconId.isEmpty() && row.pictureSize == QSize(80, 80);
}

Outcome thumbnails()
{
    return { QStringLiteral("rows with thumbnails"),
             [](const PanelRun &run) { return allRows(run.probe, isThumbnail); } };
}

Outcome noMatches()
{
    return { QStringLiteral("the no-matches text"), [](const PanelRun &run) {
                return run.noMatchesShown && !run.probe.isLoading()
                        && run.probe.state() != PanelProbe::State::Results;
            } };
}

Outcome defaultIcons(const QString &debugLine)
{
    return { QStringLiteral("rows with default icons"), [debugLine](const PanelRun &run) {
                const QString icon = defaultIconOf(run.viewName);
                const QStringList pictures = run.pictures();
                return run.messages.count(debugLine)
                        >= QSet<QString>(pictures.cbegin(), pictures.cend()).size()
                        && allRows(run.probe, [&icon](const PanelProbe::Row &row) {
                               return row.iconId == icon;
                           });
            } };
}

Awaited await(PanelRun &run, const Outcome &expect, const QString &artist)
{
    StallClock stalls(StallTickMs);
    stalls.start();
    run.view.setDetails(artist, QStringLiteral("album"), QStringLiteral("song"),
                        QStringLiteral("genre"));
    Awaited result;
    result.reached = QTest::qWaitFor([&] { return expect.reached(run); }, OutcomeWaitMs);
    result.longestGap = qint64(stalls.stop().ms);
    result.shown = result.reached ? expect.label : describe(run.probe);
    return result;
}

bool recovers(const QString &viewName, const QString &artist)
{
    PanelRun run(viewName);
    run.view.setDetails(artist, QStringLiteral("album"), QStringLiteral("song"),
                        QStringLiteral("genre"));
    return QTest::qWaitFor([&] { return thumbnails().reached(run); }, OutcomeWaitMs)
            && auditCache().isEmpty();
}

QString describeGap(qint64 longestGap)
{
    return QStringLiteral("the user interface stood still for %1 ms").arg(longestGap);
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression peak(QStringLiteral("^VmHWM:\\s*(\\d+) kB"),
                                         QRegularExpression::MultilineOption);
    return peak.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong() * 1024;
}

} // namespace FaultHarness
