// The least a host player does with the extension library: a mediator that
// publishes the track of its now-playing view.
#include <QCoreApplication>
#include <QSharedPointer>

#include "applicationactionmediator.h"
#include "musicapplicationactioncontent.h"
#include "musicplayerextensioninterface.h"
#include "svapplicationextensioninterface.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ApplicationActionMediator mediator;
    mediator.publish(QSharedPointer<ApplicationActionContent>(new MusicApplicationActionContent(
            MusicApplicationActionContent::PlayerView,
            { { QStringLiteral("artist"), QStringLiteral("Someone") } })));
    return mediator.currentContent() ? 0 : 1;
}
