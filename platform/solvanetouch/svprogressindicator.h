#pragma once

#include <QTimer>

#include "svwidgetcontroller.h"

// A busy indicator. With an unknown duration it spins while it is visible
// and stops as soon as it is hidden.
class SvProgressIndicator : public SvWidgetController
{
    Q_OBJECT

public:
    static const QString spinnerType;

    explicit SvProgressIndicator(QGraphicsItem *parent = nullptr,
                                 const QString &viewType = spinnerType);
    ~SvProgressIndicator() override;

    bool unknownDuration() const;
    void setUnknownDuration(bool unknownDuration);
    bool isAnimating() const;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    QSizeF contentSizeHint(Qt::SizeHint which) const override;

private slots:
    void onFrameTimeout();

private:
    void updateAnimation();

    bool m_unknownDuration = false;
    int m_frame = 0;
    QTimer m_frameTimer;
};
