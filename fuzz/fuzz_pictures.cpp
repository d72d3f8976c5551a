// Feeds arbitrary bytes through the path a downloaded picture takes: the
// header checks, the bounded decode, the stretch to the list icon's size and
// the JPEG that the cache keeps. Run with a memory and a time limit, so that
// a picture that costs too much to decode is a finding like a crash.

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>

#include <cstdint>
#include <cstdlib>

#include "thumbnailer.h"

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
    const QImage image = Thumbnailer::scale(body);
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
