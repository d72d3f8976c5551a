#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include "svstyle.h"

class SvTheme
{
public:
    // Looks for a style name; unknown names get the plain default style.
    static SvStyle style(const QString &styleName);
    static bool hasStyle(const QString &styleName);

    static bool hasIcon(const QString &iconId);
    // The icon drawn at the given size; a null image for an unknown id.
    static QImage icon(const QString &iconId, const QSize &size);
};
