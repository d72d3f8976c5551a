#include "aoainterfacecontentitemcreator.h"

AOAInterfaceContentItemCreator::AOAInterfaceContentItemCreator(QObject *parent)
    : QObject(parent) { }

AOAInterfaceContentItemCreator::~AOAInterfaceContentItemCreator() = default;

void AOAInterfaceContentItemCreator::updateCell(const QModelIndex &index, SvWidget *cell) const
{
    if (cell && index.isValid())
        CreatorBase::updateCell(QStringLiteral("icon-m-content-artist"), index, cell);
}

QSizeF AOAInterfaceContentItemCreator::cellSize() const
{
    return getCellSize();
}
