#pragma once

#include <QObject>
#include <QString>

#include "bridgecache.h"
#include "bridgeoptions.h"
#include "storehttplistener.h"

class OpenDataCatalog;
class StoreHttpConnection;
struct StoreHttpRequest;

// Speaks the music store's API on 127.0.0.1 and answers it from open music
// data: the territory, the artist search, similar tracks, albums and
// artists as the store's Atom answers, and the covers they link to. Every
// request is answered within AnswerDeadlineMs, well inside the plug-in's
// time-outs; what upstream could not tell is a 502 or 504, never an empty
// success.
class BridgeServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int AnswerDeadlineMs = 20000;

    explicit BridgeServer(const BridgeOptions &options, QObject *parent = nullptr);
    ~BridgeServer() override;

    bool start(quint16 port = 0);
    QString errorString() const { return m_listener.errorString(); }
    quint16 port() const { return m_listener.port(); }
    QString baseUrl() const { return m_listener.baseUrl(); }
    BridgeCache &cache() { return m_cache; }
    const BridgeOptions &options() const { return m_options; }
    int upstreamRequests() const;

private:
    void handleRequest(const StoreHttpRequest &request, StoreHttpConnection *connection);

    BridgeOptions m_options;
    BridgeCache m_cache;
    OpenDataCatalog *m_catalog;
    StoreHttpListener m_listener;
};
