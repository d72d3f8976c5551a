#include "panelwatch.h"

#include "flowcommon.h"

PanelWatch::PanelWatch(const QString &viewId, SvWidget *panel) : m_viewId(viewId), m_probe(panel)
{
    m_valid = m_probe.follow();
    connect(&m_probe, &PanelProbe::rowsArrived, this, [this] {
        const InstructionCount::Pause pause;
        m_rowsAt = nowMs();
        if (!m_label.isEmpty())
            InstructionCount::stop(m_label + QStringLiteral(" rows"));
        look();
    });
    connect(&m_probe, &PanelProbe::changed, this, &PanelWatch::onChanged);
}

void PanelWatch::arm(const QString &label)
{
    m_label = label;
    m_startedAt = nowMs();
    m_rowsAt = -1;
    m_picturesAt = -1;
    m_loadingShown = false;
}

void PanelWatch::onChanged()
{
    const InstructionCount::Pause pause;
    look();
}

void PanelWatch::look()
{
    m_loadingShown = m_loadingShown || m_probe.isLoading();
    if (m_probe.rows().isEmpty() || !m_probe.picturesLoaded())
        return;
    m_picturesAt = nowMs();
    if (!m_label.isEmpty())
        InstructionCount::stop(m_label + QStringLiteral(" pictures"));
    m_label.clear();
    if (changed)
        changed();
}
