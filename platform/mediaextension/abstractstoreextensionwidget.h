#pragma once

#include "abstractextensioninterface.h"
#include "svapplicationextensioninterface.h"

// An extension that places a store widget in the player's views.
class AbstractStoreExtensionWidget : public AbstractExtensionInterface,
                                     public SvApplicationExtensionInterface
{
    Q_OBJECT
    Q_INTERFACES(SvApplicationExtensionInterface)

public:
    explicit AbstractStoreExtensionWidget(QObject *parent = nullptr);
    ~AbstractStoreExtensionWidget() override;
};
