#pragma once

#include <QString>

// Tells a store that cannot be reached or fails from one that has no
// matches: the panel shows the same text for all of them, a script wants to
// tell them apart.
class StoreCheck
{
public:
    // Makes the panel's requests for the artist in the view again, as the
    // panel makes them (territory when the settings name none, artist
    // search, similar items), with the store client's token. Each answer is
    // read to at most the panel's answer limit, within timeoutMs however
    // slowly it comes. Empty when the store answered every request;
    // otherwise why it did not, for example "store unreachable: Connection
    // refused", "store timed out", "store refused: Host requires
    // authentication" or "store failed: 500 Internal Server Error".
    static QString problem(const QString &artist, const QString &viewName, int timeoutMs);

    // How long the store may take when the panel found nothing.
    static constexpr int TimeoutMs = 5000;
};
