#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QXmlStreamNamespaceDeclaration>

#include "promotionxmlparser.h"
#include "rowfield.h"
#include "storeconstants.h"

// The path queries with which the model reads each store answer. The store's
// contract tests, the fuzzer and the benchmark run these same sets.
namespace StoreQueries {

using Path = PromotionXmlPath;
using QueryList = PromotionXmlQueryList;

// Where a field of the panel's row comes from, by column name: one column's
// text, several joined by " | " (a track's artist and album), or a length in
// seconds shown as a clock time.
struct RowSource
{
    RowField::Field field;
    QStringList columns;
    bool seconds = false;
};

struct QuerySet
{
    QVector<QXmlStreamNamespaceDeclaration> namespaces;
    QueryList queries;
    QStringList columns;
    int limit = 0; // values per query; 0 reads them all
    // For the similar items: which columns fill the panel's row.
    QList<RowSource> row = {};
};

// Similar items per view: tracks for the player, albums for the album view,
// artists for any other.
enum class Similar { Tracks, Albums, Artists };

// The panel shows four rows at most; the parse stops there.
inline constexpr int SimilarItemsLimit = 4;

inline QVector<QXmlStreamNamespaceDeclaration> namespaces(const QString &prefix, const char *uri)
{
    return { QXmlStreamNamespaceDeclaration(QStringLiteral("kel"),
                                            QLatin1String(StoreConstants::SchemaNamespace)),
             QXmlStreamNamespaceDeclaration(prefix, QLatin1String(uri)) };
}

inline QPair<QString, QString> atomStep(const QString &text)
{
    return qMakePair(QString::fromLatin1(StoreConstants::AtomNamespace), text);
}

inline Path entryChild(const char *element)
{
    return { atomStep(QStringLiteral("child#entry")),
             atomStep(QStringLiteral("child#") + QLatin1String(element)) };
}

inline Path inMetadata(const char *element)
{
    return { atomStep(QStringLiteral("child#entry")),
             qMakePair(QString::fromLatin1(StoreConstants::SchemaNamespace),
                       QStringLiteral("child#metadata")),
             atomStep(QStringLiteral("child#") + QLatin1String(element)) };
}

inline Path picture(const char *title)
{
    return { atomStep(QStringLiteral("child#entry")), atomStep(QStringLiteral("link#link")),
             atomStep(QStringLiteral("aidAttr#title=") + QLatin1String(title)),
             atomStep(QStringLiteral("attr#href")) };
}

// The territory of the handset's home network, from the service document.
inline QuerySet territoryLookup()
{
    return { namespaces(QStringLiteral("app"), StoreConstants::AtomPubNamespace),
             { { QStringLiteral("cc"),
                 { qMakePair(QString::fromLatin1(StoreConstants::AtomPubNamespace),
                             QStringLiteral("child#workspace")),
                   qMakePair(QString::fromLatin1(StoreConstants::SchemaNamespace),
                             QStringLiteral("attr#countryCode")) } } },
             { QStringLiteral("cc") } };
}

inline QuerySet artistSearch()
{
    return { namespaces(QStringLiteral("atom"), StoreConstants::AtomNamespace),
             { { QStringLiteral("title"), entryChild("title") },
               { QStringLiteral("id"), inMetadata("id") } },
             { QStringLiteral("title"), QStringLiteral("id") } };
}

// The store id of the artist that a search answer names: that of the first
// entry whose title equals the name, letter case aside.
inline QString artistId(const QMap<int, QStringList> &answer, const QString &artistName)
{
    const QString wanted = artistName.toLower();
    for (const QStringList &row : answer) {
        if (row.value(0).toLower() == wanted)
            return row.value(1);
    }
    return QString();
}

inline QuerySet similarItems(Similar kind)
{
    QuerySet set {
        namespaces(QStringLiteral("atom"), StoreConstants::AtomNamespace), {}, {}, SimilarItemsLimit
    };
    const Path title = entryChild("title");
    if (kind == Similar::Tracks) {
        set.queries = { { QStringLiteral("text1"), title },
                        { QStringLiteral("text2"), inMetadata("primaryartist") },
                        { QStringLiteral("text3"), inMetadata("takenfrom") },
                        { QStringLiteral("duration"), inMetadata("duration") },
                        { QStringLiteral("image"), picture("albumart100") },
                        { QStringLiteral("METADATA1"), inMetadata("id") },
                        { QStringLiteral("METADATA2"), inMetadata("primaryartist") } };
        set.columns = { QStringLiteral("text1"),    QStringLiteral("text2"),
                        QStringLiteral("text3"),    QStringLiteral("duration"),
                        QStringLiteral("image"),    QStringLiteral("METADATA1"),
                        QStringLiteral("METADATA2") };
        set.row = { { RowField::Title, { QStringLiteral("text1") } },
                    { RowField::Subtitle, { QStringLiteral("text2"), QStringLiteral("text3") } },
                    { RowField::SideText, { QStringLiteral("duration") }, true },
                    { RowField::Picture, { QStringLiteral("image") } },
                    { RowField::StoreId, { QStringLiteral("METADATA1") } },
                    { RowField::TrackArtist, { QStringLiteral("METADATA2") } } };
        return set;
    }
    const bool albums = kind == Similar::Albums;
    // An entry step without a target: one empty value per entry.
    const Path empty = { atomStep(QStringLiteral("child#entry")), atomStep(QString()) };
    set.queries = { { QStringLiteral("text1"), title },
                    { QStringLiteral("text2"), albums ? inMetadata("primaryartist") : empty },
                    { QStringLiteral("text3"), albums ? inMetadata("trackcount") : empty },
                    { QStringLiteral("image"), picture(albums ? "albumart100" : "artistImage100") },
                    { QStringLiteral("METADATA1"), inMetadata("id") } };
    set.columns = { QStringLiteral("text1"), QStringLiteral("text2"), QStringLiteral("text3"),
                    QStringLiteral("image"), QStringLiteral("METADATA1") };
    set.row = { { RowField::Title, { QStringLiteral("text1") } },
                { RowField::Subtitle, { QStringLiteral("text2") } },
                { RowField::SideText, { QStringLiteral("text3") } },
                { RowField::Picture, { QStringLiteral("image") } },
                { RowField::StoreId, { QStringLiteral("METADATA1") } } };
    return set;
}

// The row the panel shows for an entry of a similar-items answer, each field
// from the columns the set names for it.
QStringList rowOf(const QuerySet &set, const QStringList &entry);

// A clock time: "mm:ss" below an hour, else "h:mm:ss"; a day or more wraps.
QString clockTime(int seconds);

} // namespace StoreQueries
