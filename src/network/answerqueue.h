#pragma once

#include <QList>
#include <QObject>
#include <QThreadPool>

#include <functional>

#include "answercache.h"
#include "download.h"
#include "raskquery.h"

class QNetworkAccessManager;

// The store's answers, asked for one at a time in the order the consumers
// asked: each served from the cache while fresh, else downloaded, written to
// the cache and only then announced. Consumers asking for one URL share its
// entry, each with an id of its own.
class AnswerQueue : public QObject
{
    Q_OBJECT

public:
    // Whether the handset is online, or could be brought online now.
    using ConnectionCheck = std::function<bool()>;

    AnswerQueue(const ConnectionCheck &connected, QObject *parent = nullptr);
    // Stops every download without a word; waits for the answer being written.
    ~AnswerQueue() override;

    QNetworkAccessManager *network() const { return m_network; }
    void setCacheFolder(const QString &folder);
    QString cacheFolder() const;
    void setLimits(const Download::Limits &limits);

    int fetch(const QString &url, int delay);
    // The answer of a consumer's id, which is then done with.
    QByteArray take(int id);
    void cancel(int id);
    void releaseCache(const QString &url) const;
    // Every change that may let the queue move on asks for a check here.
    void scheduleCheck(int delay = 0);

signals:
    void errorOccurred(int id, QString errorDescription, int errorCode);
    void fetchingStarted(int id);
    void downloaded(int id);
    // An answer went into the cache.
    void cacheWritten();

private:
    // One consumer's claim on a queue entry.
    struct Ticket
    {
        int id;
        bool started;
        bool announced;
    };

    struct Entry
    {
        // Waiting for a queue check, which serves it from the cache or starts
        // its download; Saving while its answer is written to the cache, for
        // it is announced only once on disk; Answered, its data in the query.
        enum class State { Waiting, Downloading, Saving, Answered };

        RaskQuery query;
        QList<Ticket> tickets;
        State state = State::Waiting;
        Download *download = nullptr; // while Downloading
        quint64 save = 0; // while Saving: which write finishes it
    };

    void checkPendingQueries();
    void startEntry(int index);
    void onDownloadFinished(Download *download);
    void finishSave(quint64 save);
    void refuseEntry(int index);
    void removeTicket(int id);
    int allocateId();
    int entryIndexOfId(int id) const;
    // Sets the flag on every ticket that lacks it and returns their ids.
    static QList<int> markTickets(QList<Ticket> &tickets, bool Ticket::*told);
    void announceAnswer(Entry &entry);

    ConnectionCheck m_connected;
    QNetworkAccessManager *m_network;
    AnswerCache m_answers;
    Download::Limits m_limits;
    QList<Entry> m_queue;
    int m_nextId = 0;
    quint64 m_lastSave = 0;
    // Answers are written to the cache here: the write ends in a flush to the
    // disk, which can take many milliseconds when the disk is busy.
    QThreadPool m_cachePool;
};
