#pragma once

#include <QSizeF>
#include <QString>

class QModelIndex;
class SvWidget;

// Fills a list cell from a recommendation row and measures the cells; shared
// by the panel's cell creators, which differ only in their item class and
// default picture.
class CreatorBase
{
public:
    virtual ~CreatorBase();

    virtual void updateCell(const QString &defaultPicture, const QModelIndex &index,
                            SvWidget *cell) const;
    virtual QSizeF getCellSize() const;

private:
    mutable QSizeF m_cellSize;
};
