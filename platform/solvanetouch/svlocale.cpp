#include "svlocale.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

#include <memory>
#include <vector>

namespace {

// The catalog that holds the engineering texts, the fallback for every locale.
constexpr QLatin1String engineeringLanguage("en");

struct LocaleState
{
    QStringList paths;
    SvLocale defaultLocale;
    std::vector<std::unique_ptr<QTranslator>> translators;
};

LocaleState &state()
{
    static LocaleState s;
    return s;
}

QStringList searchPaths()
{
    QStringList paths;
    const QString extra = qEnvironmentVariable(SvLocale::translationPathVariable);
    if (!extra.isEmpty())
        paths.append(extra);
    paths.append(state().paths);
    return paths;
}

std::unique_ptr<QTranslator> loadCatalog(const QString &catalog, const QString &language)
{
    auto translator = std::make_unique<QTranslator>();
    const QStringList paths = searchPaths();
    for (const QString &path : paths) {
        if (translator->load(catalog + QLatin1Char('_') + language, path))
            return translator;
    }
    return nullptr;
}

} // namespace

const char SvLocale::translationPathVariable[] = "SOLVANETOUCH_TRANSLATION_PATH";

SvLocale::SvLocale(const QString &localeName)
    : m_name(localeName.isEmpty() ? QLocale::system().name() : localeName)
{ }

QString SvLocale::name() const
{
    return m_name;
}

void SvLocale::addTranslationPath(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (!state().paths.contains(clean))
        state().paths.append(clean);
}

QStringList SvLocale::translationPaths()
{
    return searchPaths();
}

void SvLocale::installTrCatalog(const QString &name)
{
    if (!name.isEmpty() && !m_catalogs.contains(name))
        m_catalogs.append(name);
}

QStringList SvLocale::installedTrCatalogs() const
{
    return m_catalogs;
}

void SvLocale::setDefault(const SvLocale &locale)
{
    LocaleState &s = state();
    for (const auto &translator : s.translators)
        QCoreApplication::removeTranslator(translator.get());
    s.translators.clear();
    s.defaultLocale = locale;

    // Installed later means searched first: the locale's own catalog wins,
    // the engineering texts fill in ids it lacks.
    QStringList languages { engineeringLanguage };
    if (locale.m_name != engineeringLanguage)
        languages.append(locale.m_name);
    for (const QString &catalog : std::as_const(locale.m_catalogs)) {
        for (const QString &language : std::as_const(languages)) {
            std::unique_ptr<QTranslator> translator = loadCatalog(catalog, language);
            if (translator && QCoreApplication::installTranslator(translator.get()))
                s.translators.push_back(std::move(translator));
        }
    }
}

SvLocale SvLocale::defaultLocale()
{
    return state().defaultLocale;
}
