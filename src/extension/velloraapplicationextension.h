#pragma once

#include <QHash>
#include <QSharedPointer>
#include <QString>

#include "abstractstoreextensionwidget.h"
#include "musicalbumextensioninterface.h"
#include "musicartistextensioninterface.h"
#include "musicplayerextensioninterface.h"

class ApplicationActionContent;
class ApplicationActionMediator;
class VelloraView;

// The plug-in's root object: one panel per player view that asks for it,
// fed with the track details that the player publishes.
//
// The plug-in metadata makes moc write the loader's entry point
// qt_plugin_instance(): one guarded static instance, built again after the
// player deleted it. The interface list below also fixes the order in which
// qt_metacast() answers: class names, then the view ids, then the toolkit id.
class VelloraApplicationExtension : public AbstractStoreExtensionWidget,
                                    public MusicAlbumExtensionInterface,
                                    public MusicArtistExtensionInterface,
                                    public MusicPlayerExtensionInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.solvane.core.SvApplicationExtensionInterface/1.0" FILE
                          "vellora.json")
    Q_INTERFACES(MusicAlbumExtensionInterface MusicArtistExtensionInterface
                         MusicPlayerExtensionInterface SvApplicationExtensionInterface)

public:
    VelloraApplicationExtension();
    ~VelloraApplicationExtension() override;

    void setupActions(ApplicationActionMediator *mediator) override;
    SvWidget *widget() override;
    bool initialize(const QString &interfaceId) override;

private slots:
    void setDetails(QSharedPointer<ApplicationActionContent> content);

private:
    QHash<QString, VelloraView *> m_views;
    QString m_currentViewName;
    bool m_detailsReceived;
};
