#pragma once

#include <QDBusVirtualObject>

// The accessibility bus's launcher as Qt looks for it, on the player's
// private session bus: the private bus hides the user's own, where the
// launcher is, so without this stand-in a screen reader never sees the
// window. It answers with the address of the user's accessibility bus and
// the user's accessibility switches, read once when it starts.
class AccessibilityBus : public QDBusVirtualObject
{
    Q_OBJECT

public:
    // Variables the isolating parent hands on to the player it runs under
    // a private bus: the user's session bus, and the accessibility bus
    // address the user gave, which Qt would not take from its own variable
    // in a process on another bus.
    static const char UserBusVariable[];
    static const char GivenAddressVariable[];

    explicit AccessibilityBus(QObject *parent = nullptr);
    ~AccessibilityBus() override;

    // Finds the address to hand on and serves it on the session bus; false
    // when there is none (no accessibility bus running for the user) or the
    // session bus has a launcher of its own.
    bool start();
    QString address() const;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    bool askUserBus(const QString &userBus);

    QString m_address;
    bool m_enabled = true;
    bool m_screenReaderEnabled = false;
};
