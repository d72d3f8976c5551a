#pragma once

#include <QString>

#include "fakestoreclient.h"
#include "simulatedbearerbackend.h"
#include "storeserver.h"
#include "viewnames.h"

class SvWidget;
class VelloraView;

// The in-process store, an online handset and store client settings that
// point at the store; shared by the panel tests.
class PanelFixture
{
public:
    PanelFixture();
    ~PanelFixture();

    // Call from initTestCase: starts the store and writes the settings.
    bool start();
    // Call from init: forgets answers and pictures, faults and the request log.
    void reset();

    StoreServer &store() { return m_store; }
    FakeStoreClient &storeClient() { return m_storeClient; }

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
