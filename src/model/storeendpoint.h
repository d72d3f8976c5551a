#pragma once

#include <QString>

// Where and as whom the store is asked, read from the store client's settings
// file. Whatever is missing, blank or unsafe there is replaced by the default,
// so that no value from the file can send a request, and the token with it,
// anywhere but to a store, nor add a segment, a query or a fragment to it.
struct StoreEndpoint
{
    QString baseUrl; // protocol "://" host[:port]
    QString version;
    // Empty when the file names no usable territory: the store is asked.
    QString territory;
    QString token;

    // The store client's own file is a few hundred bytes; anything much
    // larger is not one, and would only cost memory to read.
    static constexpr qint64 MaxSettingsFileSize = 1024 * 1024;

    // Where the store client keeps its settings; worked out without opening
    // the file, which may not be safe to read.
    static QString settingsPath();
    // Reads the file; anything but a regular file of a sane size counts as no file.
    static StoreEndpoint read(const QString &settingsPath = StoreEndpoint::settingsPath());

    // A value that can stand as one path segment as it is sent: not blank,
    // not starting with a dot.
    static bool isUsableSegment(const QString &value);

    // The store's requests: the territory of a home mobile country code, the
    // search for an artist, and an artist's similar items (similarPath is
    // "tracks/", "albums/" or empty).
    QString territoryUrl(const QString &mcc) const;
    QString searchUrl(const QString &artist) const;
    QString similarUrl(const QString &artistId, const QString &similarPath,
                       int itemsPerPage) const;

    bool operator==(const StoreEndpoint &other) const;
    bool operator!=(const StoreEndpoint &other) const { return !(*this == other); }

private:
    // base URL "/" version, with no closing slash.
    QString apiRoot() const;
};
