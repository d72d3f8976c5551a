#include "svimagewidget.h"

#include <QPainter>

#include "svtheme.h"

namespace {
const QSizeF defaultIconSize(64, 64);
}

SvImageWidget::SvImageWidget(QGraphicsItem *parent) : SvWidgetController(parent) { }

SvImageWidget::SvImageWidget(const QString &iconId, QGraphicsItem *parent)
    : SvWidgetController(parent),
      m_imageId(iconId)
{ }

SvImageWidget::~SvImageWidget() = default;

void SvImageWidget::setImage(const QImage &image)
{
    m_image = image;
    m_imageId.clear();
    updateGeometry();
    update();
}

void SvImageWidget::setImage(const QString &iconId)
{
    m_image = QImage();
    m_imageId = iconId;
    updateGeometry();
    update();
}

QImage SvImageWidget::image() const
{
    return m_image;
}

QString SvImageWidget::imageId() const
{
    return m_imageId;
}

QImage SvImageWidget::renderedImage(const QSize &size) const
{
    if (!m_imageId.isEmpty())
        return SvTheme::icon(m_imageId, size);
    if (m_image.isNull() || size.isEmpty())
        return QImage();
    return m_image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void SvImageWidget::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                          QWidget *widget)
{
    SvWidgetController::paint(painter, option, widget);
    const QRectF area = contentsRect();
    const QImage picture = renderedImage(area.size().toSize());
    if (picture.isNull())
        return;
    QRectF target(QPointF(), QSizeF(picture.size()));
    target.moveCenter(area.center());
    painter->drawImage(target, picture);
}

QSizeF SvImageWidget::contentSizeHint(Qt::SizeHint which) const
{
    if (which == Qt::MinimumSize)
        return QSizeF(0, 0);
    if (!m_image.isNull())
        return QSizeF(m_image.size());
    return m_imageId.isEmpty() ? QSizeF(0, 0) : defaultIconSize;
}
