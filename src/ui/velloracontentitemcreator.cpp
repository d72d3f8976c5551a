#include "velloracontentitemcreator.h"

VelloraContentItemCreator::VelloraContentItemCreator(QObject *parent) : QObject(parent) { }

VelloraContentItemCreator::~VelloraContentItemCreator() = default;

void VelloraContentItemCreator::updateCell(const QModelIndex &index, SvWidget *cell) const
{
    if (cell && index.isValid())
        CreatorBase::updateCell(QStringLiteral("icon-m-content-album"), index, cell);
}

QSizeF VelloraContentItemCreator::cellSize() const
{
    return getCellSize();
}
