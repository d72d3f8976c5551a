#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "panelprobe.h"

class SvWidget;

// One panel as the bench sees it: when rows reach its list, when every row
// shows its picture, and whether its loading row showed.
class PanelWatch : public QObject
{
public:
    PanelWatch(const QString &viewId, SvWidget *panel);

    bool isValid() const { return m_valid; }
    QString viewId() const { return m_viewId; }
    const PanelProbe &probe() const { return m_probe; }

    // label: under callgrind, the name under which the change's instructions
    // are written; empty: not counted.
    void arm(const QString &label);

    bool settled() const { return m_rowsAt >= 0 && m_picturesAt >= m_rowsAt; }
    double startedAt() const { return m_startedAt; }
    double rowsAt() const { return m_rowsAt; }
    double picturesAt() const { return m_picturesAt; }
    bool loadingShown() const { return m_loadingShown; }

    std::function<void()> changed;

private:
    void onChanged();
    void look();

    QString m_viewId;
    QString m_label;
    PanelProbe m_probe;
    bool m_valid = false;
    double m_startedAt = -1;
    double m_rowsAt = -1;
    double m_picturesAt = -1;
    bool m_loadingShown = false;
};
