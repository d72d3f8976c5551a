#include "storeprocess.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <ctime>
#include <unistd.h>
#include <utility>
#include <vector>

#include "demostore.h"
#include "flowcommon.h"

namespace {

const int answerTimeoutMs = 30000;

// The child's application: every event it handles is timed, which is the
// store's own time.
class StoreApplication : public QGuiApplication
{
public:
    using QGuiApplication::QGuiApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0)
            return QGuiApplication::notify(receiver, event);
        ++m_depth;
        const double start = StoreProcess::monotonicMs();
        const bool result = QGuiApplication::notify(receiver, event);
        m_busy.emplace_back(start, StoreProcess::monotonicMs());
        --m_depth;
        return result;
    }

    double busyMs(double from, double to) const
    {
        double busy = 0;
        for (const auto &[start, end] : m_busy)
            busy += std::max(0.0, std::min(end, to) - std::max(start, from));
        return busy;
    }

    void forgetBusy() { m_busy.clear(); }

private:
    int m_depth = 0;
    std::vector<std::pair<double, double>> m_busy;
};

void say(const QByteArray &text)
{
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t wrote =
                ::write(STDOUT_FILENO, text.constData() + done, size_t(text.size() - done));
        if (wrote <= 0)
            return;
        done += wrote;
    }
}

// One command of the parent, and the lines that answer it.
QStringList answer(StoreApplication &app, DemoStore &store, const QStringList &command)
{
    const QString name = command.value(0);
    if (name == QLatin1String("tracks")) {
        QStringList lines;
        const QList<PlayerTrack> tracks = store.sampleTracks(command.value(1).toInt());
        for (const PlayerTrack &track : tracks)
            lines << trackLine(track);
        return lines << QStringLiteral("end");
    }
    if (name == QLatin1String("huge")) {
        StoreFault huge(StoreFault::Kind::HugePicture, QStringLiteral("/pictures/"));
        huge.times = 0;
        huge.pictureSize = QSize(command.value(1).toInt(), command.value(2).toInt());
        store.server().addFault(huge);
        store.server().clearRequestLog();
        return { QStringLiteral("ok") };
    }
    if (name == QLatin1String("plain")) {
        const int pictures = store.server().requestCount(StoreRequest::Kind::Picture);
        store.server().clearFaults();
        store.server().clearRequestLog();
        return { QString::number(pictures) };
    }
    if (name == QLatin1String("busy"))
        return { QString::number(
                app.busyMs(command.value(1).toDouble(), command.value(2).toDouble()), 'f', 3) };
    if (name == QLatin1String("forget")) {
        app.forgetBusy();
        store.server().clearRequestLog();
        return { QStringLiteral("ok") };
    }
    return { QStringLiteral("unknown") };
}

} // namespace

const char StoreProcess::Option[] = "--store";

StoreProcess::~StoreProcess()
{
    if (m_child.state() == QProcess::NotRunning)
        return;
    m_child.closeWriteChannel();
    if (!m_child.waitForFinished(answerTimeoutMs))
        m_child.kill();
}

bool StoreProcess::start(const QString &program)
{
    m_child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_child.start(program, { QLatin1String(Option) });
    const QStringList ready = ask(QString());
    if (ready != QStringList { QStringLiteral("ready") }) {
        m_error = QStringLiteral("the store emulator did not start: %1")
                          .arg(ready.isEmpty() ? m_child.errorString() : ready.join(' '));
        return false;
    }
    return true;
}

QList<PlayerTrack> StoreProcess::sampleTracks(int count)
{
    QList<PlayerTrack> tracks;
    QStringList lines = ask(QStringLiteral("tracks %1").arg(count), true);
    lines.removeLast();
    for (const QString &line : std::as_const(lines))
        tracks.append(trackOfLine(line));
    return tracks;
}

void StoreProcess::serveHugePictures(const QSize &size)
{
    ask(QStringLiteral("huge %1 %2").arg(size.width()).arg(size.height()));
}

int StoreProcess::servePlainPictures()
{
    return ask(QStringLiteral("plain")).value(0).toInt();
}

double StoreProcess::busyMs(double from, double to)
{
    return ask(QStringLiteral("busy %1 %2").arg(from, 0, 'f', 3).arg(to, 0, 'f', 3))
            .value(0)
            .toDouble();
}

void StoreProcess::forgetBusy()
{
    ask(QStringLiteral("forget"));
}

double StoreProcess::monotonicMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QStringList StoreProcess::ask(const QString &command, bool untilEnd)
{
    if (!command.isEmpty())
        m_child.write(command.toUtf8() + '\n');
    QStringList lines;
    while (lines.isEmpty() || (untilEnd && lines.constLast() != QLatin1String("end"))) {
        if (!m_child.canReadLine() && !m_child.waitForReadyRead(answerTimeoutMs))
            return lines;
        while (m_child.canReadLine())
            lines << QString::fromUtf8(m_child.readLine()).chopped(1);
    }
    return lines;
}

int StoreProcess::serve(int argc, char *argv[])
{
    StoreApplication app(argc, argv);
    DemoStore store;
    if (!store.start()) {
        say("failed\n");
        return 1;
    }
    store.writeClientSettings();
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QStringList command =
                    QString::fromUtf8(pending.left(end)).split(QLatin1Char(' '));
            pending.remove(0, end + 1);
            say(answer(app, store, command).join('\n').toUtf8() + '\n');
        }
    });
    say("ready\n");
    return app.exec();
}
