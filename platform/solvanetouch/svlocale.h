#pragma once

#include <QString>
#include <QStringList>

// A locale with its translation catalogs. Once made the default, its
// catalogs are installed in the application, so qtTrId() finds their ids.
class SvLocale
{
public:
    // Environment variable naming one more folder searched before the
    // installed ones, so that uninstalled builds find their own catalogs.
    static const char translationPathVariable[];

    // An empty name means the system locale.
    explicit SvLocale(const QString &localeName = QString());

    QString name() const;

    // Folders searched for catalogs, for every locale of the process.
    static void addTranslationPath(const QString &path);
    static QStringList translationPaths();

    void installTrCatalog(const QString &name);
    QStringList installedTrCatalogs() const;

    // Replaces the catalogs of the previous default locale by this locale's.
    static void setDefault(const SvLocale &locale);
    static SvLocale defaultLocale();

private:
    QString m_name;
    QStringList m_catalogs;
};
