#pragma once

#include <QByteArray>
#include <QObject>
#include <QVariant>

class QTimer;
struct _DConfClient;
struct _GMainContext;

// One key of the configuration store (dconf). A change of the key by any
// program, this one included, is reported by valueChanged(), always from
// the event loop and never from inside set().
class SvGConfItem : public QObject
{
    Q_OBJECT

public:
    explicit SvGConfItem(const QString &key, QObject *parent = nullptr);
    ~SvGConfItem() override;

    QString key() const;

    // An invalid value when the key is unset.
    QVariant value() const;
    QVariant value(const QVariant &defaultValue) const;

    // An invalid value removes the key.
    void set(const QVariant &value);
    void unset();

signals:
    void valueChanged();

private:
    static void handleClientChange(_DConfClient *client, const char *prefix,
                                   const char *const *changes, const char *tag, void *item);
    void onGlibPump();

    QString m_key;
    QByteArray m_path;
    _DConfClient *m_client = nullptr;
    _GMainContext *m_context = nullptr;
    unsigned long m_handler = 0;
    QTimer *m_glibPump = nullptr;
};
