#pragma once

#include <QHash>
#include <QObject>
#include <QPluginLoader>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "applicationactionmediator.h"
#include "playertrack.h"

class SvApplicationExtensionInterface;
class SvWidget;

// The music player's side of the extension contract: loads the plug-in,
// asks it which views it serves, initializes those, hands over the
// mediator and publishes the contents of the views.
class PluginHost : public QObject
{
    Q_OBJECT

public:
    explicit PluginHost(QObject *parent = nullptr);
    // Deletes the extension object, as the player does when it closes.
    ~PluginHost() override;

    bool load(const QString &fileName);
    QString errorString() const;

    QObject *extension() const;
    SvApplicationExtensionInterface *applicationExtension() const;
    ApplicationActionMediator *mediator();

    // The player's view ids in the player's order, and whether the
    // extension answers each.
    static QStringList viewIds();
    // The short names of the views on the command line and in the window
    // ("player", "album", "artist"); empty for an id or name of none.
    static QString viewName(const QString &viewId);
    static QString viewIdForName(const QString &name);
    bool servesView(const QString &viewId) const;

    // initialize() then widget(), as the player does for each of its views.
    SvWidget *initializeView(const QString &viewId);
    SvWidget *view(const QString &viewId) const;
    // Every view that the extension serves, then the mediator.
    void initializeAll();

    static int viewType(const QString &viewId);
    void publish(const QString &viewId, const PlayerTrack &track);

private:
    QPluginLoader m_loader;
    QPointer<QObject> m_extension;
    QString m_error;
    ApplicationActionMediator m_mediator;
    QHash<QString, QPointer<SvWidget>> m_views;
};
