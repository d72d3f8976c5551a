#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// What the store's answers are made of: artists, their albums and tracks and
// the pictures that go with them.
struct StorePicture
{
    QByteArray format; // "png" or "jpeg"; empty: none, the default icon shows
    QSize size;
    // Its name under "/pictures/" when it is not named after its item.
    QString name;
};

struct StoreTrack
{
    QString id;
    QString title;
    qint64 duration = 0; // seconds
};

struct StoreAlbum
{
    QString id;
    QString title;
    int trackCount = 0;
    QList<StoreTrack> tracks;
    StorePicture picture;
};

struct StoreArtist
{
    QString id;
    QString name;
    QString genre;
    QList<StoreAlbum> albums;
    QStringList similar;
    StorePicture picture;
};

struct StoreTrackRef
{
    const StoreArtist *artist = nullptr;
    const StoreAlbum *album = nullptr;
    const StoreTrack *track = nullptr;
};

struct StoreAlbumRef
{
    const StoreArtist *artist = nullptr;
    const StoreAlbum *album = nullptr;
};
