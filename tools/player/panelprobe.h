#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QGraphicsItem;
class SvList;
class SvListItem;
class SvWidget;

// Reads a panel the way a person looks at it: through its widgets, not the
// plug-in's classes (the player has no copy of them), and touches it the
// way a finger does, with mouse events through the scene.
class PanelProbe : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Pending,   // nothing to show yet, or still loading
        Results,   // the list stands in the panel with at least one row
        NoMatches, // the no-matches text was shown
    };

    struct Row {
        QString title;
        QString subtitle;
        QString sideText;
        bool pictureLoaded = false;
    };

    explicit PanelProbe(SvWidget *panel, QObject *parent = nullptr);

    SvWidget *panel() const;
    State state() const;
    QList<Row> rows() const;
    bool picturesLoaded() const;
    static QString noMatchesText();

    // Spins the event loop until the panel shows results (with their
    // pictures when asked) or the no-matches text; false on time-out.
    bool waitForSettled(int timeoutMs, bool withPictures);

    bool clickRow(int row);
    bool clickStoreRow();

    // At the panel's full width and the height its contents ask for.
    void fitToContents();

    // The panel as shown, on the theme's dark ground.
    QImage render();

private:
    QList<QGraphicsItem *> items() const;
    SvList *list() const;
    SvListItem *storeRow() const;
    bool isLoading() const;
    bool showsNoMatches() const;
    bool click(QGraphicsItem *item);

    QPointer<SvWidget> m_panel;
};
