#include "storeanswershaper.h"

#include <QSize>

#include "storefeedwriter.h"
#include "storepictures.h"

namespace {

// Position just after the root element's start tag, where injected content
// comes before any record.
qsizetype afterRootStart(const QByteArray &body)
{
    qsizetype start = 0;
    while ((start = body.indexOf('<', start)) >= 0) {
        const char next = start + 1 < body.size() ? body.at(start + 1) : '\0';
        if (next != '?' && next != '!')
            break;
        ++start;
    }
    const qsizetype end = start < 0 ? -1 : body.indexOf('>', start);
    return end < 0 ? 0 : end + 1;
}

qsizetype afterDeclaration(const QByteArray &body)
{
    const qsizetype end = body.startsWith("<?xml") ? body.indexOf("?>") : -1;
    return end < 0 ? 0 : end + 2;
}

QByteArray rootName(const QByteArray &body)
{
    const qsizetype start = afterRootStart(body);
    const qsizetype open = body.lastIndexOf('<', start);
    qsizetype end = open + 1;
    while (end < body.size() && body.at(end) != ' ' && body.at(end) != '>' && body.at(end) != '\n')
        ++end;
    return open < 0 ? QByteArray("feed") : body.mid(open + 1, end - open - 1);
}

QByteArray entityBombDoctype(const QByteArray &root)
{
    QByteArray doctype = "<!DOCTYPE " + root + " [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level < 10; ++level) {
        doctype += "<!ENTITY lol" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            doctype += "&lol" + QByteArray::number(level - 1) + ";";
        doctype += "\">\n";
    }
    return doctype + "]>\n";
}

} // namespace

StoreAnswer StoreAnswerShaper::reshape(const StoreAnswer &answer, const StoreFault &fault,
                                       const QString &baseUrl)
{
    using Kind = StoreFault::Kind;
    StoreAnswer result = answer;
    const QByteArray pictureFormat =
            answer.contentType == "image/png" ? QByteArray("png") : QByteArray("jpeg");
    switch (fault.kind) {
    case Kind::Status:
        result = {
            fault.status ? fault.status : 500, "text/plain; charset=utf-8", "store fault\n", {}
        };
        break;
    case Kind::MalformedXml:
        result.body.insert(afterRootStart(result.body), "\n<&broken attribute=>\n");
        break;
    case Kind::EmptyBody:
        result.status = 200;
        result.body.clear();
        break;
    case Kind::NotAnImage:
        result = {
            200, StoreFeedWriter::contentType(pictureFormat), "this is not a picture\n", {}
        };
        break;
    case Kind::HugePicture:
        result = { 200,
                   StoreFeedWriter::contentType(pictureFormat),
                   hugePicture(fault.pictureSize, pictureFormat),
                   {} };
        break;
    case Kind::RedirectLoop:
        result = { 302,
                   "text/plain; charset=utf-8",
                   "moved\n",
                   { { "Location", (baseUrl + QLatin1String("/_loop/a")).toUtf8() } } };
        break;
    case Kind::HtmlErrorPage:
        result = {
            fault.status ? fault.status : 200,
            "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html><head><title>Service unavailable</title></head>"
            "<body><h1>Service unavailable</h1><p>Please try again later.</p></body></html>\n",
            {}
        };
        break;
    case Kind::Doctype:
        result.body.insert(afterDeclaration(result.body),
                           "\n<!DOCTYPE " + rootName(result.body) + " SYSTEM \"" + baseUrl.toUtf8()
                                   + "/_dtd/store.dtd\">");
        break;
    case Kind::EntityBomb:
        result.body.insert(afterRootStart(result.body), "&lol9;");
        result.body.insert(afterDeclaration(result.body),
                           "\n" + entityBombDoctype(rootName(result.body)));
        break;
    case Kind::DeepNesting: {
        const qsizetype entry = result.body.indexOf("<entry>");
        const qsizetype at = entry < 0 ? afterRootStart(result.body) : entry + 7;
        result.body.insert(at,
                           QByteArray("<n>").repeated(fault.nestingDepth)
                                   + QByteArray("</n>").repeated(fault.nestingDepth));
        break;
    }
    case Kind::ReplaceBody:
        result.body = fault.body;
        break;
    case Kind::PadBody:
        if (fault.bodySize > result.body.size())
            result.body.append(QByteArray(fault.bodySize - result.body.size(), ' '));
        break;
    case Kind::TruncatedJpeg: {
        const QByteArray jpeg =
                StorePictures::draw(QSize(400, 300), "jpeg", QStringLiteral("Truncated"));
        result = { 200, "image/jpeg", jpeg.left(jpeg.size() / 2), {} };
        break;
    }
    case Kind::ProgressiveJpeg:
        result = { 200, "image/jpeg", hugePicture(fault.pictureSize, "jpeg", true), {} };
        break;
    case Kind::ProgressiveJpegBomb:
        result = { 200,
                   "image/jpeg",
                   StorePictures::handMadeProgressiveJpeg(fault.pictureSize, 3, 1, true),
                   {} };
        break;
    case Kind::JpegScanFlood:
        result = { 200,
                   "image/jpeg",
                   StorePictures::handMadeProgressiveJpeg(fault.pictureSize, 1, fault.scans, false),
                   {} };
        break;
    case Kind::JpegClaimingHugeSize: {
        QByteArray jpeg = StorePictures::draw(QSize(64, 64), "jpeg", QStringLiteral("Claim"));
        // Baseline frame header: marker, length (2), precision (1), height (2), width (2).
        const qsizetype frame = jpeg.indexOf("\xFF\xC0");
        if (frame >= 0 && frame + 9 <= jpeg.size()) {
            const char huge[] = { char(0xFD), char(0xE8) }; // 65000
            jpeg.replace(frame + 5, 2, huge, 2);
            jpeg.replace(frame + 7, 2, huge, 2);
        }
        result = { 200, "image/jpeg", jpeg, {} };
        break;
    }
    // When and how the answer goes, or how many entries it lists, not what it holds.
    case Kind::Delay:
    case Kind::Stall:
    case Kind::CutBody:
    case Kind::CutBodyNoLength:
    case Kind::ExtraEntries:
    case Kind::Drip:
    case Kind::StallAfterHeaders:
    case Kind::ChunkedWithoutLastChunk:
    case Kind::ConnectionReset:
    case Kind::EndlessChunked:
    case Kind::Hold:
    case Kind::InterimAnswers:
        break;
    }
    return result;
}

QByteArray StoreAnswerShaper::hugePicture(const QSize &size, const QByteArray &format,
                                          bool progressive)
{
    const QString key = QStringLiteral("%1x%2.%3%4")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(QLatin1String(format),
                                     progressive ? QStringLiteral(".progressive") : QString());
    auto it = m_hugePictures.find(key);
    if (it == m_hugePictures.end())
        it = m_hugePictures.insert(
                key,
                StorePictures::draw(size, format, QStringLiteral("Huge Picture"), progressive));
    return it.value();
}
