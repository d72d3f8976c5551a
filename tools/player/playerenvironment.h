#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Keeps the demo away from the user's own home, cache, settings and
// session bus unless a home is named: before anything reads them it points
// HOME and the XDG folders at a temporary home and runs the player again
// under a private session bus, which also serves dconf and the store client.
class PlayerEnvironment
{
public:
    // The caller's cache folder, kept before a throw-away home takes the
    // XDG folders' place.
    static constexpr char CallerCacheVariable[] = "VELLORA_CALLER_CACHE";

    PlayerEnvironment(int argc, char **argv);
    ~PlayerEnvironment();

    // The command line, as text, for its parser.
    QStringList arguments() const;

    // -1: go on in this process; otherwise the exit status of the player
    // run in a child process. home: the folder named for the run; empty for
    // a throw-away one. keepsSessionBus: the home is still a throw-away one,
    // but the player stays on the caller's session bus, where the players it
    // follows are.
    int isolate(const QString &home = QString(), bool keepsSessionBus = false);

    // True inside a throw-away home, where the demo may write the store
    // client's settings file.
    bool isSandboxed() const;

    // Whether the caller has a session bus: the address given, or the
    // user's bus socket in the runtime folder, which is then named in
    // DBUS_SESSION_BUS_ADDRESS so that it outlives a new runtime folder.
    static bool findSessionBus();

    // The caller's session bus: the address given, or the user's bus socket
    // in the runtime folder; empty if neither.
    static QByteArray sessionBusAddress();

private:
    bool makeSandbox();
    // A private runtime folder for a named home when the caller has none.
    bool makeRuntimeFolder();
    // The player again in a child process, which this one waits for and
    // cleans up after; under a private session bus or on the caller's.
    int runInChild(bool privateBus);

    QList<QByteArray> m_arguments;
    QByteArray m_sandbox;
    QByteArray m_runtimeFolder; // made for a named home, removed at the end
    QByteArray m_userBus; // the caller's session bus, if any
};
