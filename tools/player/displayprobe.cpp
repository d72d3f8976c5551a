#include "displayprobe.h"

#include <QRegularExpression>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A server listens at path; abstract: in the abstract namespace, as X also does.
bool listens(const QByteArray &path, bool abstract = false)
{
    sockaddr_un address {};
    const qsizetype offset = abstract ? 1 : 0;
    if (path.isEmpty() || path.size() + offset >= qsizetype(sizeof(address.sun_path)))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + offset, path.constData(), size_t(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool connected = ::connect(socket, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    ::close(socket);
    return connected;
}

bool reachesX(const QByteArray &display)
{
    // ":N", ":N.S" and "unix:N" are local sockets; another host is taken on trust.
    static const QRegularExpression local(QStringLiteral("^(?:unix)?:([0-9]+)(?:\\.[0-9]+)?$"));
    const QRegularExpressionMatch match = local.match(QString::fromLocal8Bit(display));
    if (!match.hasMatch())
        return !display.isEmpty() && !display.startsWith('/');
    const QByteArray socket = "/tmp/.X11-unix/X" + match.captured(1).toLatin1();
    return listens(socket) || listens(socket, true);
}

} // namespace

QByteArray DisplayProbe::waylandSocket()
{
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty() || name.startsWith('/'))
        return name;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QByteArray() : runtime + '/' + name;
}

DisplayProbe::Kind DisplayProbe::reachable()
{
    if (listens(waylandSocket()))
        return Kind::Wayland;
    if (reachesX(qgetenv("DISPLAY")))
        return Kind::X11;
    return Kind::None;
}
