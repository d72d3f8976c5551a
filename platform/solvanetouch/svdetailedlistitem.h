#pragma once

#include "svlistitem.h"

class SvImageWidget;
class SvLabel;
class SvLinearLayoutPolicy;

// A list row with a picture, a title, a subtitle and a small text at the
// bottom right. The item style picks which of them stand in the row; all
// four sub-widgets exist from construction on.
class SvDetailedListItem : public SvListItem
{
    Q_OBJECT

public:
    enum ItemStyle {
        IconTitleSubtitle = 0,
        IconTitleSubtitleAndSideBottomTitle = 1,
        TitleSubtitleAndSideBottomTitle = 2,
        IconTitle = 3
    };
    Q_ENUM(ItemStyle)

    enum IconStyle { Icon = 0, Thumbnail = 1 };
    Q_ENUM(IconStyle)

    explicit SvDetailedListItem(ItemStyle style = IconTitleSubtitle,
                                QGraphicsItem *parent = nullptr);
    ~SvDetailedListItem() override;

    ItemStyle itemStyle() const;

    IconStyle iconStyle() const;
    void setIconStyle(IconStyle style);

    QString title() const;
    void setTitle(const QString &title);
    QString subtitle() const;
    void setSubtitle(const QString &subtitle);
    QString sideBottomTitle() const;
    void setSideBottomTitle(const QString &title);

    SvLabel *titleLabelWidget() const;
    SvLabel *subtitleLabelWidget() const;
    SvLabel *sideBottomLabelWidget() const;
    SvImageWidget *imageWidget() const;

private:
    ItemStyle m_itemStyle;
    IconStyle m_iconStyle = Icon;
    SvImageWidget *m_image;
    SvLabel *m_title;
    SvLabel *m_subtitle;
    SvLabel *m_sideBottom;
};
