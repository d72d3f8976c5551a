#pragma once

#include <QImage>

#include "svwidgetcontroller.h"

// Shows either a picture or the theme icon of an id, scaled into the
// widget with its aspect ratio kept.
class SvImageWidget : public SvWidgetController
{
    Q_OBJECT

public:
    explicit SvImageWidget(QGraphicsItem *parent = nullptr);
    explicit SvImageWidget(const QString &iconId, QGraphicsItem *parent = nullptr);
    ~SvImageWidget() override;

    void setImage(const QImage &image);
    void setImage(const QString &iconId);

    QImage image() const;
    QString imageId() const;
    // What is drawn at the given size: the picture, the theme icon, or a null image.
    QImage renderedImage(const QSize &size) const;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF contentSizeHint(Qt::SizeHint which) const override;

private:
    QImage m_image;
    QString m_imageId;
};
