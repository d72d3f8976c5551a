#include "creatorbase.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QModelIndex>

#include "promotionnetworkapi.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"

namespace {

const int TitleRole = Qt::UserRole;
const int SubtitleRole = Qt::UserRole + 1;
const int SideTextRole = Qt::UserRole + 2;
const int PictureRole = Qt::UserRole + 3;

// The store client may be set to either scheme; the test is case-sensitive.
bool isStoreUrl(const QString &picture)
{
    return picture.contains(QLatin1String("http://")) || picture.contains(QLatin1String("https://"));
}

// The picture field comes from the store's answer, so a local path is only
// trusted inside the picture cache; anything else (a device that never ends,
// a file elsewhere on the handset) shows as an unreadable file would.
QImage loadCachedPicture(const QString &path)
{
    const QString cacheDir = QDir(PromotionNetworkAPI::instance()->imageCacheDirectory()).canonicalPath();
    const QFileInfo file(path);
    if (cacheDir.isEmpty() || !file.isFile()
        || !file.canonicalFilePath().startsWith(cacheDir + QLatin1Char('/'))) {
        return QImage();
    }
    return QImage(file.canonicalFilePath());
}

} // namespace

CreatorBase::~CreatorBase() = default;

void CreatorBase::updateCell(const QString &defaultPicture, const QModelIndex &index, SvWidget *cell) const
{
    auto *item = qobject_cast<SvDetailedListItem *>(cell);
    if (!item)
        return;
    item->setTitle(index.data(TitleRole).toString());
    item->setSubtitle(index.data(SubtitleRole).toString());
    item->setSideBottomTitle(index.data(SideTextRole).toString());

    QString picture = index.data(PictureRole).toString();
    if (isStoreUrl(picture))
        picture = PromotionNetworkAPI::instance()->getArtOfMusicItem(picture);
    if (picture.isEmpty())
        item->imageWidget()->setImage(defaultPicture);
    else
        item->imageWidget()->setImage(loadCachedPicture(picture));
}

QSizeF CreatorBase::getCellSize() const
{
    SvDetailedListItem measure(SvDetailedListItem::IconTitleSubtitle);
    return measure.effectiveSizeHint(Qt::PreferredSize, QSizeF(-1, -1));
}
