#include "svprogressindicator.h"

#include <QPainter>

namespace {
const int spokeCount = 12;
const int frameInterval = 80;
} // namespace

const QString SvProgressIndicator::spinnerType = QStringLiteral("spinner");

SvProgressIndicator::SvProgressIndicator(QGraphicsItem *parent, const QString &viewType)
    : SvWidgetController(parent)
{
    setViewType(viewType);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_frameTimer.setInterval(frameInterval);
    connect(&m_frameTimer, &QTimer::timeout, this, &SvProgressIndicator::onFrameTimeout);
}

SvProgressIndicator::~SvProgressIndicator() = default;

bool SvProgressIndicator::unknownDuration() const
{
    return m_unknownDuration;
}

void SvProgressIndicator::setUnknownDuration(bool unknownDuration)
{
    m_unknownDuration = unknownDuration;
    updateAnimation();
    update();
}

bool SvProgressIndicator::isAnimating() const
{
    return m_frameTimer.isActive();
}

void SvProgressIndicator::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                QWidget *widget)
{
    SvWidgetController::paint(painter, option, widget);
    const QRectF area = contentsRect();
    const qreal radius = qMin(area.width(), area.height()) / 2;
    if (radius <= 0)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(area.center());
    QColor colour = themeStyle().foregroundColor;
    for (int i = 0; i < spokeCount; ++i) {
        // The leading spoke is opaque, the ones behind it fade out.
        const int age = (m_frame - i + spokeCount) % spokeCount;
        colour.setAlphaF(m_unknownDuration ? 1.0 - qreal(age) / spokeCount : 0.35);
        painter->setPen(QPen(colour, radius / 4, Qt::SolidLine, Qt::RoundCap));
        painter->drawLine(QPointF(0, -radius * 0.5), QPointF(0, -radius * 0.85));
        painter->rotate(360.0 / spokeCount);
    }
    painter->restore();
}

QVariant SvProgressIndicator::itemChange(GraphicsItemChange change, const QVariant &value)
{
    const QVariant result = SvWidgetController::itemChange(change, value);
    if (change == ItemVisibleHasChanged)
        updateAnimation();
    return result;
}

QSizeF SvProgressIndicator::contentSizeHint(Qt::SizeHint which) const
{
    Q_UNUSED(which)
    return QSizeF(32, 32);
}

void SvProgressIndicator::onFrameTimeout()
{
    m_frame = (m_frame + 1) % spokeCount;
    update();
}

void SvProgressIndicator::updateAnimation()
{
    if (m_unknownDuration && isVisible())
        m_frameTimer.start();
    else
        m_frameTimer.stop();
}
