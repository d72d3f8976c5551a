#pragma once

class FakeStoreClient;
class MprisFollower;
class PageOpener;
class PluginHost;
struct PlayerOptions;
struct PlayerTrack;

// The player's runs without a window: the options' view is shown off
// screen, and what it comes to is printed. Each returns the run's exit code.
class PanelRunner
{
public:
    // One track: waits for the panel to settle, then prints, renders and
    // touches it as the options ask.
    static int runOnce(const PlayerOptions &options, PluginHost &host, FakeStoreClient &storeClient,
                       PageOpener *opener, const PlayerTrack &track);
    // Each change of the followed player or its track, as a block, with the
    // panel's rows once it has settled on them, until interrupted or the
    // options' time-out.
    static int follow(const PlayerOptions &options, PluginHost &host, MprisFollower &follower);
};
