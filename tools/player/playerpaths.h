#pragma once

#include <QString>

// Where the player finds the plug-in and its translation catalogs: in the
// build tree when it runs from there, otherwise beside itself in the
// installed tree, wherever that was installed or moved to. Needs the
// application object.
class PlayerPaths
{
public:
    static QString pluginFolder();
    static QString defaultPluginFile();
    static QString translationsFolder();

private:
    static bool runsFromBuildTree();
    static QString besideProgram(const QString &relativePath);
};
