#include "companionsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "regularfile.h"

namespace {

const qint64 MaxFileBytes = 4096;
constexpr char OpenDataOn[] = "open-data=true";

} // namespace

QString CompanionSettings::fileName()
{
    const QString folder = qEnvironmentVariableIsSet(CallerConfigVariable)
            ? qEnvironmentVariable(CallerConfigVariable)
            : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder + QLatin1String("/vellora-player/companion.conf");
}

bool CompanionSettings::openData()
{
    QByteArray text;
    if (RegularFile::read(fileName(), MaxFileBytes, &text) != RegularFile::Status::Read)
        return false;
    return text.split('\n').contains(QByteArray(OpenDataOn));
}

bool CompanionSettings::setOpenData(bool on)
{
    const QString name = fileName();
    QDir().mkpath(QFileInfo(name).absolutePath());
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(on ? QByteArray(OpenDataOn) + '\n' : QByteArray("open-data=false\n"));
    return file.commit();
}
