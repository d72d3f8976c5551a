#include "velloracontainer.h"

#include "aoainterfacecontentitemcreator.h"
#include "panellayout.h"
#include "svlabel.h"
#include "svlinearlayoutpolicy.h"
#include "svlist.h"
#include "svseparator.h"
#include "velloracontentitemcreator.h"
#include "velloramodel.h"
#include "viewtraits.h"

VelloraContainer::VelloraContainer(const QString &name, SvWidget *parent)
    : SvWidget(parent),
      m_list(nullptr),
      m_model(nullptr),
      m_viewName(name),
      m_header(nullptr)
{
    const bool artistView = ViewTraits::of(m_viewName).artistCells;
    SvLinearLayoutPolicy *policy = createLinearPolicy(this, Qt::Vertical);

    auto *header = new SvWidget(this);
    policy->addItem(header);
    SvLinearLayoutPolicy *headerPolicy = createLinearPolicy(header, Qt::Horizontal);

    // Each joins the header before it is styled and given its text: a widget
    // outside a layout works its size out again (fonts, text shaping) at
    // every such change.
    auto *divider = new SvSeparator(header, Qt::Horizontal);
    headerPolicy->addItem(divider);
    divider->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
    divider->setStyleName(QStringLiteral("CommonGroupHeaderDividerInverted"));

    m_header = new SvLabel(header);
    headerPolicy->addItem(m_header);
    m_header->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_header->setStyleName(QStringLiteral("CommonGroupHeaderInverted"));
    m_header->setText(artistView ? qtTrId("qtn_musi_vellora_artists") : qtTrId("qtn_musi_vellora"));
    m_header->setAccessibleRole(QAccessible::Heading);

    m_list = new SvList(this);
    m_list->setAccessibleName(m_header->text());
    if (artistView)
        m_list->setCellCreator(new AOAInterfaceContentItemCreator(this));
    else
        m_list->setCellCreator(new VelloraContentItemCreator(this));

    m_model = new VelloraModel(this);
    m_list->setItemModel(m_model);
    policy->addItem(m_list);

    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    connect(m_list, &SvList::itemClicked, m_model, &VelloraModel::onPromotionClicked,
            Qt::UniqueConnection);
}

VelloraContainer::~VelloraContainer() = default;

SvList *VelloraContainer::list() const
{
    return m_list;
}

SvLabel *VelloraContainer::header() const
{
    return m_header;
}

void VelloraContainer::setDetails(const QString &artistName, const QString &albumTitle,
                                  const QString &songTitle, const QString &genre)
{
    m_model->setDetails(artistName, albumTitle, songTitle, genre, m_viewName);
}

VelloraModel *VelloraContainer::promotionModel()
{
    return m_model;
}
