#pragma once

#include "svnamespace.h"
#include "svstylablewidget.h"

// A stylable widget that also knows its view type (which of its looks to
// use) and its position within a group of similar widgets.
class SvWidgetController : public SvStylableWidget
{
    Q_OBJECT

public:
    explicit SvWidgetController(QGraphicsItem *parent = nullptr);
    ~SvWidgetController() override;

    QString viewType() const;
    void setViewType(const QString &type);

    Sv::Position layoutPosition() const;
    void setLayoutPosition(Sv::Position position);

private:
    QString m_viewType;
    Sv::Position m_layoutPosition = Sv::DefaultPosition;
};
