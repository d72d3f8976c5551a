#include "velloraspinner.h"

#include "panellayout.h"
#include "svaccessible.h"
#include "svlabel.h"
#include "svlinearlayoutpolicy.h"
#include "svprogressindicator.h"
#include "svseparator.h"
#include "svstylablewidget.h"
#include "svwidgetcontroller.h"

VelloraSpinner::VelloraSpinner(SvWidget *parent) : SvWidget(parent), m_label(nullptr)
{
    SvLinearLayoutPolicy *policy = createLinearPolicy(this, Qt::Vertical);

    auto *spacer = new SvStylableWidget(this);
    spacer->setStyleName(QStringLiteral("CommonLargeSpacer"));
    policy->addItem(spacer);

    auto *divider = new SvSeparator(this, Qt::Horizontal);
    divider->setStyleName(QStringLiteral("CommonItemDividerInverted"));
    policy->addItem(divider);

    auto *panel = new SvWidgetController(this);
    panel->setStyleName(QStringLiteral("CommonSmallPanelInverted"));
    policy->addItem(panel);
    SvLinearLayoutPolicy *panelPolicy = createLinearPolicy(panel, Qt::Horizontal);

    m_label = new SvLabel(panel);
    m_label->setStyleName(QStringLiteral("CommonSingleTitleInverted"));
    panelPolicy->addItem(m_label, Qt::AlignLeft | Qt::AlignVCenter);

    auto *indicator = new SvProgressIndicator(panel, SvProgressIndicator::spinnerType);
    indicator->setStyleName(QStringLiteral("CommonListItemSpinnerInverted"));
    indicator->setUnknownDuration(true);
    panelPolicy->addItem(indicator, Qt::AlignRight | Qt::AlignVCenter);

    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // Read as one line of text: the indicator beside it says nothing more.
    setAccessibleRole(QAccessible::StaticText);
}

VelloraSpinner::~VelloraSpinner() = default;

QString VelloraSpinner::text() const
{
    return m_label->text();
}

void VelloraSpinner::setText(const QString &text)
{
    if (text == m_label->text())
        return;
    m_label->setText(text);
    // Nothing has the focus on the row, so a screen reader would not say the
    // change (loading, then no matches) unless told to.
    if (isVisible())
        SvAccessible::notify(this, QAccessible::Alert);
}
