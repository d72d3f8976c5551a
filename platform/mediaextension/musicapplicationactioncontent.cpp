#include "musicapplicationactioncontent.h"

MusicApplicationActionContent::MusicApplicationActionContent(int viewType, QObject *parent)
    : ApplicationActionContent(parent),
      m_viewType(viewType)
{ }

MusicApplicationActionContent::MusicApplicationActionContent(int viewType,
                                                             const QHash<QString, QVariant> &values,
                                                             QObject *parent)
    : ApplicationActionContent(values, parent),
      m_viewType(viewType)
{ }

MusicApplicationActionContent::~MusicApplicationActionContent() = default;

int MusicApplicationActionContent::viewType() const
{
    return m_viewType;
}

void MusicApplicationActionContent::setViewType(int viewType)
{
    m_viewType = viewType;
}
