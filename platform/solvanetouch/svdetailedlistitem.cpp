#include "svdetailedlistitem.h"

#include "svimagewidget.h"
#include "svlabel.h"
#include "svlayout.h"
#include "svlinearlayoutpolicy.h"

namespace {

const qreal pictureGap = 16;

SvLinearLayoutPolicy *linearLayout(SvWidget *widget, Qt::Orientation orientation, qreal spacing)
{
    auto *layout = new SvLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *policy = new SvLinearLayoutPolicy(layout, orientation);
    policy->setSpacing(spacing);
    return policy;
}

} // namespace

SvDetailedListItem::SvDetailedListItem(ItemStyle style, QGraphicsItem *parent)
    : SvListItem(parent),
      m_itemStyle(style),
      m_image(new SvImageWidget(this)),
      m_title(new SvLabel(this)),
      m_subtitle(new SvLabel(this)),
      m_sideBottom(new SvLabel(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_image->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_subtitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_sideBottom->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_sideBottom->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setIconStyle(Icon);

    const bool withPicture = style != TitleSubtitleAndSideBottomTitle;
    const bool withSubtitle = style != IconTitle;
    const bool withSideBottom = style == IconTitleSubtitleAndSideBottomTitle
            || style == TitleSubtitleAndSideBottomTitle;

    SvLinearLayoutPolicy *row = linearLayout(this, Qt::Horizontal, pictureGap);
    if (withPicture)
        row->addItem(m_image, Qt::AlignVCenter);
    auto *texts = new SvWidget(this);
    texts->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    SvLinearLayoutPolicy *column = linearLayout(texts, Qt::Vertical, 0);
    row->addItem(texts);
    column->addItem(m_title);
    if (withSubtitle) {
        auto *bottomLine = new SvWidget(texts);
        SvLinearLayoutPolicy *bottomRow = linearLayout(bottomLine, Qt::Horizontal, pictureGap);
        bottomRow->addItem(m_subtitle);
        if (withSideBottom)
            bottomRow->addItem(m_sideBottom);
        column->addItem(bottomLine);
    }

    // Parts the style leaves out are kept, hidden, so that callers can still style them.
    m_image->setVisible(withPicture);
    m_subtitle->setVisible(withSubtitle);
    m_sideBottom->setVisible(withSideBottom);
}

SvDetailedListItem::~SvDetailedListItem() = default;

SvDetailedListItem::ItemStyle SvDetailedListItem::itemStyle() const
{
    return m_itemStyle;
}

SvDetailedListItem::IconStyle SvDetailedListItem::iconStyle() const
{
    return m_iconStyle;
}

void SvDetailedListItem::setIconStyle(IconStyle style)
{
    m_iconStyle = style;
    m_image->setStyleName(style == Thumbnail ? QStringLiteral("CommonThumbnail")
                                             : QStringLiteral("CommonMainIcon"));
}

QString SvDetailedListItem::title() const
{
    return m_title->text();
}

void SvDetailedListItem::setTitle(const QString &title)
{
    m_title->setText(title);
}

QString SvDetailedListItem::subtitle() const
{
    return m_subtitle->text();
}

void SvDetailedListItem::setSubtitle(const QString &subtitle)
{
    m_subtitle->setText(subtitle);
}

QString SvDetailedListItem::sideBottomTitle() const
{
    return m_sideBottom->text();
}

void SvDetailedListItem::setSideBottomTitle(const QString &title)
{
    m_sideBottom->setText(title);
}

SvLabel *SvDetailedListItem::titleLabelWidget() const
{
    return m_title;
}

SvLabel *SvDetailedListItem::subtitleLabelWidget() const
{
    return m_subtitle;
}

SvLabel *SvDetailedListItem::sideBottomLabelWidget() const
{
    return m_sideBottom;
}

SvImageWidget *SvDetailedListItem::imageWidget() const
{
    return m_image;
}
