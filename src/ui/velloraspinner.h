#pragma once

#include "svwidget.h"

class SvLabel;

// The loading row: the model's loading text beside a busy indicator.
class VelloraSpinner : public SvWidget
{
    Q_OBJECT

public:
    explicit VelloraSpinner(SvWidget *parent = nullptr);
    ~VelloraSpinner() override;

    QString text() const;

public slots:
    void setText(const QString &text);

private:
    SvLabel *m_label;
};
