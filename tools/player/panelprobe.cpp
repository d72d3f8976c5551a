#include "panelprobe.h"

#include <algorithm>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QTimer>

#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svlist.h"
#include "svprogressindicator.h"
#include "svtheme.h"
#include "svwidget.h"

namespace {


template<typename T>
T *findVisible(const QList<QGraphicsItem *> &items)
{
    for (QGraphicsItem *item : items) {
        if (T *object = qobject_cast<T *>(item->toGraphicsObject()); object && item->isVisible())
            return object;
    }
    return nullptr;
}

} // namespace

PanelProbe::PanelProbe(SvWidget *panel, QObject *parent) : QObject(parent), m_panel(panel) { }

SvWidget *PanelProbe::panel() const
{
    return m_panel;
}

QList<QGraphicsItem *> PanelProbe::items() const
{
    QList<QGraphicsItem *> found;
    if (!m_panel)
        return found;
    QList<QGraphicsItem *> pending = m_panel->childItems();
    while (!pending.isEmpty()) {
        QGraphicsItem *item = pending.takeFirst();
        found.append(item);
        pending.append(item->childItems());
    }
    return found;
}

SvList *PanelProbe::list() const
{
    return findVisible<SvList>(items());
}

SvListItem *PanelProbe::storeRow() const
{
    // The store row is the one list item that does not stand in the list.
    const QList<QGraphicsItem *> all = items();
    for (QGraphicsItem *item : all) {
        QGraphicsObject *object = item->toGraphicsObject();
        if (!object || !object->inherits("TekuMusicButtonWidget") || !item->isVisible())
            continue;
        if (SvListItem *row = findVisible<SvListItem>(item->childItems()))
            return row;
    }
    return nullptr;
}

bool PanelProbe::isLoading() const
{
    return findVisible<SvProgressIndicator>(items()) != nullptr;
}

QString PanelProbe::noMatchesText()
{
    return qtTrId("qtn_musi_fetching_no_matches");
}

bool PanelProbe::showsNoMatches() const
{
    const QList<QGraphicsItem *> all = items();
    const QString text = noMatchesText();
    for (QGraphicsItem *item : all) {
        auto *label = qobject_cast<SvLabel *>(item->toGraphicsObject());
        if (label && item->isVisible() && label->text() == text)
            return true;
    }
    return false;
}

PanelProbe::State PanelProbe::state() const
{
    if (showsNoMatches())
        return State::NoMatches;
    const SvList *shown = list();
    if (shown && shown->cellCount() > 0 && !isLoading())
        return State::Results;
    return State::Pending;
}

QList<PanelProbe::Row> PanelProbe::rows() const
{
    QList<Row> result;
    const SvList *shown = list();
    if (!shown)
        return result;
    for (int i = 0; i < shown->cellCount(); ++i) {
        const auto *cell = qobject_cast<SvDetailedListItem *>(shown->cellAt(i));
        if (!cell)
            continue;
        const SvImageWidget *picture = cell->imageWidget();
        result.append({ cell->title(), cell->subtitle(), cell->sideBottomTitle(),
                        !picture->image().isNull(), picture->imageId(), picture->image().size() });
    }
    return result;
}

QStringList PanelProbe::titles() const
{
    QStringList shown;
    for (const Row &row : rows())
        shown.append(row.title);
    return shown;
}

bool PanelProbe::picturesLoaded() const
{
    const QList<Row> shown = rows();
    return std::all_of(shown.cbegin(), shown.cend(),
                       [](const Row &row) { return row.pictureLoaded; });
}

bool PanelProbe::waitForSettled(int timeoutMs, bool withPictures)
{
    const auto settled = [this, withPictures] {
        const State now = state();
        return now == State::NoMatches
                || (now == State::Results && (!withPictures || picturesLoaded()));
    };
    if (settled())
        return true;

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, &loop, [&loop, &settled] {
        if (settled())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return settled();
}

bool PanelProbe::follow()
{
    const QList<QGraphicsItem *> all = items();
    SvList *shown = nullptr;
    QList<SvProgressIndicator *> indicators;
    for (QGraphicsItem *item : all) {
        QGraphicsObject *object = item->toGraphicsObject();
        shown = shown ? shown : qobject_cast<SvList *>(object);
        if (auto *indicator = qobject_cast<SvProgressIndicator *>(object))
            indicators.append(indicator);
    }
    if (!shown || !shown->itemModel() || indicators.isEmpty())
        return false;
    // Connected after the list's own connections, so the cells are filled
    // by the time these are announced.
    connect(shown->itemModel(), &QAbstractItemModel::rowsInserted, this, &PanelProbe::rowsArrived);
    connect(shown->itemModel(), &QAbstractItemModel::dataChanged, this, &PanelProbe::changed);
    connect(shown, &QGraphicsObject::visibleChanged, this, &PanelProbe::changed);
    for (SvProgressIndicator *indicator : std::as_const(indicators))
        connect(indicator, &QGraphicsObject::visibleChanged, this, &PanelProbe::changed);
    return true;
}

bool PanelProbe::click(QGraphicsItem *item)
{
    if (!item || !item->scene())
        return false;
    const QPointF centre = item->boundingRect().center();
    for (QEvent::Type type :
         { QEvent::GraphicsSceneMousePress, QEvent::GraphicsSceneMouseRelease }) {
        QGraphicsSceneMouseEvent event(type);
        event.setButton(Qt::LeftButton);
        event.setButtons(type == QEvent::GraphicsSceneMousePress ? Qt::LeftButton : Qt::NoButton);
        event.setPos(centre);
        event.setScenePos(item->mapToScene(centre));
        item->scene()->sendEvent(item, &event);
    }
    return true;
}

bool PanelProbe::clickRow(int row)
{
    SvList *shown = list();
    if (!shown || row < 0 || row >= shown->cellCount())
        return false;
    return click(shown->cellAt(row));
}

bool PanelProbe::clickStoreRow()
{
    return click(storeRow());
}

void PanelProbe::fitToContents(int width)
{
    if (!m_panel)
        return;
    const qreal fitted = qMin(width, MaximumWidth);
    m_panel->resize(fitted,
                    m_panel->effectiveSizeHint(Qt::PreferredSize, QSizeF(fitted, -1)).height());
}

QImage PanelProbe::render()
{
    if (!m_panel || !m_panel->scene())
        return QImage();
    fitToContents();
    QCoreApplication::processEvents();
    const QRectF area = m_panel->sceneBoundingRect();
    QImage image(area.size().toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(SvTheme::ground());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_panel->scene()->render(&painter, QRectF(QPointF(0, 0), area.size()), area);
    return image;
}
