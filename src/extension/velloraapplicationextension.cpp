#include "velloraapplicationextension.h"

#include <QDebug>

#include "applicationactioncontent.h"
#include "applicationactionmediator.h"
#include "musicapplicationactioncontent.h"
#include "promotionnetworkapi.h"
#include "svlocale.h"
#include "velloraview.h"
#include "viewnames.h"

VelloraApplicationExtension::VelloraApplicationExtension() : m_detailsReceived(false)
{
    SvLocale locale;
    locale.addTranslationPath(QStringLiteral("/usr/share/l10n/solvanetouch/"));
    locale.addTranslationPath(QStringLiteral(VELLORA_INSTALLED_TRANSLATIONS_DIR));
    locale.installTrCatalog(QStringLiteral("teku-music-store"));
    SvLocale::setDefault(locale);
}

VelloraApplicationExtension::~VelloraApplicationExtension()
{
    qDebug() << "VelloraApplicationExtension::~VelloraApplicationExtension()";
    const QList<QString> names = m_views.keys();
    for (const QString &name : names) {
        delete m_views.value(name);
        qDebug() << name;
    }
    // Its network threads and picture workers would otherwise run on into the
    // host's exit, or past an unload of this library.
    PromotionNetworkAPI::shutDown();
}

void VelloraApplicationExtension::setupActions(ApplicationActionMediator *mediator)
{
    if (!mediator)
        return;
    connect(mediator, &ApplicationActionMediator::viewStarted, this,
            &VelloraApplicationExtension::setDetails, Qt::UniqueConnection);
    const QSharedPointer<ApplicationActionContent> content = mediator->currentContent();
    if (content && !m_detailsReceived)
        setDetails(content);
}

SvWidget *VelloraApplicationExtension::widget()
{
    return m_views.value(m_currentViewName);
}

bool VelloraApplicationExtension::initialize(const QString &interfaceId)
{
    qDebug() << "VelloraApplicationExtension::initialize";
    m_currentViewName = interfaceId;
    if (!m_views.contains(interfaceId)) {
        m_views.insert(interfaceId, new VelloraView(interfaceId, nullptr));
        return true;
    }
    qDebug() << "Initialize error";
    return false;
}

void VelloraApplicationExtension::setDetails(QSharedPointer<ApplicationActionContent> content)
{
    m_detailsReceived = true;
    if (!content)
        return;

    const QString artist = content->value(QStringLiteral("artist")).toString();
    const QString album = content->value(QStringLiteral("album")).toString();
    const QString song = content->value(QStringLiteral("song")).toString();
    const QString genre = content->value(QStringLiteral("genre")).toString();

    // Without a view type the content cannot be placed in any panel.
    const QSharedPointer<MusicApplicationActionContent> musicContent =
            content.objectCast<MusicApplicationActionContent>();
    if (!musicContent)
        return;

    QString viewName;
    switch (musicContent->viewType()) {
    case MusicApplicationActionContent::ArtistView:
        viewName = ViewNames::Artist;
        break;
    case MusicApplicationActionContent::GenreView:
        viewName = ViewNames::Genre;
        break;
    case MusicApplicationActionContent::AlbumView:
        viewName = ViewNames::Album;
        break;
    default:
        viewName = ViewNames::Player;
        break;
    }

    if (VelloraView *view = m_views.value(viewName))
        view->setDetails(artist, album, song, genre);
}
