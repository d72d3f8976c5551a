#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTextStream>

#include "storeserver.h"

int main(int argc, char *argv[])
{
    // The store draws its pictures off screen; it needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellora-store"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Music store for libvellora's demo host and tests."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port on 127.0.0.1 (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption catalogOption(
            QStringLiteral("catalog"),
            QStringLiteral("Catalog JSON file instead of the built-in one."),
            QStringLiteral("FILE"));
    const QCommandLineOption tokenOption(QStringLiteral("token"),
                                         QStringLiteral("Client token to accept."),
                                         QStringLiteral("TOKEN"));
    const QCommandLineOption headTimeoutOption(
            QStringLiteral("head-timeout"),
            QStringLiteral("Milliseconds a request's head may take from its first byte."),
            QStringLiteral("MS"), QString::number(StoreHttpListener::DefaultHeadTimeoutMs));
    parser.addOptions({ portOption, catalogOption, tokenOption, headTimeoutOption });
    parser.process(app);

    QTextStream err(stderr);
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        err << "vellora-store: bad port " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    const int headTimeoutMs = parser.value(headTimeoutOption).toInt(&ok);
    if (!ok || headTimeoutMs < 1) {
        err << "vellora-store: bad head time-out " << parser.value(headTimeoutOption) << Qt::endl;
        return 2;
    }

    StoreServer server;
    server.setTimeouts(headTimeoutMs, StoreHttpListener::DefaultIdleTimeoutMs);
    if (parser.isSet(catalogOption)) {
        QString error;
        if (!server.loadCatalog(parser.value(catalogOption), &error)) {
            err << "vellora-store: " << error << Qt::endl;
            return 1;
        }
    }
    if (parser.isSet(tokenOption))
        server.setToken(parser.value(tokenOption));
    if (!server.start(quint16(port))) {
        err << "vellora-store: cannot listen on 127.0.0.1:" << port << ": " << server.errorString()
            << Qt::endl;
        return 1;
    }
    QTextStream(stdout) << server.baseUrl() << Qt::endl;
    return app.exec();
}
