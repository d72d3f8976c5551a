#include "answerqueue.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <utility>

AnswerQueue::AnswerQueue(const ConnectionCheck &connected, QObject *parent)
    : QObject(parent),
      m_connected(connected),
      m_network(new QNetworkAccessManager(this))
{
    m_cachePool.setMaxThreadCount(1);
}

AnswerQueue::~AnswerQueue()
{
    // Downloads closed while shutting down are not failures worth reporting.
    const QList<Entry> entries = std::exchange(m_queue, {});
    for (const Entry &entry : entries) {
        if (entry.download) {
            disconnect(entry.download, nullptr, this, nullptr);
            entry.download->abort();
        }
    }
    m_cachePool.waitForDone();
}

void AnswerQueue::setCacheFolder(const QString &folder)
{
    m_answers.setFolder(folder);
}

QString AnswerQueue::cacheFolder() const
{
    return m_answers.folder();
}

void AnswerQueue::setLimits(const Download::Limits &limits)
{
    m_limits = limits;
}

int AnswerQueue::fetch(const QString &url, int delay)
{
    const Ticket ticket { allocateId(), false, false };
    auto entry = std::find_if(m_queue.begin(), m_queue.end(),
                              [&url](const Entry &e) { return e.query.url == url; });
    if (entry != m_queue.end())
        entry->tickets.append(ticket);
    else
        m_queue.append(Entry { RaskQuery { url, QByteArray() }, { ticket } });

    scheduleCheck(delay);
    return ticket.id;
}

QByteArray AnswerQueue::take(int id)
{
    const int index = entryIndexOfId(id);
    if (index < 0)
        return QByteArray();
    const Entry &entry = m_queue.at(index);
    const QByteArray data = entry.state == Entry::State::Answered ? entry.query.data : QByteArray();
    removeTicket(id);
    return data;
}

void AnswerQueue::cancel(int id)
{
    removeTicket(id);
}

void AnswerQueue::releaseCache(const QString &url) const
{
    m_answers.release(url);
}

void AnswerQueue::removeTicket(int id)
{
    const int index = entryIndexOfId(id);
    if (index < 0)
        return;
    QList<Ticket> &tickets = m_queue[index].tickets;
    tickets.removeIf([id](const Ticket &t) { return t.id == id; });
    if (!tickets.isEmpty())
        return;

    // The entry leaves the queue before its download is stopped: a download
    // that finishes without an entry is one we cancelled, and raises no signal.
    Download *download = m_queue.takeAt(index).download;
    if (download) {
        download->abort();
        download->discard();
    }
}

int AnswerQueue::allocateId()
{
    int id;
    do {
        id = m_nextId;
        m_nextId = m_nextId == std::numeric_limits<int>::max() ? 0 : m_nextId + 1;
    } while (entryIndexOfId(id) >= 0);
    return id;
}

int AnswerQueue::entryIndexOfId(int id) const
{
    for (int i = 0; i < m_queue.size(); ++i) {
        for (const Ticket &ticket : m_queue.at(i).tickets) {
            if (ticket.id == id)
                return i;
        }
    }
    return -1;
}

QList<int> AnswerQueue::markTickets(QList<Ticket> &tickets, bool Ticket::*told)
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

void AnswerQueue::announceAnswer(Entry &entry)
{
    // Ids first: a receiver may take the entry out of the queue.
    const QList<int> ids = markTickets(entry.tickets, &Ticket::announced);
    for (int id : ids)
        emit downloaded(id);
}

void AnswerQueue::scheduleCheck(int delay)
{
    QTimer::singleShot(delay, this, &AnswerQueue::checkPendingQueries);
}

void AnswerQueue::checkPendingQueries()
{
    for (int i = 0; i < m_queue.size(); ++i) {
        Entry &entry = m_queue[i];
        // An answer on its way to the cache holds the queue like a download:
        // the entries behind it may be served from what it writes.
        if (entry.state == Entry::State::Saving)
            return;
        if (entry.state == Entry::State::Waiting
            && m_answers.load(entry.query.url, m_limits.sizeLimit, entry.query.data)) {
            entry.state = Entry::State::Answered;
        }
        if (entry.state == Entry::State::Answered) {
            announceAnswer(entry);
            continue;
        }
        startEntry(i);
        return;
    }
}

void AnswerQueue::startEntry(int index)
{
    const QUrl url(m_queue.at(index).query.url, QUrl::TolerantMode);
    if (!Download::isWebUrl(url)) {
        refuseEntry(index);
        return;
    }
    // Connectivity comes first: a running download is no proof of a connection.
    if (!m_connected()) {
        const QList<Ticket> tickets = m_queue.at(index).tickets;
        for (const Ticket &ticket : tickets)
            emit errorOccurred(ticket.id, QStringLiteral("NO_INTERNET_CONNECTION"), 0);
        return;
    }

    Entry &entry = m_queue[index];
    if (entry.state == Entry::State::Waiting) {
        entry.download = Download::start(m_network, QNetworkRequest(url), m_limits);
        connect(entry.download, &Download::finished, this, &AnswerQueue::onDownloadFinished);
        entry.state = Entry::State::Downloading;
    }

    // Consumers that joined a running download learn of it at the next check.
    const QList<int> ids = markTickets(entry.tickets, &Ticket::started);
    for (int ticketId : ids)
        emit fetchingStarted(ticketId);
}

void AnswerQueue::refuseEntry(int index)
{
    const Entry entry = m_queue.takeAt(index);
    scheduleCheck();
    const QString text = QStringLiteral("URL refused: only http and https are fetched");
    for (const Ticket &ticket : entry.tickets)
        emit errorOccurred(ticket.id, text, QNetworkReply::ProtocolUnknownError);
}

void AnswerQueue::onDownloadFinished(Download *download)
{
    scheduleCheck();
    download->discard();
    const auto found = std::find_if(m_queue.begin(), m_queue.end(),
                                    [download](const Entry &e) { return e.download == download; });
    if (found == m_queue.end())
        return;
    const int index = int(found - m_queue.begin());

    // Qt takes an informational answer other than 100 Continue (103 Early
    // Hints) for the final one, and reports it without an error and without
    // the body that follows.
    const QNetworkReply *reply = download->reply();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool interim = status >= 100 && status < 200;
    if (reply->error() == QNetworkReply::NoError && !interim) {
        // The answer is announced only once it is in the cache, as when it
        // was written here, but the user interface goes on meanwhile.
        Entry &entry = m_queue[index];
        entry.download = nullptr;
        entry.query.data = download->takeBody();
        // A body that ends only when the connection closes may have been cut
        // short, which nothing else tells us; use it now, but never keep it.
        if (!reply->header(QNetworkRequest::ContentLengthHeader).isValid()
            && !reply->rawHeader("Transfer-Encoding").toLower().contains("chunked")) {
            entry.state = Entry::State::Answered;
            announceAnswer(entry);
            return;
        }
        entry.state = Entry::State::Saving;
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

    const Entry entry = m_queue.takeAt(index);
    int code = reply->error();
    QString text = reply->errorString();
    // Our own cancels take the entry out of the queue before stopping the
    // download, so a stopped download that still had an entry ran out of
    // time or grew too large.
    if (download->isTooLarge()) {
        code = QNetworkReply::UnknownContentError;
        text = QStringLiteral("answer too large");
    } else if (interim) {
        code = QNetworkReply::ProtocolFailure;
        text = QStringLiteral("interim HTTP status %1 taken for the answer").arg(status);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        code = QNetworkReply::TimeoutError;
        text = QStringLiteral("Download of %1 timed out").arg(entry.query.url);
    }
    text = Download::withoutToken(text);
    for (const Ticket &ticket : entry.tickets)
        emit errorOccurred(ticket.id, text, code);
}

void AnswerQueue::finishSave(quint64 save)
{
    emit cacheWritten();
    scheduleCheck();
    // A cancelled entry has left the queue; its answer stays in the cache.
    auto entry = std::find_if(m_queue.begin(), m_queue.end(),
                              [save](const Entry &e) { return e.save == save; });
    if (entry == m_queue.end())
        return;
    entry->save = 0;
    entry->state = Entry::State::Answered;
    announceAnswer(*entry);
}
