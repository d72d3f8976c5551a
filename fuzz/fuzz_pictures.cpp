// Feeds arbitrary bytes through the path a downloaded picture takes: the
// header checks, the bounded decode, the stretch to the list icon's size and
// the JPEG that the cache keeps. Run with a memory and a time limit, so that
// a picture that costs too much to decode is a finding like a crash.

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "thumbnailer.h"

namespace {

// What one picture may add to the resident size while it is turned into a
// thumbnail. The process's own limit only samples the resident size now and
// then and so charges a large picture to whichever input runs at the time;
// this charges the picture that asked for the memory.
const qint64 MaxPictureCostMb = 128;

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray all = status.readAll();
    const qsizetype at = all.indexOf(field);
    return at < 0 ? 0 : all.mid(at + qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
}

// Makes the peak resident size start again from the present one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The image format plug-ins are found through the application.
    static QCoreApplication application(*argc, *argv);
    // The product's debug lines and Qt's warnings about odd input are
    // expected here by the thousand.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) { });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    const QImage image = Thumbnailer::scale(body);
    const qint64 costMb = (statusKb("VmHWM:") - before) / 1024;
    if (costMb > MaxPictureCostMb) {
        std::fprintf(stderr, "one picture cost %lld MB\n", qlonglong(costMb));
        std::abort();
    }
    if (image.isNull())
        return 0;
    if (image.size() != Thumbnailer::Size)
        std::abort();
    QBuffer stored;
    stored.open(QIODevice::WriteOnly);
    if (!QImageWriter(&stored, "JPEG").write(image))
        std::abort();
    return 0;
}
