#pragma once

#include <QTextStream>

// What the player says on its standard output and error, and the status it
// exits with.
class PlayerConsole
{
public:
    enum ExitCode { Success = 0, Failure = 1, UsageError = 2, StoreUnreachable = 3 };

    static QTextStream &out();
    static QTextStream &err();
};
