#include "svtheme.h"

#include <QGuiApplication>
#include <QHash>
#include <QPalette>
#include <QPainter>
#include <QPainterPath>

namespace {

// The "Inverted" styles' colours, light on dark or, where the system's
// colour scheme is light, dark on light.
struct Colours
{
    QColor text;
    QColor subText;
    QColor infoText;
    QColor panel;
    QColor pressed;
    QColor divider;
    QColor ground;
};
const Colours dark { QColor(0xf2, 0xf2, 0xf2), QColor(0xb8, 0xb8, 0xb8), QColor(0x8c, 0x8c, 0x8c),
                     QColor(0x14, 0x17, 0x1c), QColor(0x2c, 0x4a, 0x6e), QColor(0x4a, 0x4f, 0x57),
                     QColor(0x1c, 0x1c, 0x1e) };
const Colours light { QColor(0x1a, 0x1a, 0x1c), QColor(0x4a, 0x4a, 0x50), QColor(0x6a, 0x6a, 0x70),
                      QColor(0xf6, 0xf6, 0xf8), QColor(0xc6, 0xdc, 0xf4), QColor(0xc4, 0xc6, 0xcc),
                      QColor(0xe4, 0xe4, 0xe8) };
const QColor accent(0xe8, 0x5d, 0x2a);

QFont pixelFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

SvStyle textStyle(const QColor &colour, const QFont &font, const QMarginsF &margins = QMarginsF())
{
    SvStyle style;
    style.foregroundColor = colour;
    style.font = font;
    style.margins = margins;
    return style;
}

SvStyle panelStyle(const Colours &colours, const QMarginsF &margins)
{
    SvStyle style;
    style.backgroundColor = colours.panel;
    style.pressedBackgroundColor = colours.pressed;
    style.focusFrameColor = accent;
    style.foregroundColor = colours.text;
    style.font = pixelFont(22);
    style.margins = margins;
    return style;
}

SvStyle fixedStyle(const QSizeF &size, const QColor &foreground = QColor())
{
    SvStyle style;
    style.fixedSize = size;
    if (foreground.isValid())
        style.foregroundColor = foreground;
    return style;
}

SvStyle dividerStyle(const QColor &colour, const QMarginsF &margins, qreal lineWidth)
{
    SvStyle style;
    style.foregroundColor = colour;
    style.margins = margins;
    style.lineWidth = lineWidth;
    return style;
}

QHash<QString, SvStyle> styleTable(const Colours &c)
{
    return {
        { QStringLiteral("CommonPanelInverted"), panelStyle(c, QMarginsF(16, 8, 16, 8)) },
        { QStringLiteral("CommonSmallPanelInverted"), panelStyle(c, QMarginsF(16, 4, 16, 4)) },
        { QStringLiteral("CommonTitleInverted"), textStyle(c.text, pixelFont(22, true)) },
        { QStringLiteral("CommonSingleTitleInverted"),
          textStyle(c.text, pixelFont(24, true), QMarginsF(0, 8, 0, 8)) },
        { QStringLiteral("CommonSubTitleInverted"), textStyle(c.subText, pixelFont(18)) },
        { QStringLiteral("CommonItemInfoInverted"), textStyle(c.infoText, pixelFont(16)) },
        { QStringLiteral("CommonGroupHeaderInverted"),
          textStyle(c.infoText, pixelFont(18, true), QMarginsF(12, 4, 16, 4)) },
        { QStringLiteral("CommonGroupHeaderDividerInverted"),
          dividerStyle(c.divider, QMarginsF(16, 0, 0, 0), 2) },
        { QStringLiteral("CommonItemDividerInverted"),
          dividerStyle(c.divider, QMarginsF(16, 0, 16, 0), 1) },
        { QStringLiteral("CommonLargeSpacer"), fixedStyle(QSizeF(-1, 24)) },
        { QStringLiteral("CommonSpacer"), fixedStyle(QSizeF(-1, 8)) },
        { QStringLiteral("CommonListItemSpinnerInverted"), fixedStyle(QSizeF(40, 40), c.text) },
        { QStringLiteral("CommonMainIcon"), fixedStyle(QSizeF(64, 64)) },
        { QStringLiteral("CommonThumbnail"), fixedStyle(QSizeF(80, 80)) },
    };
}

const QHash<QString, SvStyle> &styleTable()
{
    static const QHash<QString, SvStyle> darkTable = styleTable(dark);
    static const QHash<QString, SvStyle> lightTable = styleTable(light);
    return SvTheme::isDark() ? darkTable : lightTable;
}

SvStyle defaultStyle()
{
    SvStyle style;
    style.font = pixelFont(20);
    return style;
}

void drawAlbum(QPainter &p, const QRectF &r)
{
    p.fillRect(r, QColor(0x3a, 0x41, 0x4d));
    const qreal d = qMin(r.width(), r.height()) * 0.8;
    const QRectF disc(r.center() - QPointF(d / 2, d / 2), QSizeF(d, d));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x12));
    p.drawEllipse(disc);
    p.setPen(QPen(QColor(0x55, 0x58, 0x60), qMax<qreal>(1, d / 40)));
    p.setBrush(Qt::NoBrush);
    for (qreal f : { 0.8, 0.65, 0.5 })
        p.drawEllipse(QRectF(r.center() - QPointF(d * f / 2, d * f / 2), QSizeF(d * f, d * f)));
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(r.center(), d * 0.18, d * 0.18);
    p.setBrush(QColor(0x10, 0x10, 0x12));
    p.drawEllipse(r.center(), d * 0.04, d * 0.04);
}

void drawArtist(QPainter &p, const QRectF &r)
{
    p.fillRect(r, QColor(0x3a, 0x41, 0x4d));
    const qreal s = qMin(r.width(), r.height());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc8, 0xcc, 0xd2));
    p.drawEllipse(QPointF(r.center().x(), r.top() + s * 0.36), s * 0.18, s * 0.18);
    QPainterPath body;
    body.moveTo(r.center().x() - s * 0.34, r.bottom());
    body.cubicTo(r.center().x() - s * 0.34, r.top() + s * 0.58, r.center().x() + s * 0.34,
                 r.top() + s * 0.58, r.center().x() + s * 0.34, r.bottom());
    body.closeSubpath();
    p.drawPath(body);
}

void drawStore(QPainter &p, const QRectF &r)
{
    const qreal s = qMin(r.width(), r.height());
    const QRectF bag(r.left() + s * 0.14, r.top() + s * 0.3, s * 0.72, s * 0.62);
    p.setPen(QPen(accent, s * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(r.left() + s * 0.32, r.top() + s * 0.08, s * 0.36, s * 0.4), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRoundedRect(bag, s * 0.08, s * 0.08);
    // a quaver on the bag
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(r.left() + s * 0.44, r.top() + s * 0.76), s * 0.08, s * 0.06);
    p.drawRect(QRectF(r.left() + s * 0.495, r.top() + s * 0.42, s * 0.035, s * 0.34));
    p.drawRect(QRectF(r.left() + s * 0.495, r.top() + s * 0.42, s * 0.16, s * 0.05));
}

using IconPainter = void (*)(QPainter &, const QRectF &);

const QHash<QString, IconPainter> &iconTable()
{
    static const QHash<QString, IconPainter> table = {
        { QStringLiteral("icon-m-content-album"), drawAlbum },
        { QStringLiteral("icon-m-content-artist"), drawArtist },
        { QStringLiteral("icon-m-service-teku-music"), drawStore },
    };
    return table;
}

} // namespace

SvStyle SvTheme::style(const QString &styleName)
{
    return styleTable().value(styleName, defaultStyle());
}

bool SvTheme::isDark()
{
    // The palette tells on every Qt; the colour scheme, which newer ones
    // also know, is what the palette follows.
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

QColor SvTheme::ground()
{
    return isDark() ? dark.ground : light.ground;
}

bool SvTheme::hasStyle(const QString &styleName)
{
    return styleTable().contains(styleName);
}

bool SvTheme::hasIcon(const QString &iconId)
{
    return iconTable().contains(iconId);
}

QImage SvTheme::icon(const QString &iconId, const QSize &size)
{
    const IconPainter painter = iconTable().value(iconId);
    if (!painter || size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    painter(p, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}
