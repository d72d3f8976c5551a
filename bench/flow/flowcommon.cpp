#include "flowcommon.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QProcess>

#include <algorithm>

#include "storeprocess.h"

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double nowMs()
{
    return StoreProcess::monotonicMs();
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // Files under /proc report no size, so they are read whole.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

void setUpFonts()
{
    QFontMetrics(QGuiApplication::font()).height();
}

QByteArray runSelf(const QStringList &arguments, int timeoutMs, const QString &wrapper,
                   const QStringList &wrapperArguments)
{
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());
    const QString self = QCoreApplication::applicationFilePath();
    if (wrapper.isEmpty())
        child.start(self, arguments);
    else
        child.start(wrapper, wrapperArguments + QStringList(self) + arguments);
    if (!child.waitForFinished(timeoutMs) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        child.kill();
        return QByteArray();
    }
    return child.readAllStandardOutput();
}

void writeTracks(const QString &fileName, const QList<PlayerTrack> &tracks)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (const PlayerTrack &track : tracks)
        file.write(trackLine(track).toUtf8() + '\n');
}

QString trackLine(const PlayerTrack &track)
{
    return QStringList { track.artist, track.album, track.song, track.genre }.join(
            QLatin1Char('\t'));
}

PlayerTrack trackOfLine(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char('\t'));
    return { fields.value(0), fields.value(1), fields.value(2), fields.value(3) };
}

QList<PlayerTrack> readTracks(const QString &fileName)
{
    QList<PlayerTrack> tracks;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return tracks;
    while (!file.atEnd())
        tracks.append(trackOfLine(QString::fromUtf8(file.readLine()).chopped(1)));
    return tracks;
}

void printTable(const QList<Row> &rows, bool *allPass)
{
    *allPass = true;
    out() << QStringLiteral("%1 %2 %3 %4\n")
                     .arg(QStringLiteral("figure"), -58)
                     .arg(QStringLiteral("median"), 12)
                     .arg(QStringLiteral("target"), 12)
                     .arg(QStringLiteral("result"));
    out() << QString(90, QLatin1Char('-')) << '\n';
    for (const Row &row : rows) {
        const int decimals = row.unit == QLatin1String("ms") || row.unit == QLatin1String("x")
                        || row.unit == QLatin1String("M")
                ? 2
                : 0;
        QString target = QStringLiteral("-");
        QString result;
        if (row.target >= 0) {
            target = QStringLiteral("<= %1 %2").arg(row.target).arg(row.unit);
            const bool pass = row.value <= row.target;
            result = pass ? QStringLiteral("pass") : QStringLiteral("FAIL");
            *allPass = *allPass && pass;
        }
        out() << QStringLiteral("%1 %2 %3 %4\n")
                         .arg(row.figure, -58)
                         .arg(QStringLiteral("%1 %2")
                                      .arg(row.value, 0, 'f', decimals)
                                      .arg(row.unit),
                              12)
                         .arg(target, 12)
                         .arg(result);
    }
    out().flush();
}
