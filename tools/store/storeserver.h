#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "storeanswer.h"
#include "storeanswershaper.h"
#include "storecatalog.h"
#include "storefault.h"
#include "storehttplistener.h"
#include "storehttprequest.h"
#include "storepictures.h"
#include "storerequest.h"

class QTcpSocket;
class StoreHttpConnection;

// The project's own music store: answers the plug-in's territory, artist
// search and similar-items requests with Atom documents and serves the
// pictures they link to. It reads the requests and writes every answer
// itself on the connection's socket, so that faults can break an answer at
// any byte, send interim answers or reset the connection.
class StoreServer : public QObject
{
    Q_OBJECT

public:
    // What one request gets. Faults added with addFault still shape how it
    // is written.
    using Answer = StoreAnswer;
    using Handler = std::function<Answer(const StoreHttpRequest &request)>;

    explicit StoreServer(QObject *parent = nullptr);
    ~StoreServer() override;

    // The built-in catalog is loaded at construction; a failed load keeps
    // the catalog in use.
    bool loadCatalog(const QString &fileName, QString *error = nullptr);
    const StoreCatalog &catalog() const { return m_catalog; }

    // Listens on 127.0.0.1; port 0 takes a free port. On failure the
    // reason is warned about and kept in errorString().
    bool start(quint16 port = 0);
    QString errorString() const { return m_listener.errorString(); }
    quint16 port() const { return m_listener.port(); }
    QString baseUrl() const { return m_listener.baseUrl(); }

    QString token() const { return m_token; }
    void setToken(const QString &token) { m_token = token; }
    QString apiVersion() const { return m_apiVersion; }
    void setApiVersion(const QString &version) { m_apiVersion = version; }

    void addFault(const StoreFault &fault);
    void clearFaults();
    int pendingFaultCount() const { return int(m_faults.size()); }
    // Answers kept back by the Hold fault.
    int heldCount() const { return int(m_held.size()); }
    void releaseHeld();

    // Requests for path get the handler's answer instead of the store's. The
    // empty path takes every request that no other handler takes, also those
    // sent to the store as to a proxy.
    void setHandler(const QString &path, const Handler &handler);

    // The last MaxLoggedRequests requests, as long as they hold no more than
    // MaxLoggedText of text; the counts go back to the last clearing.
    static constexpr int MaxLoggedRequests = 1000;
    static constexpr qsizetype MaxLoggedText = 1024 * 1024;
    QList<StoreRequest> requestLog() const { return m_log; }
    int requestCount(StoreRequest::Kind kind) const { return m_requestCounts.value(kind); }
    void clearRequestLog();

    // How long a request's head may take from its first byte, and how long
    // a connection may carry no request. Connections are bounded too: at
    // half the descriptors the process may still open when the store is
    // made (at most 1024), the oldest connection that carries no request
    // makes room for a new one.
    void setTimeouts(int headTimeoutMs, int idleTimeoutMs)
    {
        m_listener.setTimeouts(headTimeoutMs, idleTimeoutMs);
    }

    // Lower-case country code of a mobile country code; empty when unknown.
    static QString countryForMobileCountryCode(const QString &mcc);

signals:
    void requestReceived(const StoreRequest &request);
    // The client closed a connection; request is the last one it carried.
    void connectionClosed(const StoreRequest &request);

private:
    struct Held
    {
        QPointer<StoreHttpConnection> connection;
        Answer answer;
    };

    void logRequest(const StoreRequest &entry);
    void handleRequest(const StoreHttpRequest &request, StoreHttpConnection *connection);
    Answer route(const QString &path, const QString &query, int extraEntries,
                 StoreRequest::Kind *kind);
    Answer similarAnswer(const QString &id, int items, StoreRequest::Kind kind);
    std::optional<StoreFault> takeFault(const QString &path);
    // Writes the answer as the fault shapes it, and tells the connection
    // once it is whole.
    void deliver(StoreHttpConnection *connection, const Answer &answer,
                 const std::optional<StoreFault> &fault);
    void answer(StoreHttpConnection *connection, const Answer &answer,
                const std::optional<StoreFault> &fault);

    StoreCatalog m_catalog;
    std::unique_ptr<StorePictures> m_pictures;
    StoreAnswerShaper m_shaper;
    QList<StoreFault> m_faults;
    QList<Held> m_held;
    QHash<QString, Handler> m_handlers;
    QList<StoreRequest> m_log;
    qsizetype m_loggedText = 0;
    QHash<StoreRequest::Kind, int> m_requestCounts;
    QHash<QTcpSocket *, StoreRequest> m_lastRequests;
    QString m_token;
    QString m_apiVersion;
    // Last, so that the connections go, with what waits on them, before
    // anything they use.
    StoreHttpListener m_listener;
};
