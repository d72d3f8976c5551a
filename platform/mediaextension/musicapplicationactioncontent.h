#pragma once

#include "applicationactioncontent.h"

// Content of one of the music player's views; the view type tells which.
class MusicApplicationActionContent : public ApplicationActionContent
{
    Q_OBJECT

public:
    // Any value other than these names the now-playing view.
    enum ViewType { PlayerView = 0, AlbumView = 1, ArtistView = 2, GenreView = 3 };
    Q_ENUM(ViewType)

    explicit MusicApplicationActionContent(int viewType = PlayerView, QObject *parent = nullptr);
    MusicApplicationActionContent(int viewType, const QHash<QString, QVariant> &values,
                                  QObject *parent = nullptr);
    ~MusicApplicationActionContent() override;

    int viewType() const;
    void setViewType(int viewType);

private:
    int m_viewType;
};
