#pragma once

#include <QAccessible>
#include <QGraphicsWidget>

// Base of every toolkit widget. Visibility changes are announced by the
// inherited QGraphicsObject::visibleChanged(), emitted after the change.
//
// What assistive technology is told of a widget is its accessible role and
// name. A widget without a role (the default) is not shown to it at all: its
// children stand in its place, so that layout-only widgets add nothing to
// what a screen reader walks through.
class SvWidget : public QGraphicsWidget
{
    Q_OBJECT

public:
    explicit SvWidget(QGraphicsItem *parent = nullptr);
    ~SvWidget() override;

    QAccessible::Role accessibleRole() const;
    void setAccessibleRole(QAccessible::Role role);

    // The name set, or else, for a widget whose children are not shown on
    // their own (a row, a label), the text it shows.
    QString accessibleName() const;
    void setAccessibleName(const QString &name);

    // The widgets assistive technology sees directly inside this one, in
    // reading order: top to bottom, then left to right.
    virtual QList<SvWidget *> accessibleChildren() const;

    // The text the widget shows, in reading order; a label's own text.
    virtual QString accessibleText() const;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    QAccessible::Role m_accessibleRole = QAccessible::NoRole;
    QString m_accessibleName;
};
