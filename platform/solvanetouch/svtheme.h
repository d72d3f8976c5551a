#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include "svstyle.h"

// The toolkit's styles and icons; the "Inverted" styles follow the system's
// colour scheme, light on dark or dark on light.
class SvTheme
{
public:
    // Whether the system's colour scheme is dark.
    static bool isDark();
    // What a host shows panels on.
    static QColor ground();

    // Looks for a style name; unknown names get the plain default style.
    static SvStyle style(const QString &styleName);
    static bool hasStyle(const QString &styleName);

    static bool hasIcon(const QString &iconId);
    // The icon drawn at the given size; a null image for an unknown id.
    static QImage icon(const QString &iconId, const QSize &size);
};
