#pragma once

#include <QtPlugin>

class QString;
class SvWidget;

// What an application asks of an extension it loads: prepare for one of
// its views, then hand over the widget to show there.
class SvApplicationExtensionInterface
{
public:
    virtual ~SvApplicationExtensionInterface() { }

    virtual bool initialize(const QString &interfaceId) = 0;
    virtual SvWidget *widget() = 0;
};

Q_DECLARE_INTERFACE(SvApplicationExtensionInterface,
                    "com.solvane.core.SvApplicationExtensionInterface/1.0")
