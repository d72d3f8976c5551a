#pragma once

#include <QString>

#include "svwidget.h"

class SvLinearLayoutPolicy;
class SvStylableWidget;
class TekuMusicButtonWidget;
class VelloraContainer;
class VelloraModel;
class VelloraSpinner;

// The panel placed in one of the host's views. Shows nothing, the loading
// row, or the store row above the list, following the model, its own
// visibility and the feature switch; while the switch is off it holds the
// latest track details back.
class VelloraView : public SvWidget
{
    Q_OBJECT

public:
    VelloraView(const QString &name, SvWidget *parent = nullptr);
    ~VelloraView() override;

    SvLinearLayoutPolicy *layoutPolicy() const;
    TekuMusicButtonWidget *storeButton() const;
    VelloraContainer *container() const;
    VelloraSpinner *spinner() const;
    SvStylableWidget *spacer() const;

public slots:
    void setDetails(const QString &artistName, const QString &albumTitle, const QString &songTitle,
                    const QString &genre);

private slots:
    void setSpinnerVisible(bool visible);
    void onModelLoadingTextChanged();
    void setWidgetVisible(bool visible);
    void onVisibleChanged();
    void onSettingsModified(bool enabled);

private:
    SvLinearLayoutPolicy *m_policy;
    TekuMusicButtonWidget *m_button;
    VelloraContainer *m_container;
    VelloraSpinner *m_spinner;
    SvStylableWidget *m_spacer;
    QString m_viewName;
    bool m_enabled;
    bool m_detailsPending;
    VelloraModel *m_model;
    QString m_artistName;
    QString m_albumTitle;
    QString m_songTitle;
    QString m_genre;
};
