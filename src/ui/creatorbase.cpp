#include "creatorbase.h"

#include <QFileInfo>
#include <QImage>
#include <QModelIndex>
#include <QUrl>

#include "promotionnetworkapi.h"
#include "rowfield.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "thumbnailer.h"

namespace {

// The picture field comes from the store's answer, so a local path is only
// trusted inside the picture cache, and only a regular file, so that opening
// it cannot block; anything else (a device, a pipe, a file elsewhere on the
// handset) shows as an unreadable file would.
QImage loadCachedPicture(const QString &path)
{
    const QString cacheDir = PromotionNetworkAPI::instance()->imageCacheDirectory();
    const QFileInfo file(path);
    if (cacheDir.isEmpty() || !file.isFile()
        || !file.canonicalFilePath().startsWith(cacheDir + QLatin1Char('/'))) {
        return QImage();
    }
    // Only thumbnails of our own making live there, all JPEG; whatever else
    // was put there is never decoded.
    return Thumbnailer::loadThumbnail(file.canonicalFilePath());
}

} // namespace

CreatorBase::~CreatorBase() = default;

void CreatorBase::updateCell(const QString &defaultPicture, const QModelIndex &index,
                             SvWidget *cell) const
{
    auto *item = qobject_cast<SvDetailedListItem *>(cell);
    if (!item)
        return;
    item->setTitle(index.data(RowField::role(RowField::Title)).toString());
    item->setSubtitle(index.data(RowField::role(RowField::Subtitle)).toString());
    item->setSideBottomTitle(index.data(RowField::role(RowField::SideText)).toString());
    item->setAccessibleName(index.data(Qt::AccessibleTextRole).toString());

    QString picture = index.data(RowField::role(RowField::Picture)).toString();
    if (PromotionNetworkAPI::isWebUrl(QUrl(picture)))
        picture = PromotionNetworkAPI::instance()->getArtOfMusicItem(picture);
    // A picture not there yet and one that cannot be shown look the same.
    const QImage image = picture.isEmpty() ? QImage() : loadCachedPicture(picture);
    if (image.isNull())
        item->imageWidget()->setImage(defaultPicture);
    else
        item->imageWidget()->setImage(image);
}

QSizeF CreatorBase::getCellSize() const
{
    // Building a cell to measure it costs about as much as filling one; the
    // theme's fonts and margins are fixed, so one measure serves every filling.
    if (!m_cellSize.isValid()) {
        SvDetailedListItem measure(SvDetailedListItem::IconTitleSubtitle);
        m_cellSize = measure.effectiveSizeHint(Qt::PreferredSize, QSizeF(-1, -1));
    }
    return m_cellSize;
}
