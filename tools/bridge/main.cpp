#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include "bridgeoptions.h"
#include "bridgeserver.h"
#include "fakestoreclient.h"
#include "pageopener.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellora-bridge"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELLORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Answers libvellora's music store requests from MusicBrainz, ListenBrainz and the "
            "Cover Art Archive. The names of the artists asked for go to those services."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port on 127.0.0.1 (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption noClientOption(
            QStringLiteral("no-store-client"),
            QStringLiteral("Leave the store client's name on the session bus to others."));
    parser.addOptions({ portOption, noClientOption });
    BridgeOptions::addTo(&parser);
    parser.process(app);

    QTextStream err(stderr);
    BridgeOptions options;
    QString error;
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        err << "vellora-bridge: bad port " << parser.value(portOption) << Qt::endl;
        return 2;
    }
    if (!BridgeOptions::read(parser, &options, &error)) {
        err << "vellora-bridge: " << error << Qt::endl;
        return 2;
    }

    BridgeServer server(options);
    if (!server.start(quint16(port))) {
        err << "vellora-bridge: cannot listen on 127.0.0.1:" << port << ": "
            << server.errorString() << Qt::endl;
        return 1;
    }
    // Touching a row opens the item's public page.
    FakeStoreClient storeClient;
    PageOpener opener(options);
    QObject::connect(&storeClient, &FakeStoreClient::linkOpened, &opener, &PageOpener::open);
    if (!parser.isSet(noClientOption) && !(storeClient.start() && storeClient.registerService()))
        err << "vellora-bridge: the store client's name on the session bus is taken; rows "
               "open nothing"
            << Qt::endl;
    QTextStream(stdout) << server.baseUrl() << Qt::endl;
    return app.exec();
}
