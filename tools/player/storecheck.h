#pragma once

#include <QString>

// Tells a store that cannot be reached from one that has no matches: the
// panel shows the same text for both, a script wants to tell them apart.
class StoreCheck
{
public:
    // Asks the store that the store client's settings name for its root
    // page. Empty when any answer came back; otherwise why none did, for
    // example "store unreachable: Connection refused" or "store timed out".
    static QString problem(int timeoutMs);
};
