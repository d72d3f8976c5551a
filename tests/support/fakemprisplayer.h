#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

// A music player of the test's own that publishes its track on the session
// bus through MPRIS 2, on a connection of its own as a separate player
// process would.
class FakeMprisPlayer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanGoNext READ canGoNext)

public:
    // name: the part after org.mpris.MediaPlayer2.
    explicit FakeMprisPlayer(const QString &name, QObject *parent = nullptr);
    ~FakeMprisPlayer() override;

    bool start();
    // Leaves the bus, as a player that quits.
    void quit();

    void play(const QVariantMap &metadata);
    // Plays the track but announces only that it plays, as players do that
    // send their state before their metadata.
    void playAnnouncingStatusOnly(const QVariantMap &metadata);
    void setMetadata(const QVariantMap &metadata);
    // Says which controls it allows; each value as given, a bool or not.
    void allow(const QVariantMap &controls);

    bool canGoPrevious() const;
    bool canPlay() const;
    bool canPause() const;
    bool canGoNext() const;
    // The control methods called on it, in order.
    QStringList calls;
    // How often its track was read over the bus.
    int metadataReads() const { return m_metadataReads; }

public slots:
    Q_SCRIPTABLE void Previous();
    Q_SCRIPTABLE void PlayPause();
    Q_SCRIPTABLE void Next();

public:

    QString playbackStatus() const;
    QVariantMap metadata() const;

    static QVariantMap track(const QString &artist, const QString &album, const QString &title,
                             const QString &genre);

private:
    void announce(const QVariantMap &changed);

    QString m_busName;
    QDBusConnection m_bus;
    QString m_status;
    QVariantMap m_metadata;
    QVariantMap m_controls;
    mutable int m_metadataReads = 0;
    bool m_onBus = false;
};
