#include "playerpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

bool PlayerPaths::runsFromBuildTree()
{
    return QCoreApplication::applicationDirPath()
            == QFileInfo(QStringLiteral(VELLORA_PLAYER_BUILD_DIR)).canonicalFilePath();
}

QString PlayerPaths::besideProgram(const QString &relativePath)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                           + relativePath);
}

QString PlayerPaths::pluginFolder()
{
    return QFileInfo(defaultPluginFile()).absolutePath();
}

QString PlayerPaths::defaultPluginFile()
{
    if (runsFromBuildTree())
        return QStringLiteral(VELLORA_BUILD_PLUGIN_FILE);
    return besideProgram(QStringLiteral(VELLORA_BIN_TO_PLUGIN_FILE));
}

QString PlayerPaths::translationsFolder()
{
    if (runsFromBuildTree())
        return QStringLiteral(VELLORA_BUILD_TRANSLATIONS_DIR);
    return besideProgram(QStringLiteral(VELLORA_BIN_TO_TRANSLATIONSDIR));
}
