#include "abstractstoreextensionwidget.h"

AbstractStoreExtensionWidget::AbstractStoreExtensionWidget(QObject *parent)
    : AbstractExtensionInterface(parent)
{ }

AbstractStoreExtensionWidget::~AbstractStoreExtensionWidget() = default;
