#pragma once

#include <QString>

#include "fakestoreclient.h"
#include "simulatedbearerbackend.h"
#include "storeserver.h"
#include "viewnames.h"

class SvWidget;
class VelloraView;

// The in-process store, an online handset, the store client and its
// settings pointing at the store; shared by the suites that run the model,
// the panel or the whole plug-in.
class PanelFixture
{
public:
    PanelFixture();
    ~PanelFixture();

    // Call from initTestCase: starts the store and writes the settings.
    bool start();
    // Call from init: forgets answers and pictures, faults, the request log
    // and the links sent; the handset is online and the store takes its usual token.
    void reset();

    StoreServer &store() { return m_store; }
    const StoreServer &store() const { return m_store; }
    FakeStoreClient &storeClient() { return m_storeClient; }
    SimulatedBearerBackend &bearer() { return m_bearer; }

    // Writes the feature switch from another program and waits until the
    // panel's switch reports the new value.
    bool setFeatureSwitch(bool enabled);

    // Writes a catalog whose one seed artist, "Shared Seed", has one similar
    // artist with one album of that many tracks, so every similar track
    // carries the album's picture; returns its path for StoreServer::loadCatalog.
    static QString writeOneAlbumCatalog(int tracks);

    int searchRequestCount(const QString &artist) const;

    // Sends one request through the shared network service and waits for its
    // answer. The service serves its queue in order, so every request that
    // the panel had queued before has reached the store by then.
    bool drainNetworkQueue();

    // Gives the view a size and lays it out, as the host's scene would.
    static void layOut(SvWidget *view);

private:
    FakeStoreClient m_storeClient;
    SimulatedBearerBackend m_bearer;
    StoreServer m_store;
    int m_probe = 0;
};
