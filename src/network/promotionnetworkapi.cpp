#include "promotionnetworkapi.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include "cachefile.h"
#include "cachetrimmer.h"
#include "environmentproxyfactory.h"
#include "networkconfigurationmanager.h"
#include "networksession.h"
#include "thumbnailer.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Far beyond any real answer (the largest search answers are a few MiB) or
// store picture; anything larger is broken or hostile and never held whole.
const qint64 DefaultPictureSizeLimit = 4 * 1024 * 1024;
const char TooLargeProperty[] = "tooLarge";
// A host runs for days: the cache is trimmed at the start and again after
// this many files have been written to it.
const int WritesBetweenTrims = 100;

// The store client's device token rides in the query of every store URL,
// and the network layer's error texts quote the URL; the texts go on to
// logs, the token must not.
QString withoutToken(const QString &text)
{
    static const QRegularExpression token(QStringLiteral("([?&]token=)[^&#\\s\"]*"));
    return QString(text).replace(token, QStringLiteral("\\1***"));
}

bool isTooLarge(const QNetworkReply *reply)
{
    return reply->property(TooLargeProperty).toBool();
}

// Decoding a large picture takes a core for tens of milliseconds; on a
// handset with two the user interface must never wait for it, so the
// pool's threads run at a tenth of its weight. Not at idle priority: a
// thread there gets no processor at all while any other program keeps the
// cores busy, and with two such programs no picture came for minutes.
void yieldToInterface()
{
    static thread_local bool yielded = false;
    if (!yielded)
        yielded = ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 10) == 0;
}

} // namespace

PromotionNetworkAPI *PromotionNetworkAPI::m_instance = nullptr;

bool PromotionNetworkAPI::isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            && !url.host().isEmpty();
}

PromotionNetworkAPI *PromotionNetworkAPI::instance()
{
    if (!m_instance)
        m_instance = new PromotionNetworkAPI;
    return m_instance;
}

void PromotionNetworkAPI::shutDown()
{
    delete m_instance;
}

PromotionNetworkAPI::PromotionNetworkAPI(QObject *parent)
    : QObject(parent),
      m_configurationManager(new NetworkConfigurationManager(this)),
      m_imageManager(new QNetworkAccessManager(this)),
      m_xmlManager(new QNetworkAccessManager(this)),
      m_session(nullptr),
      m_isOnline(false),
      m_nextId(0),
      m_transferTimeout(30000),
      m_downloadDeadline(120000),
      m_answerSizeLimit(DefaultAnswerSizeLimit),
      m_pictureSizeLimit(DefaultPictureSizeLimit)
{
    m_imagePool.setMaxThreadCount(1);
    m_cachePool.setMaxThreadCount(1);
    m_trimPool.setMaxThreadCount(1);
    prepareCacheDirectories();
    trimCache();

    connect(m_configurationManager, &NetworkConfigurationManager::onlineStateChanged, this,
            &PromotionNetworkAPI::changeOnlineState);
    connect(m_xmlManager, &QNetworkAccessManager::finished, this, &PromotionNetworkAPI::saveXml);
    connect(m_imageManager, &QNetworkAccessManager::finished, this,
            &PromotionNetworkAPI::saveImage);

    setProxyFromEnvironment();
    m_isOnline = m_configurationManager->isOnline();
}

PromotionNetworkAPI::~PromotionNetworkAPI()
{
    // Downloads closed while shutting down are not failures worth reporting.
    disconnect(m_xmlManager, nullptr, this, nullptr);
    disconnect(m_imageManager, nullptr, this, nullptr);
    clearQueue();
    m_stopTrim = true;
    m_trimPool.waitForDone();
    m_cachePool.waitForDone();
    // Pictures still waiting for the decoder are dropped; only the one being
    // decoded is waited for.
    m_imagePool.clear();
    m_imagePool.waitForDone();
    delete m_session;
    m_session = nullptr;
    if (m_instance == this)
        m_instance = nullptr;
}

void PromotionNetworkAPI::setTransferTimeout(int msecs)
{
    m_transferTimeout = msecs;
}

void PromotionNetworkAPI::setDownloadDeadline(int msecs)
{
    m_downloadDeadline = msecs;
}

void PromotionNetworkAPI::setAnswerSizeLimit(qint64 bytes)
{
    m_answerSizeLimit = bytes;
}

void PromotionNetworkAPI::setPictureSizeLimit(qint64 bytes)
{
    m_pictureSizeLimit = bytes;
}

QNetworkProxy PromotionNetworkAPI::proxy() const
{
    const auto *factory = dynamic_cast<EnvironmentProxyFactory *>(m_xmlManager->proxyFactory());
    return factory ? factory->proxy() : m_xmlManager->proxy();
}

void PromotionNetworkAPI::setProxyFromEnvironment()
{
    const QNetworkProxy proxy = EnvironmentProxyFactory::proxyFromEnvironment();
    if (proxy.type() != QNetworkProxy::HttpProxy) {
        m_xmlManager->setProxy(proxy);
        m_imageManager->setProxy(proxy);
        return;
    }
    // Each manager owns its factory.
    const QStringList directHosts = EnvironmentProxyFactory::directHostsFromEnvironment();
    m_xmlManager->setProxyFactory(new EnvironmentProxyFactory(proxy, directHosts));
    m_imageManager->setProxyFactory(new EnvironmentProxyFactory(proxy, directHosts));
}

int PromotionNetworkAPI::fetchXml(const QString &url, int delay)
{
    const Ticket ticket { allocateId(), false, false };
    auto entry = std::find_if(m_queue.begin(), m_queue.end(),
                              [&url](const QueueEntry &e) { return e.query.url == url; });
    if (entry != m_queue.end())
        entry->tickets.append(ticket);
    else
        m_queue.append(QueueEntry { RaskQuery { url, QByteArray() }, { ticket } });

    scheduleCheck(delay);
    return ticket.id;
}

QByteArray PromotionNetworkAPI::getXmlData(int id)
{
    const int index = entryIndexOfId(id);
    if (index < 0)
        return QByteArray();
    const QueueEntry &entry = m_queue.at(index);
    const QByteArray data =
            entry.state == QueueEntry::State::Answered ? entry.query.data : QByteArray();
    removeTicket(id);
    return data;
}

void PromotionNetworkAPI::cancel(int id)
{
    removeTicket(id);
}

void PromotionNetworkAPI::removeTicket(int id)
{
    const int index = entryIndexOfId(id);
    if (index < 0)
        return;
    QList<Ticket> &tickets = m_queue[index].tickets;
    tickets.removeIf([id](const Ticket &t) { return t.id == id; });
    if (!tickets.isEmpty())
        return;

    // The entry leaves the queue before its download is stopped: a reply that
    // finishes without an entry is one we cancelled, and raises no signal.
    QNetworkReply *reply = m_queue.takeAt(index).reply;
    if (reply) {
        reply->abort();
        reply->deleteLater();
    }
}

int PromotionNetworkAPI::allocateId()
{
    int id;
    do {
        id = m_nextId;
        m_nextId = m_nextId == std::numeric_limits<int>::max() ? 0 : m_nextId + 1;
    } while (entryIndexOfId(id) >= 0);
    return id;
}

int PromotionNetworkAPI::entryIndexOfId(int id) const
{
    for (int i = 0; i < m_queue.size(); ++i) {
        for (const Ticket &ticket : m_queue.at(i).tickets) {
            if (ticket.id == id)
                return i;
        }
    }
    return -1;
}

int PromotionNetworkAPI::entryIndexOfReply(const QNetworkReply *reply) const
{
    for (int i = 0; i < m_queue.size(); ++i) {
        if (m_queue.at(i).reply == reply)
            return i;
    }
    return -1;
}

QList<int> PromotionNetworkAPI::markTickets(QList<Ticket> &tickets, bool Ticket::*told)
{
    QList<int> ids;
    for (Ticket &ticket : tickets) {
        if (!(ticket.*told)) {
            ticket.*told = true;
            ids.append(ticket.id);
        }
    }
    return ids;
}

void PromotionNetworkAPI::announceAnswer(QueueEntry &entry)
{
    // Ids first: a receiver may take the entry out of the queue.
    const QList<int> ids = markTickets(entry.tickets, &Ticket::announced);
    for (int id : ids)
        emit xmlDownloaded(id);
}

void PromotionNetworkAPI::changeOnlineState(bool isOnline)
{
    m_isOnline = isOnline;
    scheduleCheck();
}

void PromotionNetworkAPI::scheduleCheck(int delay)
{
    QTimer::singleShot(delay, this, &PromotionNetworkAPI::checkPendingQueries);
}

void PromotionNetworkAPI::checkPendingQueries()
{
    for (int i = 0; i < m_queue.size(); ++i) {
        QueueEntry &entry = m_queue[i];
        // An answer on its way to the cache holds the queue like a download:
        // the entries behind it may be served from what it writes.
        if (entry.state == QueueEntry::State::Saving)
            return;
        if (entry.state == QueueEntry::State::Waiting
            && m_answers.load(entry.query.url, m_answerSizeLimit, entry.query.data)) {
            entry.state = QueueEntry::State::Answered;
        }
        if (entry.state == QueueEntry::State::Answered) {
            announceAnswer(entry);
            continue;
        }
        fetch(entry.tickets.first().id);
        return;
    }
}

void PromotionNetworkAPI::fetch(int id)
{
    const int index = entryIndexOfId(id);
    if (index < 0)
        return;
    const QUrl url(m_queue.at(index).query.url, QUrl::TolerantMode);
    if (!isWebUrl(url)) {
        refuseEntry(index);
        return;
    }
    // Connectivity comes first: a running download is no proof of a connection.
    if (!m_isOnline && !openInternetConnection()) {
        const QList<Ticket> tickets = m_queue.at(index).tickets;
        for (const Ticket &ticket : tickets)
            emit errorOccurred(ticket.id, QStringLiteral("NO_INTERNET_CONNECTION"), 0);
        return;
    }

    QueueEntry &entry = m_queue[index];
    if (entry.state == QueueEntry::State::Waiting) {
        entry.reply = startDownload(m_xmlManager, QNetworkRequest(url), m_answerSizeLimit);
        if (!entry.reply)
            return;
        entry.state = QueueEntry::State::Downloading;
    }

    // Consumers that joined a running download learn of it at the next check.
    const QList<int> ids = markTickets(entry.tickets, &Ticket::started);
    for (int ticketId : ids)
        emit xmlFetchingStarted(ticketId);
}

void PromotionNetworkAPI::refuseEntry(int index)
{
    const QueueEntry entry = m_queue.takeAt(index);
    scheduleCheck();
    const QString text = QStringLiteral("URL refused: only http and https are fetched");
    for (const Ticket &ticket : entry.tickets)
        emit errorOccurred(ticket.id, text, QNetworkReply::ProtocolUnknownError);
}

QNetworkReply *PromotionNetworkAPI::startDownload(QNetworkAccessManager *manager,
                                                  QNetworkRequest request, qint64 sizeLimit)
{
    request.setTransferTimeout(m_transferTimeout);
    QNetworkReply *reply = manager->get(request);
    if (!reply)
        return nullptr;
    // A server that drips a byte now and then never trips the transfer time-out.
    if (m_downloadDeadline > 0)
        QTimer::singleShot(m_downloadDeadline, reply, &QNetworkReply::abort);

    // The announced length stops a large body before it comes; a body without
    // one (chunked, or ended by closing) is stopped once too much has come.
    // The read buffer holds the network thread back at one byte past the
    // limit, however long this thread takes to look. What arrives is moved
    // out of it at once: the network layer hands data on in pieces as large
    // as a chunk, and one that did not fit the room left would stall the
    // transfer with the limit not yet passed.
    reply->setReadBufferSize(sizeLimit + 1);
    auto *body = new QBuffer(reply);
    body->open(QIODevice::WriteOnly);
    const auto checkSize = [reply, sizeLimit](qint64 received, qint64 total) {
        if (reply->isRunning() && (received > sizeLimit || total > sizeLimit)) {
            reply->setProperty(TooLargeProperty, true);
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, checkSize] {
        checkSize(0, reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    connect(reply, &QIODevice::readyRead, reply, [reply, body, checkSize] {
        body->write(reply->readAll());
        checkSize(body->size(), 0);
    });
    return reply;
}

QByteArray PromotionNetworkAPI::takeBody(QNetworkReply *reply)
{
    QByteArray data;
    if (auto *body = reply->findChild<QBuffer *>(QString(), Qt::FindDirectChildrenOnly)) {
        data = body->data();
        body->buffer().clear();
    }
    return data + reply->readAll();
}

bool PromotionNetworkAPI::openInternetConnection()
{
    if (!(m_configurationManager->capabilities()
          & NetworkConfigurationManager::NetworkSessionRequired)) {
        return false;
    }

    const NetworkConfiguration configuration = m_configurationManager->defaultConfiguration();
    if (m_session && m_session->configuration() != configuration) {
        delete m_session;
        m_session = nullptr;
    }
    if (!m_session)
        m_session = new NetworkSession(configuration);

    m_session->setSessionProperty(QStringLiteral("ConnectInBackground"), true);
    m_session->open();
    return m_session->waitForOpened(30000);
}

void PromotionNetworkAPI::saveXml(QNetworkReply *reply)
{
    scheduleCheck();
    if (!reply)
        return;
    reply->deleteLater();

    const int index = entryIndexOfReply(reply);
    if (index < 0)
        return;

    // Qt takes an informational answer other than 100 Continue (103 Early
    // Hints) for the final one, and reports it without an error and without
    // the body that follows.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool interim = status >= 100 && status < 200;
    if (reply->error() == QNetworkReply::NoError && !interim) {
        // The answer is announced only once it is in the cache, as when it
        // was written here, but the user interface goes on meanwhile.
        QueueEntry &entry = m_queue[index];
        entry.reply = nullptr;
        entry.query.data = takeBody(reply);
        // A body that ends only when the connection closes may have been cut
        // short, which nothing else tells us; use it now, but never keep it.
        if (!reply->header(QNetworkRequest::ContentLengthHeader).isValid()
            && !reply->rawHeader("Transfer-Encoding").toLower().contains("chunked")) {
            entry.state = QueueEntry::State::Answered;
            announceAnswer(entry);
            return;
        }
        entry.state = QueueEntry::State::Saving;
        entry.save = ++m_lastSave;
        const quint64 save = entry.save;
        const QString path = m_answers.pathOf(entry.query.url);
        const QByteArray data = entry.query.data;
        m_cachePool.start([this, save, path, data] {
            AnswerCache::save(path, data);
            QMetaObject::invokeMethod(
                    this, [this, save] { finishSave(save); }, Qt::QueuedConnection);
        });
        return;
    }

    const QueueEntry entry = m_queue.takeAt(index);
    int code = reply->error();
    QString text = reply->errorString();
    // Our own cancels take the entry out of the queue before stopping the
    // reply, so a cancelled reply that still had an entry ran out of time
    // or grew too large.
    if (isTooLarge(reply)) {
        code = QNetworkReply::UnknownContentError;
        text = QStringLiteral("answer too large");
    } else if (interim) {
        code = QNetworkReply::ProtocolFailure;
        text = QStringLiteral("interim HTTP status %1 taken for the answer").arg(status);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        code = QNetworkReply::TimeoutError;
        text = QStringLiteral("Download of %1 timed out").arg(entry.query.url);
    }
    text = withoutToken(text);
    for (const Ticket &ticket : entry.tickets)
        emit errorOccurred(ticket.id, text, code);
}

void PromotionNetworkAPI::clearQueue()
{
    const QList<QNetworkReply *> images = std::exchange(m_imageReplies, {});
    for (QNetworkReply *reply : images)
        reply->abort();

    const QList<QueueEntry> entries = std::exchange(m_queue, {});
    for (const QueueEntry &entry : entries) {
        if (entry.reply)
            entry.reply->abort();
    }
}

void PromotionNetworkAPI::prepareCacheDirectories()
{
    const QString basePath =
            QDir(QDir::homePath() + QStringLiteral("/.cache/raskrestapi/")).absolutePath();
    m_answers.setFolder(basePath + QStringLiteral("/queries/"));
    m_imageCacheDir = basePath + QStringLiteral("/images/");
    QDir().mkpath(m_imageCacheDir);
    m_canonicalImageCacheDir = QDir(m_imageCacheDir).canonicalPath();
}

QString PromotionNetworkAPI::imageCacheDirectory() const
{
    return m_canonicalImageCacheDir;
}

QString PromotionNetworkAPI::createMd5Hash(const QString &url) const
{
    return CacheFile::nameFor(url);
}

void PromotionNetworkAPI::trimCache()
{
    m_writesSinceTrim = 0;
    const QStringList folders { m_answers.folder(), m_imageCacheDir };
    // At the normal priority: a thread that runs only when nothing else
    // wants the processor would keep a quitting host waiting for its stop.
    // A trim still running is not followed by another over the same folders.
    m_trimPool.tryStart([this, folders] { CacheTrimmer::trim(folders, m_stopTrim); });
}

void PromotionNetworkAPI::countCacheWrite()
{
    if (++m_writesSinceTrim >= WritesBetweenTrims)
        trimCache();
}

void PromotionNetworkAPI::finishSave(quint64 save)
{
    countCacheWrite();
    scheduleCheck();
    // A cancelled entry has left the queue; its answer stays in the cache.
    auto entry = std::find_if(m_queue.begin(), m_queue.end(),
                              [save](const QueueEntry &e) { return e.save == save; });
    if (entry == m_queue.end())
        return;
    entry->save = 0;
    entry->state = QueueEntry::State::Answered;
    announceAnswer(*entry);
}

void PromotionNetworkAPI::releaseCache(QString url) const
{
    m_answers.release(url);
}

QString PromotionNetworkAPI::getArtOfMusicItem(const QString &url)
{
    const QUrl address(url);
    if (!isWebUrl(address))
        return QString();
    const QString path = m_imageCacheDir + createMd5Hash(url);
    const QFileInfo info(path);
    if (CacheFile::isPlain(info)) {
        if (CacheFile::isFresh(info) && Thumbnailer::isThumbnail(path))
            return path;
        if (!QFile::remove(path))
            qDebug() << "const QString PromotionNetworkAPI::getArtOfMusicItem(const QString&)"
                     << " - Failed to remove old image file.";
    }

    if (imageDownloadOf(url))
        return QString();

    // The URL rides along with the request: a redirected reply reports another URL,
    // and consumers find their picture by the one they asked for.
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::User, url);
    if (QNetworkReply *reply = startDownload(m_imageManager, request, m_pictureSizeLimit))
        m_imageReplies.append(reply);
    return QString();
}

QNetworkReply *PromotionNetworkAPI::imageDownloadOf(const QString &url) const
{
    for (QNetworkReply *reply : m_imageReplies) {
        if (reply->request().attribute(QNetworkRequest::User).toString() == url)
            return reply;
    }
    return nullptr;
}

void PromotionNetworkAPI::retainImage(const QObject *consumer, const QString &url)
{
    if (isWebUrl(QUrl(url)))
        m_imageConsumers[url].insert(consumer);
}

void PromotionNetworkAPI::releaseImages(const QObject *consumer)
{
    m_imageConsumers.removeIf(
            [this, consumer](std::pair<const QString &, QSet<const QObject *> &> it) {
                it.second.remove(consumer);
                if (!it.second.isEmpty())
                    return false;
                // A finished download is already being stored; only a running one is dropped.
                QNetworkReply *reply = imageDownloadOf(it.first);
                if (reply && reply->isRunning()) {
                    // Out of the list first: a reply that finishes outside it raises nothing.
                    m_imageReplies.removeOne(reply);
                    reply->abort();
                }
                return true;
            });
}

void PromotionNetworkAPI::saveImage(QNetworkReply *reply)
{
    if (!reply)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        // A reply no longer in flight was dropped on purpose: nothing to say.
        if (m_imageReplies.removeOne(reply))
            qDebug() << (isTooLarge(reply) ? QStringLiteral("picture too large")
                                           : withoutToken(reply->errorString()))
                     << int(reply->error());
        reply->deleteLater();
        return;
    }

    // The reply stays among the downloads in flight until its picture is stored,
    // so that a request meanwhile does not fetch the same picture again.
    const QString url = reply->request().attribute(QNetworkRequest::User).toString();
    const QString path = m_imageCacheDir + createMd5Hash(url);
    const QByteArray body = takeBody(reply);
    m_imagePool.start([this, reply, url, path, body] {
        yieldToInterface();
        const Thumbnailer::Result result = Thumbnailer::store(body, path);
        QMetaObject::invokeMethod(
                this, [this, reply, url, path, result] { finishImage(reply, url, path, result); },
                Qt::QueuedConnection);
    });
}

void PromotionNetworkAPI::finishImage(QNetworkReply *reply, const QString &url, const QString &path,
                                      Thumbnailer::Result result)
{
    m_imageReplies.removeOne(reply);
    reply->deleteLater();
    switch (result) {
    case Thumbnailer::Result::Saved:
        countCacheWrite();
        emit imageDownloaded(url, path);
        break;
    case Thumbnailer::Result::DecodeFailed:
        qDebug() << "void PromotionNetworkAPI::saveImage(QNetworkReply*)"
                 << " - Failed to load image!";
        break;
    case Thumbnailer::Result::SaveFailed:
        qDebug() << "void PromotionNetworkAPI::saveImage(QNetworkReply*)"
                 << " - Failed to save scaled image!";
        break;
    }
}
