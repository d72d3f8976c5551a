#include "accessibilitybus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QVariantMap>

const char AccessibilityBus::UserBusVariable[] = "VELLORA_PLAYER_USER_BUS";
const char AccessibilityBus::GivenAddressVariable[] = "VELLORA_PLAYER_A11Y_BUS";

namespace {

constexpr QLatin1String Service("org.a11y.Bus");
constexpr QLatin1String Path("/org/a11y/bus");
constexpr QLatin1String StatusInterface("org.a11y.Status");
constexpr QLatin1String PropertiesInterface("org.freedesktop.DBus.Properties");
constexpr QLatin1String UserBusConnection("vellora-player-user-bus");
// The window waits for these answers; a launcher that takes longer is not
// worth waiting for.
const int AskTimeoutMs = 500;

} // namespace

AccessibilityBus::AccessibilityBus(QObject *parent) : QDBusVirtualObject(parent) { }

AccessibilityBus::~AccessibilityBus()
{
    if (m_address.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(Service);
    bus.unregisterObject(Path);
}

bool AccessibilityBus::start()
{
    const QString given = qEnvironmentVariable(GivenAddressVariable);
    const QString userBus = qEnvironmentVariable(UserBusVariable);
    if (!given.isEmpty())
        m_address = given;
    else if (userBus.isEmpty() || !askUserBus(userBus))
        return false;

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface()->isServiceRegistered(Service)) {
        m_address.clear();
        return false;
    }
    // Served on the connection Qt itself asks on: its blocking questions to
    // the launcher are then answered in this process without a round trip.
    if (!bus.registerVirtualObject(Path, this) || !bus.registerService(Service)) {
        bus.unregisterObject(Path);
        m_address.clear();
        return false;
    }
    return true;
}

QString AccessibilityBus::address() const
{
    return m_address;
}

bool AccessibilityBus::askUserBus(const QString &userBus)
{
    bool found = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(userBus, UserBusConnection);
        // As a Qt application would, only a launcher already running counts:
        // asking would start one for a user who has no use for it.
        if (bus.isConnected() && bus.interface()->isServiceRegistered(Service)) {
            const QDBusReply<QString> address =
                    bus.call(QDBusMessage::createMethodCall(Service, Path, Service,
                                                            QStringLiteral("GetAddress")),
                             QDBus::Block, AskTimeoutMs);
            m_address = address.isValid() ? address.value() : QString();
        }
        if (!m_address.isEmpty()) {
            QDBusMessage getAll = QDBusMessage::createMethodCall(Service, Path, PropertiesInterface,
                                                                 QStringLiteral("GetAll"));
            getAll << StatusInterface;
            const QDBusReply<QVariantMap> status = bus.call(getAll, QDBus::Block, AskTimeoutMs);
            m_enabled = status.value().value(QStringLiteral("IsEnabled")).toBool();
            m_screenReaderEnabled =
                    status.value().value(QStringLiteral("ScreenReaderEnabled")).toBool();
            found = true;
        }
    }
    QDBusConnection::disconnectFromBus(UserBusConnection);
    return found;
}

QString AccessibilityBus::introspect(const QString &path) const
{
    Q_UNUSED(path)
    return QStringLiteral("<interface name=\"org.a11y.Bus\">"
                          "<method name=\"GetAddress\"><arg type=\"s\" direction=\"out\"/></method>"
                          "</interface>"
                          "<interface name=\"org.a11y.Status\">"
                          "<property name=\"IsEnabled\" type=\"b\" access=\"read\"/>"
                          "<property name=\"ScreenReaderEnabled\" type=\"b\" access=\"read\"/>"
                          "</interface>");
}

bool AccessibilityBus::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString member = message.member();
    const QVariantMap status { { QStringLiteral("IsEnabled"), m_enabled },
                               { QStringLiteral("ScreenReaderEnabled"), m_screenReaderEnabled } };
    const QVariantList arguments = message.arguments();
    QDBusMessage reply;
    if (message.interface() == Service && member == QLatin1String("GetAddress")) {
        reply = message.createReply(m_address);
    } else if (message.interface() == PropertiesInterface && member == QLatin1String("Get")
               && arguments.value(0).toString() == StatusInterface
               && status.contains(arguments.value(1).toString())) {
        reply = message.createReply(
                QVariant::fromValue(QDBusVariant(status.value(arguments.value(1).toString()))));
    } else if (message.interface() == PropertiesInterface && member == QLatin1String("GetAll")
               && arguments.value(0).toString() == StatusInterface) {
        reply = message.createReply(status);
    } else {
        reply = message.createErrorReply(QDBusError::UnknownMethod,
                                         QStringLiteral("No such method here: ") + member);
    }
    connection.send(reply);
    return true;
}
