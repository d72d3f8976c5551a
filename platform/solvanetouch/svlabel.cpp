#include "svlabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>

#include "svaccessible.h"

SvLabel::SvLabel(QGraphicsItem *parent) : SvLabel(QString(), parent) { }

SvLabel::SvLabel(const QString &text, QGraphicsItem *parent)
    : SvWidgetController(parent),
      m_text(text)
{
    setAccessibleRole(QAccessible::StaticText);
}

SvLabel::~SvLabel() = default;

QString SvLabel::text() const
{
    return m_text;
}

void SvLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
    SvAccessible::notifyNameChanged(this);
}

Qt::Alignment SvLabel::alignment() const
{
    return m_alignment;
}

void SvLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void SvLabel::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    SvWidgetController::paint(painter, option, widget);
    const QRectF area = contentsRect();
    if (m_text.isEmpty() || area.isEmpty())
        return;
    const QFontMetricsF metrics(themeStyle().font);
    painter->setFont(themeStyle().font);
    painter->setPen(themeStyle().foregroundColor);
    painter->drawText(area, int(m_alignment),
                      metrics.elidedText(m_text, Qt::ElideRight, area.width()));
}

QString SvLabel::accessibleText() const
{
    return m_text;
}

QSizeF SvLabel::contentSizeHint(Qt::SizeHint which) const
{
    const QFontMetricsF metrics(themeStyle().font);
    const qreal width = which == Qt::PreferredSize ? metrics.horizontalAdvance(m_text) : 0;
    return QSizeF(qCeil(width), qCeil(metrics.height()));
}
