#pragma once

#include <QGraphicsLayout>
#include <QList>

class SvAbstractLayoutPolicy;

// A layout whose items and their placement belong to its active policy.
// The layout owns its policies; the first one created becomes active.
class SvLayout : public QGraphicsLayout
{
public:
    explicit SvLayout(QGraphicsLayoutItem *parent = nullptr);
    ~SvLayout() override;

    SvAbstractLayoutPolicy *policy() const;
    void setPolicy(SvAbstractLayoutPolicy *policy);

    int count() const override;
    QGraphicsLayoutItem *itemAt(int index) const override;
    void removeAt(int index) override;
    int indexOf(const QGraphicsLayoutItem *item) const;

    void setGeometry(const QRectF &rect) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    friend class SvAbstractLayoutPolicy;
    void addPolicy(SvAbstractLayoutPolicy *policy);
    void adoptItem(QGraphicsLayoutItem *item);

    QList<SvAbstractLayoutPolicy *> m_policies;
    SvAbstractLayoutPolicy *m_policy = nullptr;
};
