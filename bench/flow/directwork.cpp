#include "directwork.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <functional>

#include "cachefile.h"
#include "flowcommon.h"
#include "promotionxmlparser_p.h"
#include "rowfield.h"
#include "storeendpoint.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "velloramodel.h"
#include "viewtraits.h"
#include "xmlquerybatchpass.h"
#include "xmlstructurecheck.h"

DirectWork::DirectWork()
{
    for (int i = 0; i < StoreQueries::SimilarItemsLimit; ++i)
        m_cells.push_back(std::make_unique<SvDetailedListItem>());
}

DirectWork::~DirectWork() = default;

double DirectWork::run(const QString &viewId, const QString &artist, bool withPictures,
                       const QString &label)
{
    StoreEndpoint endpoint = StoreEndpoint::read();
    if (endpoint.territory.isEmpty())
        endpoint.territory = QStringLiteral("gb");
    const QString searchUrl = endpoint.searchUrl(artist);
    const ViewTraits &traits = ViewTraits::of(viewId);
    const StoreQueries::Similar kind = traits.similar;

    InstructionCount::start();
    const double start = nowMs();
    const QString id = StoreQueries::artistId(
            extract(readCached(searchUrl), StoreQueries::artistSearch()), artist);
    if (id.isEmpty())
        return -1;
    const StoreQueries::QuerySet set = StoreQueries::similarItems(kind);
    const QList<QStringList> rows =
            extract(readCached(endpoint.similarUrl(id, traits.similarPath,
                                                   StoreQueries::SimilarItemsLimit)),
                    set)
                    .values();
    if (rows.isEmpty())
        return -1;
    for (int i = 0; i < rows.size() && i < int(m_cells.size()); ++i) {
        const QStringList row = StoreQueries::rowOf(set, rows.at(i));
        SvDetailedListItem &cell = *m_cells.at(i);
        cell.setTitle(row.value(RowField::Title));
        cell.setSubtitle(row.value(RowField::Subtitle));
        cell.setSideBottomTitle(row.value(RowField::SideText));
        if (withPictures) {
            const QImage picture(cacheFile("images", row.value(RowField::Picture)), "JPEG");
            // Without its pictures the floor would be short of the panel's
            // work, and every ratio to it flattering.
            if (picture.isNull())
                return -1;
            cell.imageWidget()->setImage(picture);
        } else {
            cell.imageWidget()->setImage(QStringLiteral("icon-m-content-audio"));
        }
    }
    const double end = nowMs();
    InstructionCount::stop(label);
    return end - start;
}

QString DirectWork::cacheFile(const char *folder, const QString &url)
{
    return QDir::homePath() + QStringLiteral("/.cache/raskrestapi/") + QLatin1String(folder)
            + QLatin1Char('/') + CacheFile::nameFor(url);
}

QByteArray DirectWork::readCached(const QString &url)
{
    QFile file(cacheFile("queries", url));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<int, QStringList> DirectWork::extract(const QByteArray &data,
                                           const StoreQueries::QuerySet &set)
{
    if (data.isEmpty() || !XmlStructureCheck::isWithinLimits(data))
        return {};
    const QList<XmlQueryPath> &paths = compiled(set.queries);
    QXmlStreamReader reader;
    reader.addExtraNamespaceDeclarations(set.namespaces);
    reader.addData(data);
    const std::function<bool()> never = [] { return false; };
    const QList<QStringList> values = XmlQueryBatchPass(reader, paths, set.limit, never).run();
    QHash<QString, QStringList> byName;
    for (int i = 0; i < set.queries.size() && i < values.size(); ++i)
        byName.insert(set.queries.at(i).first, values.at(i));
    return PromotionXmlParserPrivate::rowsByColumn(byName, set.columns);
}

const QList<XmlQueryPath> &DirectWork::compiled(const StoreQueries::QueryList &queries)
{
    for (const auto &[known, paths] : m_compiled) {
        if (known == queries)
            return paths;
    }
    QList<XmlQueryPath> paths;
    for (const auto &query : queries)
        paths.append(XmlQueryPath::compile(query.second));
    return m_compiled.emplace_back(queries, paths).second;
}
