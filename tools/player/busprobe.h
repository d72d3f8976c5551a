#pragma once

#include <QLocalSocket>
#include <QObject>
#include <QTimer>

// Tells whether the session bus's daemon answers at all, on a socket of its
// own rather than through Qt's bus connections. Opening a bus connection to
// a daemon that has stopped answering holds every bus connection of the
// process, and any thread that names one, until the daemon answers again
// (Qt keeps its connection lock through the handshake, which has no
// time-out); so a connection is opened only after the daemon answered.
class BusProbe : public QObject
{
    Q_OBJECT

public:
    explicit BusProbe(QObject *parent = nullptr);

    // Asks without blocking: answered() follows within timeoutMs (within the
    // call when there is no socket to ask on).
    void ask(int timeoutMs);
    // Asks and waits at most timeoutMs.
    bool answers(int timeoutMs);

    // The daemon's socket named by a bus address: the first local socket of
    // the list, a path or an abstract name (abstract names start with '@');
    // empty when it names none.
    static QString socketOf(const QByteArray &address);

signals:
    // answering: the daemon spoke, or the bus is not reached through a local
    // socket and cannot be asked (then it is taken as answering).
    void answered(bool answering);

private slots:
    void onConnected();
    void onReadyRead();
    void onGone();

private:
    void finish(bool answering);

    QLocalSocket m_socket;
    QTimer m_timeout;
    bool m_asking = false;
};
