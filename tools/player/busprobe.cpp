#include "busprobe.h"

#include <QDeadlineTimer>
#include <QDir>

namespace {

// An authentication request that names no mechanism: a daemon answers it at
// once with the mechanisms it takes, and nothing is ever authenticated.
constexpr char Question[] = "\0AUTH\r\n";
constexpr qint64 QuestionLength = sizeof Question - 1;

// Starts connecting the socket to the session bus's daemon; false when the
// bus is not reached through a local socket.
bool connectToDaemon(QLocalSocket &socket)
{
    QString name;
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        name = BusProbe::socketOf(qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    else if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) // where the bus library looks then
        name = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(QStringLiteral("bus"));
    if (name.isEmpty())
        return false;
    const bool abstract = name.startsWith(QLatin1Char('@'));
    socket.setSocketOptions(abstract ? QLocalSocket::AbstractNamespaceOption
                                     : QLocalSocket::NoOptions);
    socket.connectToServer(abstract ? name.mid(1) : name);
    return true;
}

} // namespace

BusProbe::BusProbe(QObject *parent) : QObject(parent)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &BusProbe::onGone);
    connect(&m_socket, &QLocalSocket::connected, this, &BusProbe::onConnected);
    connect(&m_socket, &QLocalSocket::readyRead, this, &BusProbe::onReadyRead);
    connect(&m_socket, &QLocalSocket::errorOccurred, this, &BusProbe::onGone);
}

QString BusProbe::socketOf(const QByteArray &address)
{
    for (const QByteArray &entry : address.split(';')) {
        if (!entry.startsWith("unix:"))
            continue;
        for (const QByteArray &pair : entry.mid(5).split(',')) {
            const QString value = QString::fromLocal8Bit(
                    QByteArray::fromPercentEncoding(pair.mid(pair.indexOf('=') + 1)));
            if (pair.startsWith("path="))
                return value;
            if (pair.startsWith("abstract="))
                return QLatin1Char('@') + value;
        }
    }
    return QString();
}

void BusProbe::ask(int timeoutMs)
{
    m_socket.abort();
    // Set first: a socket that is missing fails within the call.
    m_asking = true;
    m_timeout.start(timeoutMs);
    if (!connectToDaemon(m_socket))
        finish(true);
}

bool BusProbe::answers(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    if (!connectToDaemon(socket))
        return true;
    return socket.waitForConnected(deadline.remainingTime())
            && socket.write(Question, QuestionLength) > 0
            && socket.waitForReadyRead(deadline.remainingTime());
}

void BusProbe::onConnected()
{
    m_socket.write(Question, QuestionLength);
}

void BusProbe::onReadyRead()
{
    finish(true);
}

void BusProbe::onGone()
{
    finish(false);
}

void BusProbe::finish(bool answering)
{
    if (!m_asking)
        return;
    m_asking = false;
    m_timeout.stop();
    m_socket.abort();
    emit answered(answering);
}
