#include "playerconsole.h"

QTextStream &PlayerConsole::out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &PlayerConsole::err()
{
    static QTextStream stream(stderr);
    return stream;
}
