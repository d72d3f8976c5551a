#include "svcellcreator.h"

SvCellCreator::~SvCellCreator() = default;

QSizeF SvCellCreator::cellSize() const
{
    return QSizeF();
}
