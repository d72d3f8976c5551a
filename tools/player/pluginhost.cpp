#include "pluginhost.h"

#include <QSharedPointer>

#include "abstractextensioninterface.h"
#include "musicalbumextensioninterface.h"
#include "musicapplicationactioncontent.h"
#include "musicartistextensioninterface.h"
#include "musicplayerextensioninterface.h"
#include "svapplicationextensioninterface.h"
#include "svwidget.h"

PluginHost::PluginHost(QObject *parent) : QObject(parent) { }

PluginHost::~PluginHost()
{
    delete m_extension.data();
}

bool PluginHost::load(const QString &fileName)
{
    m_loader.setFileName(fileName);
    QObject *instance = m_loader.instance();
    if (!instance) {
        m_error = m_loader.errorString();
        return false;
    }
    if (!qobject_cast<SvApplicationExtensionInterface *>(instance)
        || !qobject_cast<AbstractExtensionInterface *>(instance)) {
        m_error = QStringLiteral("%1 is not a music player extension").arg(fileName);
        return false;
    }
    m_extension = instance;
    return true;
}

QString PluginHost::errorString() const
{
    return m_error;
}

QObject *PluginHost::extension() const
{
    return m_extension;
}

SvApplicationExtensionInterface *PluginHost::applicationExtension() const
{
    return qobject_cast<SvApplicationExtensionInterface *>(m_extension.data());
}

ApplicationActionMediator *PluginHost::mediator()
{
    return &m_mediator;
}

QStringList PluginHost::viewIds()
{
    return { QLatin1String(qobject_interface_iid<MusicPlayerExtensionInterface *>()),
             QLatin1String(qobject_interface_iid<MusicAlbumExtensionInterface *>()),
             QLatin1String(qobject_interface_iid<MusicArtistExtensionInterface *>()) };
}

QString PluginHost::viewName(const QString &viewId)
{
    const QStringList ids = viewIds();
    static const QStringList names { QStringLiteral("player"), QStringLiteral("album"),
                                     QStringLiteral("artist") };
    const qsizetype index = ids.indexOf(viewId);
    return index < 0 ? QString() : names.at(index);
}

QString PluginHost::viewIdForName(const QString &name)
{
    const QStringList ids = viewIds();
    for (const QString &id : ids) {
        if (viewName(id).compare(name, Qt::CaseInsensitive) == 0)
            return id;
    }
    return QString();
}

bool PluginHost::servesView(const QString &viewId) const
{
    return m_extension && m_extension->qt_metacast(viewId.toLatin1().constData());
}

SvWidget *PluginHost::initializeView(const QString &viewId)
{
    SvApplicationExtensionInterface *extension = applicationExtension();
    if (!extension)
        return nullptr;
    extension->initialize(viewId);
    SvWidget *widget = extension->widget();
    m_views.insert(viewId, widget);
    return widget;
}

SvWidget *PluginHost::view(const QString &viewId) const
{
    return m_views.value(viewId);
}

void PluginHost::initializeAll()
{
    const QStringList ids = viewIds();
    for (const QString &id : ids) {
        if (servesView(id))
            initializeView(id);
    }
    if (auto *extension = qobject_cast<AbstractExtensionInterface *>(m_extension.data()))
        extension->setupActions(&m_mediator);
}

int PluginHost::viewType(const QString &viewId)
{
    if (viewId == QLatin1String(qobject_interface_iid<MusicAlbumExtensionInterface *>()))
        return MusicApplicationActionContent::AlbumView;
    if (viewId == QLatin1String(qobject_interface_iid<MusicArtistExtensionInterface *>()))
        return MusicApplicationActionContent::ArtistView;
    return MusicApplicationActionContent::PlayerView;
}

void PluginHost::publish(const QString &viewId, const PlayerTrack &track)
{
    QHash<QString, QVariant> values;
    const auto add = [&values](const char *key, const QString &value) {
        if (!value.isEmpty())
            values.insert(QLatin1String(key), value);
    };
    add("artist", track.artist);
    add("album", track.album);
    add("song", track.song);
    add("genre", track.genre);
    m_mediator.publish(QSharedPointer<ApplicationActionContent>(
            new MusicApplicationActionContent(viewType(viewId), values)));
}
