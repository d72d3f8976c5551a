#include "faultharness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cstdio>

#include "cachefolder.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlinearlayoutpolicy.h"
#include "svlist.h"
#include "tekumusicbuttonwidget.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "velloraview.h"
#include "viewnames.h"

namespace {

const int TickMs = 10;

QMutex counterMutex;
QtMessageHandler previousHandler = nullptr;
QString countedText;
int countedLines = 0;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&counterMutex);
        if (!countedText.isEmpty() && message.contains(countedText))
            ++countedLines;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

QList<FaultOutcome> &outcomes()
{
    static QList<FaultOutcome> list;
    return list;
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

} // namespace

UiGapWatch::UiGapWatch(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(TickMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UiGapWatch::onTick);
}

void UiGapWatch::start()
{
    m_clock.start();
    m_last = 0;
    m_longest = 0;
    m_timer.start();
}

qint64 UiGapWatch::stop()
{
    onTick();
    m_timer.stop();
    return m_longest;
}

void UiGapWatch::onTick()
{
    const qint64 now = m_clock.elapsed();
    m_longest = qMax(m_longest, now - m_last);
    m_last = now;
}

DebugLineCounter::DebugLineCounter(const QString &text)
{
    QMutexLocker lock(&counterMutex);
    countedText = text;
    countedLines = 0;
    previousHandler = qInstallMessageHandler(countingHandler);
}

DebugLineCounter::~DebugLineCounter()
{
    QMutexLocker lock(&counterMutex);
    qInstallMessageHandler(previousHandler);
    countedText.clear();
}

int DebugLineCounter::count() const
{
    QMutexLocker lock(&counterMutex);
    return countedLines;
}

namespace FaultHarness {

QStringList auditCache(const QStringList &allowedLinks)
{
    QStringList problems;
    for (const QString &folder : { QStringLiteral("queries"), QStringLiteral("images") }) {
        const QDir dir(CacheFolder::folder(folder));
        const QFileInfoList entries =
            dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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
            const QString problem = folder == QLatin1String("queries") ? checkAnswer(entry.filePath())
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

void addOutcome(const FaultOutcome &outcome)
{
    outcomes().append(outcome);
}

void printOutcomes(const QString &title)
{
    const QStringList header = { QStringLiteral("case"), QStringLiteral("view"), QStringLiteral("outcome shown"),
                                 QStringLiteral("longest UI gap"), QStringLiteral("cache check"),
                                 QStringLiteral("recovery") };
    QList<QStringList> lines;
    for (const FaultOutcome &o : std::as_const(outcomes())) {
        lines << QStringList { o.caseName, o.view, o.outcome, QStringLiteral("%1 ms").arg(o.longestGap), o.cache,
                               o.recovery };
    }
    QList<int> widths;
    for (const QString &cell : header)
        widths << int(cell.size());
    for (const QStringList &line : std::as_const(lines)) {
        for (int i = 0; i < line.size(); ++i)
            widths[i] = qMax(widths.at(i), int(line.at(i).size()));
    }
    const auto format = [&widths](const QStringList &cells) {
        QString text = QStringLiteral("|");
        for (int i = 0; i < cells.size(); ++i)
            text += QLatin1Char(' ') + cells.at(i).leftJustified(widths.at(i)) + QStringLiteral(" |");
        return text;
    };
    QStringList rule;
    for (int width : std::as_const(widths))
        rule << QString(width, QLatin1Char('-'));
    std::printf("\n%s\n%s\n%s\n", qPrintable(title), qPrintable(format(header)), qPrintable(format(rule)));
    for (const QStringList &line : std::as_const(lines))
        std::printf("%s\n", qPrintable(format(line)));
    std::fflush(stdout);
}

QString viewLabel(const QString &viewName)
{
    if (viewName == ViewNames::Player)
        return QStringLiteral("player");
    if (viewName == ViewNames::Album)
        return QStringLiteral("album");
    if (viewName == ViewNames::Artist)
        return QStringLiteral("artist");
    return QStringLiteral("genre");
}

QString defaultIconOf(const QString &viewName)
{
    return viewName == ViewNames::Artist ? QStringLiteral("icon-m-content-artist")
                                         : QStringLiteral("icon-m-content-album");
}

bool showsResults(const VelloraView &view)
{
    const SvLinearLayoutPolicy *policy = view.layoutPolicy();
    return view.container()->promotionModel()->rowCount() > 0 && policy->indexOf(view.container()) != -1
        && (!view.storeButton() || policy->indexOf(view.storeButton()) != -1)
        && policy->indexOf(view.spinner()) == -1;
}

QString describeView(const VelloraView &view)
{
    VelloraModel *model = view.container()->promotionModel();
    if (!showsResults(view)) {
        if (view.spinner()->isVisible())
            return QStringLiteral("loading row: %1").arg(view.spinner()->text());
        return model->loadingText() == qtTrId("qtn_musi_fetching_no_matches")
            ? QStringLiteral("no-matches text, then nothing")
            : QStringLiteral("nothing");
    }
    int thumbnails = 0;
    int icons = 0;
    const SvList *list = view.container()->list();
    for (int row = 0; row < list->cellCount(); ++row) {
        const auto *item = qobject_cast<const SvDetailedListItem *>(list->cellAt(row));
        if (!item)
            continue;
        if (!item->imageWidget()->imageId().isEmpty())
            ++icons;
        else if (item->imageWidget()->image().size() == QSize(80, 80))
            ++thumbnails;
    }
    return QStringLiteral("%1 rows, %2 thumbnails, %3 default icons").arg(model->rowCount()).arg(thumbnails).arg(icons);
}

bool allCellsShow(const VelloraView &view, const std::function<bool(const SvImageWidget *)> &check)
{
    const SvList *list = view.container()->list();
    if (list->cellCount() == 0)
        return false;
    for (int row = 0; row < list->cellCount(); ++row) {
        const auto *item = qobject_cast<const SvDetailedListItem *>(list->cellAt(row));
        if (!item || !check(item->imageWidget()))
            return false;
    }
    return true;
}

bool isThumbnail(const SvImageWidget *image)
{
    return image->imageId().isEmpty() && image->image().size() == QSize(80, 80);
}

bool allThumbnails(const VelloraView &view)
{
    return allCellsShow(view, isThumbnail);
}

QString describeGap(qint64 longestGap)
{
    return QStringLiteral("the user interface stood still for %1 ms").arg(longestGap);
}

void noteNoMatchesShown(VelloraView &view, bool *shown)
{
    QObject::connect(view.container()->promotionModel(), &VelloraModel::loadingTextChanged, &view, [&view, shown] {
        *shown = *shown
            || (view.spinner()->isVisible() && view.spinner()->text() == qtTrId("qtn_musi_fetching_no_matches"));
    });
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
    static const QRegularExpression peak(QStringLiteral("^VmHWM:\\s*(\\d+) kB"), QRegularExpression::MultilineOption);
    return peak.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong() * 1024;
}

}
