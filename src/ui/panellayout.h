#pragma once

#include <Qt>

class QString;
class SvDetailedListItem;
class SvLinearLayoutPolicy;
class SvWidget;

// Gives the widget a layout with one linear policy, all margins and the
// spacing 0, so that the theme's style names alone decide the panel's looks.
SvLinearLayoutPolicy *createLinearPolicy(SvWidget *widget, Qt::Orientation orientation);

// The looks shared by the panel's list items; only the item style and the
// title's style name differ between them.
void styleListItem(SvDetailedListItem *item, const QString &titleStyleName);
