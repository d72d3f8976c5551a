#pragma once

#include <QString>

// Tells a store that cannot be reached from one that has no matches: the
// panel shows the same text for both, a script wants to tell them apart.
class StoreCheck
{
public:
    // Asks the store that the store client's settings name as the panel
    // asks it, with the client's token. Empty when it answered; otherwise
    // why it did not, for example "store unreachable: Connection refused",
    // "store timed out", "store refused: Host requires authentication" or
    // "store failed: 500 Internal Server Error".
    static QString problem(const QString &artist, int timeoutMs);
};
