#include "abstractextensioninterface.h"

AbstractExtensionInterface::AbstractExtensionInterface(QObject *parent) : QObject(parent) { }

AbstractExtensionInterface::~AbstractExtensionInterface() = default;
