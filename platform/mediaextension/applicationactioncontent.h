#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

// What one of the player's views shows, as a table of named values (for
// music: "artist", "album", "song", "genre").
class ApplicationActionContent : public QObject
{
    Q_OBJECT

public:
    explicit ApplicationActionContent(QObject *parent = nullptr);
    explicit ApplicationActionContent(const QHash<QString, QVariant> &values,
                                      QObject *parent = nullptr);
    ~ApplicationActionContent() override;

    QHash<QString, QVariant> values() const;
    void setValues(const QHash<QString, QVariant> &values);

    // An invalid value when the key is absent.
    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);

private:
    QHash<QString, QVariant> m_values;
};
