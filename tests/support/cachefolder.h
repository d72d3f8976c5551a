#pragma once

#include <QString>

// Where the plug-in keeps store answers ("queries") and pictures ("images"),
// and the name it gives what it fetched from a URL.
class CacheFolder
{
public:
    // The cache folder, without a closing slash.
    static QString path();
    // A sub-folder, with a closing slash.
    static QString folder(const QString &kind);
    static QString fileName(const QString &url);
    static QString filePath(const QString &kind, const QString &url);
    // Removes a sub-folder with everything in it and creates it again, empty.
    static bool empty(const QString &kind);
};
