#pragma once

#include <QAccessibleObject>

class SvWidget;

// A toolkit widget as assistive technology sees it: role and name from the
// widget, its children those it exposes, and for a touchable row the press
// action, which does what a touch does.
class SvAccessibleWidget : public QAccessibleObject, public QAccessibleActionInterface
{
public:
    explicit SvAccessibleWidget(SvWidget *widget);

    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QWindow *window() const override;

    QString text(QAccessible::Text type) const override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    SvWidget *widget() const;
    QList<SvWidget *> children() const;
};
