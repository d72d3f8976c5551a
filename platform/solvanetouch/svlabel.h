#pragma once

#include "svwidgetcontroller.h"

// One line of text in the font and colour of its style; text that does not
// fit is elided at the end.
class SvLabel : public SvWidgetController
{
    Q_OBJECT

public:
    explicit SvLabel(QGraphicsItem *parent = nullptr);
    explicit SvLabel(const QString &text, QGraphicsItem *parent = nullptr);
    ~SvLabel() override;

    QString text() const;
    void setText(const QString &text);

    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

    QString accessibleText() const override;

protected:
    QSizeF contentSizeHint(Qt::SizeHint which) const override;

private:
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};
