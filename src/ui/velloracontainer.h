#pragma once

#include <QString>

#include "svwidget.h"

class SvLabel;
class SvList;
class VelloraModel;

// The group header above the list of recommendations; owns the model.
class VelloraContainer : public SvWidget
{
    Q_OBJECT

public:
    VelloraContainer(const QString &name, SvWidget *parent = nullptr);
    ~VelloraContainer() override;

    SvList *list() const;
    SvLabel *header() const;

public slots:
    void setDetails(const QString &artistName = QString(), const QString &albumTitle = QString(),
                    const QString &songTitle = QString(), const QString &genre = QString());
    VelloraModel *promotionModel();

private:
    SvList *m_list;
    VelloraModel *m_model;
    QString m_viewName;
    SvLabel *m_header;
};
