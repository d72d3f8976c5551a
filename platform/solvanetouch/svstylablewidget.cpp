#include "svstylablewidget.h"

#include <QPainter>

#include "svtheme.h"

SvStylableWidget::SvStylableWidget(QGraphicsItem *parent)
    : SvWidget(parent),
      m_style(SvTheme::style(QString()))
{
    applyStyle();
}

SvStylableWidget::~SvStylableWidget() = default;

QString SvStylableWidget::styleName() const
{
    return m_styleName;
}

void SvStylableWidget::setStyleName(const QString &name)
{
    m_styleName = name;
    m_style = SvTheme::style(name);
    applyStyle();
}

const SvStyle &SvStylableWidget::themeStyle() const
{
    return m_style;
}

void SvStylableWidget::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                             QWidget *widget)
{
    Q_UNUSED(option)
    Q_UNUSED(widget)
    const QColor background = currentBackgroundColor();
    if (background.isValid())
        painter->fillRect(rect(), background);
}

QSizeF SvStylableWidget::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    QSizeF size;
    if (layout() || (which != Qt::MinimumSize && which != Qt::PreferredSize)) {
        size = QGraphicsWidget::sizeHint(which, constraint);
    } else {
        const QMarginsF &m = m_style.margins;
        size = contentSizeHint(which) + QSizeF(m.left() + m.right(), m.top() + m.bottom());
    }
    if (which == Qt::MinimumDescent)
        return size;
    if (m_style.fixedSize.width() >= 0)
        size.setWidth(m_style.fixedSize.width());
    if (m_style.fixedSize.height() >= 0)
        size.setHeight(m_style.fixedSize.height());
    return size;
}

QSizeF SvStylableWidget::contentSizeHint(Qt::SizeHint which) const
{
    Q_UNUSED(which)
    return QSizeF(0, 0);
}

QColor SvStylableWidget::currentBackgroundColor() const
{
    return m_style.backgroundColor;
}

void SvStylableWidget::applyStyle()
{
    setContentsMargins(m_style.margins.left(), m_style.margins.top(), m_style.margins.right(),
                       m_style.margins.bottom());
    setFont(m_style.font);
    updateGeometry();
    update();
}
