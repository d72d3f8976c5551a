#pragma once

#include <QByteArray>
#include <QList>

// Keeps the demo away from the user's own home, cache, settings and
// session bus unless a home is named: before anything reads them it points
// HOME and the XDG folders at a temporary home and runs the player again
// under a private session bus, which also serves dconf and the store client.
class PlayerEnvironment
{
public:
    PlayerEnvironment(int argc, char **argv);
    ~PlayerEnvironment();

    // -1: go on in this process; otherwise the exit status of the player
    // run under the private bus.
    int isolate();

    // True inside a throw-away home, where the demo may write the store
    // client's settings file.
    bool isSandboxed() const;

private:
    QByteArray homeArgument() const;
    bool makeSandbox();
    int runUnderPrivateBus();

    QList<QByteArray> m_arguments;
    QByteArray m_sandbox;
};
