#include "velloramodel.h"

#include <QDebug>
#include <QFileSystemWatcher>

#include "promotionlauncher.h"
#include "promotionnetwork.h"
#include "promotionnetworkapi.h"
#include "promotionxmlparser.h"
#include "settingsfilewatch.h"
#include "spokenrow.h"
#include "storeendpoint.h"
#include "storequeries.h"
#include "systemnetworkinfo.h"
#include "viewtraits.h"

namespace {

const int LookupDelay = 300;

// A row from the similar-items answer needs at least title, subtitles,
// picture and id; shorter ones come from a query set that did not match.
const int MinimumAnswerFields = 5;

// No artist's name comes near this; a longer one is broken or hostile, and
// would go to the store whole inside the search URL.
const int MaxArtistNameLength = 1024;

} // namespace

VelloraModel::VelloraModel(QObject *parent)
    : QAbstractItemModel(parent),
      m_fetchingText(qtTrId("qtn_musi_fetching_recom")),
      m_noMatchesText(qtTrId("qtn_musi_fetching_no_matches")),
      m_loadingText(m_fetchingText)
{
    m_network = new PromotionNetwork(this);
    m_parser = new PromotionXmlParser(this);

    m_settingsPath = StoreEndpoint::settingsPath();
    m_watcher = new QFileSystemWatcher(this);
    connect(new SettingsFileWatch(m_watcher, m_settingsPath, this), &SettingsFileWatch::changed,
            this, &VelloraModel::loadSondrelSettings);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &VelloraModel::onTimeout);
    connect(m_network, &PromotionNetwork::errorOccurred, this, &VelloraModel::onErrorOccurred);
    connect(m_network, &PromotionNetwork::xmlFetchingStarted, this,
            &VelloraModel::onXmlFetchingStarted);
    connect(PromotionNetworkAPI::instance(), &PromotionNetworkAPI::imageDownloaded, this,
            &VelloraModel::changeImage);
}

VelloraModel::~VelloraModel()
{
    clearModel();
}

QModelIndex VelloraModel::index(int row, int column, const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return createIndex(row, column);
}

QModelIndex VelloraModel::parent(const QModelIndex &child) const
{
    Q_UNUSED(child)
    return QModelIndex();
}

int VelloraModel::rowCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return m_rows.count();
}

int VelloraModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return m_rows.value(0).count();
}

QVariant VelloraModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (role == Qt::AccessibleTextRole && row >= 0 && row < rowCount())
        return SpokenRow::text(m_rows.value(row), ViewTraits::of(m_viewName).similar);
    const int field = role - Qt::UserRole;
    if (row < 0 || row >= rowCount() || field < 0 || field >= columnCount())
        return QVariant();
    const QStringList values = m_rows.value(row);
    if (field >= values.count())
        return QVariant();
    return values.at(field);
}

void VelloraModel::clearModel()
{
    m_step = Step::Idle;
    setButtonVisible(false);
    if (!m_settingsReload)
        setLoading(false);
    disconnect(m_network, &PromotionNetwork::xmlDownloaded, this, nullptr);
    m_network->cancel();
    disconnect(m_parser, nullptr, nullptr, nullptr);
    if (rowCount() > 0) {
        beginRemoveRows(QModelIndex(), 0, rowCount() - 1);
        m_rows.clear();
        endRemoveRows();
        // Pictures of rows nobody sees any more need not be downloaded.
        PromotionNetworkAPI::instance()->releaseImages(this);
    }
}

void VelloraModel::insertData(int row, const QStringList &values)
{
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(row, values);
    endInsertRows();
    PromotionNetworkAPI::instance()->retainImage(this, values.value(RowField::Picture));
}

void VelloraModel::changeImage(const QString &from, const QString &to)
{
    if (from.isEmpty())
        return;
    // Tracks of one album share its picture, and one download serves them
    // all; a link that merely contains another is a different picture.
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it) {
        QStringList &values = it.value();
        if (values.value(RowField::Picture) == from) {
            values[RowField::Picture] = to;
            const QModelIndex changed = index(it.key(), 0);
            emit dataChanged(changed, changed);
        }
    }
}

QPair<QString, QString> VelloraModel::makePair(const QXmlStreamNamespaceDeclaration &declaration,
                                               const QString &stepText)
{
    return qMakePair(declaration.namespaceUri().toString(), stepText);
}

void VelloraModel::setLoadingText(const QString &text)
{
    if (text != m_loadingText) {
        m_loadingText = text;
        emit loadingTextChanged();
    }
    if (m_loadingText == m_noMatchesText)
        m_noMatches = true;
}

void VelloraModel::setLoading(bool loading)
{
    if (loading)
        setLoadingText(m_fetchingText);
    if (m_loading == loading)
        return;
    m_loading = loading;
    emit loadingChanged(loading);
}

void VelloraModel::setButtonVisible(bool visible)
{
    if (m_buttonVisible == visible)
        return;
    m_buttonVisible = visible;
    emit buttonVisibleChanged(visible);
}

void VelloraModel::onXmlFetchingStarted()
{
    setLoading(true);
}

void VelloraModel::loadSondrelSettings()
{
    StoreEndpoint endpoint = StoreEndpoint::read(m_settingsPath);
    if (endpoint.territory.isEmpty()) {
        if (!m_endpoint.territory.isEmpty()) {
            endpoint.territory = m_endpoint.territory;
        } else {
            SystemNetworkInfo systemInfo;
            const QString mcc = systemInfo.homeMobileCountryCode();
            qDebug() << "loadSondrelSettings() mcc" << mcc;
            if (!mcc.isEmpty()) {
                m_step = Step::Territory;
                connect(m_network, &PromotionNetwork::xmlDownloaded, this,
                        &VelloraModel::onTerritoryXmlFetched, Qt::UniqueConnection);
                m_network->fetchXml(endpoint.territoryUrl(mcc), LookupDelay);
                return;
            }
            qDebug() << "Unable to get code from SIM, using gb!";
            endpoint.territory = QString::fromLatin1(StoreConstants::DefaultTerritory);
        }
    }

    if (endpoint == m_endpoint)
        return;
    m_endpoint = endpoint;
    if (!m_artistName.isEmpty()) {
        m_settingsReload = true;
        const QString artistName = m_artistName;
        m_artistName.clear();
        setDetails(artistName, QString(), QString(), QString(), m_viewName);
    }
}

void VelloraModel::onTerritoryXmlFetched()
{
    disconnect(m_network, &PromotionNetwork::xmlDownloaded, this,
               &VelloraModel::onTerritoryXmlFetched);
    if (m_step != Step::Territory)
        return;
    parseAnswer(StoreQueries::territoryLookup(), &VelloraModel::onTerritoryXmlParsed);
}

void VelloraModel::onTerritoryXmlParsed()
{
    QMap<int, QStringList> result;
    if (m_step != Step::Territory || !takeParseResult(result))
        return;
    m_step = Step::Idle;
    m_endpoint.territory = result.value(0).value(0);
    // An answer without a usable country would otherwise be asked for again
    // at once, without end.
    if (!StoreEndpoint::isUsableSegment(m_endpoint.territory))
        m_endpoint.territory = QString::fromLatin1(StoreConstants::DefaultTerritory);
    qDebug() << "void VelloraModel::onTerritoryXmlParsed()"
             << " - m_territoryCode == " << m_endpoint.territory;
    loadSondrelSettings();
}

void VelloraModel::setDetails(const QString &artistName, const QString &albumTitle,
                              const QString &songTitle, const QString &genre,
                              const QString &viewName)
{
    Q_UNUSED(albumTitle)
    Q_UNUSED(songTitle)
    Q_UNUSED(genre)

    const QString artist = artistName.size() > MaxArtistNameLength ? QString() : artistName;
    if (artist != m_artistName || viewName != m_viewName) {
        m_artistName = artist;
        m_noMatches = false;
        setArtistId(QString());
    } else if (m_step == Step::Search || m_step == Step::Similar) {
        return;
    }
    // Forgotten only once this call goes ahead: a running chain that fails
    // later must still drop its cached search answer.
    m_artistUrl.clear();

    m_viewName = viewName;

    if (m_endpoint.territory.isEmpty()) {
        loadSondrelSettings();
        return;
    }
    if (m_noMatches)
        return;

    if (m_artistId.isEmpty()) {
        clearModel();
        if (m_artistName.isEmpty())
            return;
        m_step = Step::Search;
        m_artistUrl = m_endpoint.searchUrl(m_artistName);
        connect(m_network, &PromotionNetwork::xmlDownloaded, this,
                &VelloraModel::onArtistXmlFetched, Qt::UniqueConnection);
        m_settingsReload = false;
        m_network->fetchXml(m_artistUrl, fetchDelay());
    } else if (rowCount() == 0) {
        clearModel();
        setArtistId(m_artistId);
    }
}

void VelloraModel::setArtistId(const QString &id)
{
    // The id comes from the store's answer; one that cannot name a store
    // page counts as none, so that no request is made for it.
    m_artistId = StoreEndpoint::isUsableSegment(id) ? id : QString();
    if (m_artistId.isEmpty())
        return;
    m_step = Step::Similar;
    m_promotionUrl =
            m_endpoint.similarUrl(m_artistId, ViewTraits::of(m_viewName).similarPath,
                                  StoreQueries::SimilarItemsLimit);
    connect(m_network, &PromotionNetwork::xmlDownloaded, this,
            &VelloraModel::onPromotiontXmlFetched, Qt::UniqueConnection);
    m_network->fetchXml(m_promotionUrl, fetchDelay());
}

void VelloraModel::onArtistXmlFetched()
{
    disconnect(m_network, &PromotionNetwork::xmlDownloaded, this,
               &VelloraModel::onArtistXmlFetched);
    if (m_step != Step::Search)
        return;
    parseAnswer(StoreQueries::artistSearch(), &VelloraModel::onArtistXmlParsed);
}

void VelloraModel::onArtistXmlParsed()
{
    QMap<int, QStringList> result;
    if (m_step != Step::Search || !takeParseResult(result))
        return;
    setArtistId(StoreQueries::artistId(result, m_artistName));
    if (m_artistId.isEmpty())
        onErrorOccurred(QStringLiteral("empty artist id"), 0);
}

void VelloraModel::onPromotiontXmlFetched()
{
    disconnect(m_network, &PromotionNetwork::xmlDownloaded, this,
               &VelloraModel::onPromotiontXmlFetched);
    if (m_step != Step::Similar)
        return;
    parseAnswer(StoreQueries::similarItems(ViewTraits::of(m_viewName).similar),
                &VelloraModel::onPromotiontXmlParsed);
}

void VelloraModel::onPromotiontXmlParsed()
{
    QMap<int, QStringList> result;
    if (m_step != Step::Similar || !takeParseResult(result))
        return;

    beginResetModel();
    m_rows.clear();
    endResetModel();

    const StoreQueries::QuerySet set =
            StoreQueries::similarItems(ViewTraits::of(m_viewName).similar);
    int row = 0;
    for (const QStringList &answerRow : std::as_const(result)) {
        if (answerRow.count() < MinimumAnswerFields)
            continue;
        insertData(row++, StoreQueries::rowOf(set, answerRow));
    }

    if (rowCount() == 0) {
        onErrorOccurred(QStringLiteral("empty model"), 0);
    } else {
        setLoading(false);
        setButtonVisible(true);
    }
    m_step = Step::Idle;
}

void VelloraModel::onErrorOccurred(const QString &error, int code)
{
    qDebug() << "VelloraModel::onErrorOccurred()" << error << code;
    m_step = Step::Idle;
    disconnect(m_network, &PromotionNetwork::xmlDownloaded, this, nullptr);
    if (error == QLatin1String("NO_INTERNET_CONNECTION")) {
        emit noInternetConnectionError();
        return;
    }

    m_artistName.clear();
    if (!m_artistUrl.isEmpty()) {
        PromotionNetworkAPI::instance()->releaseCache(m_artistUrl);
        m_artistUrl.clear();
    }
    if (!m_promotionUrl.isEmpty())
        PromotionNetworkAPI::instance()->releaseCache(m_promotionUrl);
    setArtistId(QString());
    setLoadingText(m_noMatchesText);
    m_timer.start(m_failureDelay);
}

void VelloraModel::onButtonClicked()
{
    qDebug() << "VelloraModel::onButtonClicked()" << m_artistName << m_artistId;
    PromotionLauncher::instance()->launchInMusicStoreClient(
            ViewTraits::of(m_viewName).moreLink + m_artistName + QLatin1Char('/') + m_artistId);
}

void VelloraModel::onPromotionClicked(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= rowCount())
        return;
    const QStringList values = m_rows.value(index.row());
    const ViewTraits &traits = ViewTraits::of(m_viewName);
    const QString id = values.value(RowField::StoreId);
    const QString first = values.value(traits.rowLinkFirst);
    const QString second = values.value(traits.rowLinkSecond);
    qDebug() << "VelloraModel::onPromotionClicked()" << first << second << id;
    PromotionLauncher::instance()->launchInMusicStoreClient(
            traits.rowLink + first + QLatin1Char('/') + second + QLatin1Char('/') + id);
}

int VelloraModel::fetchDelay() const
{
    return m_loading ? 0 : LookupDelay;
}

void VelloraModel::parseAnswer(const StoreQueries::QuerySet &set,
                               void (VelloraModel::*parsedSlot)())
{
    disconnect(m_parser, nullptr, nullptr, nullptr);
    const QByteArray answer = m_network->getXmlData();
    // The parser reports nothing for an empty document, which would leave
    // the chain waiting for ever.
    if (answer.isEmpty()) {
        onErrorOccurred(QStringLiteral("empty answer"), 0);
        return;
    }
    m_parser->setData(answer);
    connect(m_parser, &PromotionXmlParser::parseReady, this, parsedSlot, Qt::QueuedConnection);
    m_parser->parseUseQXmlStreamReader(set.queries, set.namespaces, set.columns, !m_loading,
                                       set.limit);
}

bool VelloraModel::takeParseResult(QMap<int, QStringList> &result)
{
    if (sender() != m_parser)
        return false;
    disconnect(m_parser, nullptr, nullptr, nullptr);
    result = m_parser->getResultsMap();
    // What was read before a break in the answer is no answer.
    if (result.isEmpty() || m_parser->hasError()) {
        onErrorOccurred(QStringLiteral("error inside parser"), 0);
        return false;
    }
    return true;
}
