#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>

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
        Pending, // nothing to show yet, or still loading
        Results, // the list stands in the panel with at least one row
        NoMatches, // the no-matches text was shown
    };

    struct Row
    {
        QString title;
        QString subtitle;
        QString sideText;
        bool pictureLoaded = false;
        QString iconId; // a theme icon shown instead of a picture
        QSize pictureSize; // of the picture shown, when one is
    };

    explicit PanelProbe(SvWidget *panel, QObject *parent = nullptr);

    SvWidget *panel() const;
    State state() const;
    QList<Row> rows() const;
    QStringList titles() const;
    bool picturesLoaded() const;
    bool isLoading() const;
    static QString noMatchesText();

    // Spins the event loop until the panel shows results (with their
    // pictures when asked) or the no-matches text; false on time-out.
    bool waitForSettled(int timeoutMs, bool withPictures);

    // From now on announces rows reaching the panel's list and every later
    // change of the rows, their pictures or the loading row; false when
    // the panel has no list or loading row to follow.
    bool follow();

    bool clickRow(int row);
    bool clickStoreRow();

    // The widest a panel is shown.
    static constexpr int MaximumWidth = 480;

    // At width, at most the panel's full width, and the height its contents
    // ask for at that width.
    void fitToContents(int width = MaximumWidth);

    // The panel as shown, on the theme's ground.
    QImage render();

signals:
    void rowsArrived();
    void changed();

private:
    QList<QGraphicsItem *> items() const;
    SvList *list() const;
    SvListItem *storeRow() const;
    bool showsNoMatches() const;
    bool click(QGraphicsItem *item);

    QPointer<SvWidget> m_panel;
};
