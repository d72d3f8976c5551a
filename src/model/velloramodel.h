#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QXmlStreamNamespaceDeclaration>

#include "storeendpoint.h"
#include "storequeries.h"

class QFileSystemWatcher;
class PromotionNetwork;
class PromotionXmlParser;

// The recommendation rows of one panel, fetched for the artist on screen in
// a chain of store requests, each answer parsed off the interface's thread:
//
//   setDetails(artist)
//     -> territory     only while no territory is known (settings, else the SIM)
//     -> search        the artist's store id, from the first title that names them
//     -> similar       up to four similar items of the view's kind
//     -> rows          and the store row shown
//   any failure -> the no-matches text, for the failure delay
//
// Each step has a slot for its answer and one for its parse; a slot is
// connected only while its answer is awaited, and acts only in its step.
class VelloraModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit VelloraModel(QObject *parent = nullptr);
    ~VelloraModel() override;

    using QObject::parent;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    virtual void clearModel();

    void insertData(int row, const QStringList &values);
    QString convertSecondsToString(int seconds) const { return StoreQueries::clockTime(seconds); }
    QPair<QString, QString> makePair(const QXmlStreamNamespaceDeclaration &declaration,
                                     const QString &stepText);
    void setLoadingText(const QString &text);
    QString loadingText() const { return m_loadingText; }

    void setDetails(const QString &artistName, const QString &albumTitle, const QString &songTitle,
                    const QString &genre, const QString &viewName);
    void setArtistId(const QString &id);

    // How long the no-matches text stays after a failure; tests shorten it.
    void setFailureDelay(int milliseconds) { m_failureDelay = milliseconds; }

signals:
    void buttonVisibleChanged(bool visible);
    void loadingChanged(bool loading);
    void loadingTextChanged();
    void noInternetConnectionError();

public slots:
    void changeImage(const QString &from, const QString &to);
    void onButtonClicked();
    void onPromotionClicked(const QModelIndex &index);

private slots:
    void loadSondrelSettings();
    void onXmlFetchingStarted();
    void onArtistXmlFetched();
    void onArtistXmlParsed();
    void onPromotiontXmlFetched();
    void onPromotiontXmlParsed();
    void onTerritoryXmlFetched();
    void onTerritoryXmlParsed();
    void onErrorOccurred(const QString &error, int code = 0);
    void onTimeout() { setLoading(false); }
    void setButtonVisible(bool visible);
    void setLoading(bool loading);

private:
    // Its rows set the presentation state without a store behind it and call
    // the parsed slots as an outside caller would, by the compiler's names.
    friend class tst_VelloraModel;

    enum class Step { Idle, Territory, Search, Similar };

    int fetchDelay() const;
    void parseAnswer(const StoreQueries::QuerySet &set, void (VelloraModel::*parsedSlot)());
    // Takes the parser's result for a slot that its signal invoked; an empty
    // result is reported as a parser error. True when there is a result to use.
    bool takeParseResult(QMap<int, QStringList> &result);

    QMap<int, QStringList> m_rows;
    QString m_fetchingText;
    QString m_noMatchesText;
    // The territory is set once known, from the settings or the store.
    StoreEndpoint m_endpoint;
    QString m_artistName;
    QString m_artistId;
    QString m_loadingText;
    QString m_viewName;
    QString m_artistUrl;
    QString m_promotionUrl;
    bool m_buttonVisible = false;
    bool m_loading = false;
    bool m_noMatches = false;
    bool m_settingsReload = false;
    QTimer m_timer;
    PromotionNetwork *m_network = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    PromotionXmlParser *m_parser = nullptr;
    Step m_step = Step::Idle;
    int m_failureDelay = 3000;
    QString m_settingsPath;
};
