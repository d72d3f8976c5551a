#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "storequeries.h"
#include "xmlquerypath.h"

class SvDetailedListItem;

// The work of one artist done directly, without the plug-in's queue,
// threads and timers: its two answers read from the cache and extracted,
// four cells filled, and (for a cached artist) their pictures decoded. The
// floor beside which the plug-in's overhead is judged.
class DirectWork
{
public:
    DirectWork();
    ~DirectWork();

    // Milliseconds, or a negative value when an answer or, withPictures, a
    // picture is not in the cache.
    // withPictures: the cached pictures are decoded into the cells, as for a
    // cached artist; otherwise the cells show the default icon.
    double run(const QString &viewId, const QString &artist, bool withPictures,
               const QString &label);

private:
    static QString cacheFile(const char *folder, const QString &url);

    static QByteArray readCached(const QString &url);

    // The rows of one answer, as the plug-in's extraction gives them; the
    // paths are compiled once, as the plug-in keeps them.
    QMap<int, QStringList> extract(const QByteArray &data, const StoreQueries::QuerySet &set);
    // The set's paths compiled, found by the queries themselves: the album
    // and artist sets share their column names but not their paths.
    const QList<XmlQueryPath> &compiled(const StoreQueries::QueryList &queries);

    std::vector<std::unique_ptr<SvDetailedListItem>> m_cells;
    std::vector<std::pair<StoreQueries::QueryList, QList<XmlQueryPath>>> m_compiled;
};
