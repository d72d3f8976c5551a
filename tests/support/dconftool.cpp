#include "dconftool.h"

#include <QDebug>
#include <QProcess>

bool DconfTool::run(const QStringList &arguments, QString *output)
{
    QProcess dconf;
    dconf.start(QStringLiteral("dconf"), arguments);
    const bool finished = dconf.waitForFinished(20000) && dconf.exitStatus() == QProcess::NormalExit
            && dconf.exitCode() == 0;
    if (!finished)
        qWarning() << "dconf" << arguments << "failed:" << dconf.readAllStandardError();
    if (output)
        *output = QString::fromUtf8(dconf.readAllStandardOutput()).trimmed();
    return finished;
}

QString DconfTool::read(const QString &key)
{
    QString value;
    run({ QStringLiteral("read"), key }, &value);
    return value;
}

bool DconfTool::write(const QString &key, const QString &value)
{
    return run({ QStringLiteral("write"), key, value });
}

bool DconfTool::reset(const QString &key)
{
    return run({ QStringLiteral("reset"), key });
}
