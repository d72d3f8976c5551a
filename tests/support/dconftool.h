#pragma once

#include <QString>
#include <QStringList>

// Runs the dconf command line tool, so that a test changes the settings store the way another
// program would.
class DconfTool
{
public:
    // Runs "dconf <arguments>"; false (with a warning) if it did not finish cleanly.
    static bool run(const QStringList &arguments, QString *output = nullptr);

    // The stored value as dconf prints it, or an empty string for an unset key.
    static QString read(const QString &key);
    static bool write(const QString &key, const QString &value);
    static bool reset(const QString &key);
};
