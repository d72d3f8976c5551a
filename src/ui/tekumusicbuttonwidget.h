#pragma once

#include "svwidget.h"

// The store row: touching it opens the store client on the current artist.
class TekuMusicButtonWidget : public SvWidget
{
    Q_OBJECT

public:
    explicit TekuMusicButtonWidget(SvWidget *parent = nullptr);
    ~TekuMusicButtonWidget() override;

signals:
    void clicked();
};
