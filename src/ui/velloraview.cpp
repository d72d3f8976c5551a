#include "velloraview.h"

#include "panellayout.h"
#include "settingsmanager.h"
#include "svlinearlayoutpolicy.h"
#include "svstylablewidget.h"
#include "tekumusicbuttonwidget.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "viewtraits.h"

namespace {
const qreal MaximumPanelWidth = 480;
}

VelloraView::VelloraView(const QString &name, SvWidget *parent)
    : SvWidget(parent),
      m_policy(nullptr),
      m_button(nullptr),
      m_container(nullptr),
      m_spinner(nullptr),
      m_spacer(nullptr),
      m_viewName(name),
      m_enabled(false),
      m_detailsPending(false),
      m_model(nullptr)
{
    setAccessibleRole(QAccessible::Grouping);
    m_policy = createLinearPolicy(this, Qt::Vertical);

    m_container = new VelloraContainer(m_viewName, this);
    m_container->hide();
    m_model = m_container->promotionModel();

    connect(m_model, &VelloraModel::buttonVisibleChanged, this, &VelloraView::setWidgetVisible);
    connect(m_model, &VelloraModel::loadingChanged, this, &VelloraView::setSpinnerVisible);
    connect(m_model, &VelloraModel::loadingTextChanged, this,
            &VelloraView::onModelLoadingTextChanged);
    connect(this, &VelloraView::visibleChanged, this, &VelloraView::onVisibleChanged,
            Qt::QueuedConnection);
    connect(SettingsManager::instance(), &SettingsManager::settingsModified, this,
            &VelloraView::onSettingsModified);

    if (ViewTraits::of(m_viewName).storeRow) {
        m_button = new TekuMusicButtonWidget(this);
        m_button->hide();
        connect(m_button, &TekuMusicButtonWidget::clicked, m_model, &VelloraModel::onButtonClicked);
    }

    setMaximumWidth(MaximumPanelWidth);

    m_spinner = new VelloraSpinner(this);
    m_spinner->setText(m_model->loadingText());
    m_spinner->hide();

    if (ViewTraits::of(m_viewName).spacer) {
        // Parentless until it first enters the layout, which adopts it.
        m_spacer = new SvStylableWidget;
        m_spacer->setStyleName(QStringLiteral("CommonLargeSpacer"));
    }

    m_enabled = SettingsManager::instance()->velloraPromotion();
}

VelloraView::~VelloraView()
{
    // The model goes with the container after this object has stopped being a
    // VelloraView; its clearing must not call back into the view by then.
    if (m_model)
        m_model->disconnect(this);
    if (m_spacer && !m_spacer->parentItem())
        delete m_spacer;
}

SvLinearLayoutPolicy *VelloraView::layoutPolicy() const
{
    return m_policy;
}

TekuMusicButtonWidget *VelloraView::storeButton() const
{
    return m_button;
}

VelloraContainer *VelloraView::container() const
{
    return m_container;
}

VelloraSpinner *VelloraView::spinner() const
{
    return m_spinner;
}

SvStylableWidget *VelloraView::spacer() const
{
    return m_spacer;
}

void VelloraView::setDetails(const QString &artistName, const QString &albumTitle,
                             const QString &songTitle, const QString &genre)
{
    m_artistName = artistName;
    m_albumTitle = albumTitle;
    m_songTitle = songTitle;
    m_genre = genre;
    if (m_enabled) {
        m_detailsPending = false;
        m_container->setDetails(artistName, albumTitle, songTitle, genre);
    } else {
        m_detailsPending = true;
    }
}

void VelloraView::setSpinnerVisible(bool visible)
{
    if (visible) {
        setWidgetVisible(false);
        if (m_policy->indexOf(m_spinner) == -1)
            m_policy->insertItem(0, m_spinner);
        if (m_spacer && m_policy->indexOf(m_spacer) == -1)
            m_policy->insertItem(0, m_spacer);
    } else {
        if (m_policy->indexOf(m_spinner) != -1)
            m_policy->removeItem(m_spinner);
        if (m_spacer && m_policy->indexOf(m_spacer) != -1)
            m_policy->removeItem(m_spacer);
    }
    m_spinner->setVisible(visible);
}

void VelloraView::onModelLoadingTextChanged()
{
    m_spinner->setText(m_model->loadingText());
}

void VelloraView::setWidgetVisible(bool visible)
{
    if (visible && m_enabled && m_model->rowCount(QModelIndex()) > 0) {
        setSpinnerVisible(false);
        if (m_button && m_policy->indexOf(m_button) == -1)
            m_policy->insertItem(0, m_button, Qt::AlignHCenter);
        if (m_policy->indexOf(m_container) == -1)
            m_policy->insertItem(m_button ? 1 : 0, m_container);
        if (m_button)
            m_button->show();
        m_container->show();
    } else {
        if (m_button && m_policy->indexOf(m_button) != -1)
            m_policy->removeItem(m_button);
        if (m_policy->indexOf(m_container) != -1)
            m_policy->removeItem(m_container);
        if (m_button)
            m_button->hide();
        m_container->hide();
    }
}

void VelloraView::onVisibleChanged()
{
    setWidgetVisible(isVisible() && m_enabled);
}

void VelloraView::onSettingsModified(bool enabled)
{
    m_enabled = enabled;
    if (m_detailsPending && enabled) {
        m_model->clearModel();
        m_container->setDetails(m_artistName, m_albumTitle, m_songTitle, m_genre);
        m_detailsPending = false;
        return;
    }
    setWidgetVisible(isVisible() && enabled);
}
