#pragma once

#include "svstyle.h"
#include "svwidget.h"

// A widget whose looks (colours, font, margins, fixed sizes) come from the
// theme entry of its style name.
class SvStylableWidget : public SvWidget
{
    Q_OBJECT

public:
    explicit SvStylableWidget(QGraphicsItem *parent = nullptr);
    ~SvStylableWidget() override;

    QString styleName() const;
    void setStyleName(const QString &name);
    const SvStyle &themeStyle() const;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    // Size of what the widget draws inside its margins; used when it has no layout.
    virtual QSizeF contentSizeHint(Qt::SizeHint which) const;
    virtual QColor currentBackgroundColor() const;
    virtual void applyStyle();

private:
    QString m_styleName;
    SvStyle m_style;
};
