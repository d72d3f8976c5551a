#include <QTest>

#include "svlocale.h"

namespace {
const QString catalog = QStringLiteral("teku-music-store");
const QString installedPath = QStringLiteral("/usr/share/l10n/solvanetouch/");

void makeDefault(const QString &localeName)
{
    SvLocale locale(localeName);
    locale.addTranslationPath(installedPath);
    locale.installTrCatalog(catalog);
    SvLocale::setDefault(locale);
}
} // namespace

class tst_SvLocale : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void idsResolve_data();
    void idsResolve();
    void searchPaths();

private:
    void addRows(const QString &locale, const QStringList &texts);
};

void tst_SvLocale::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty(SvLocale::translationPathVariable), "catalog folder not given");
    // Nothing installed yet: an id reads as itself.
    QCOMPARE(qtTrId("qtn_musi_vellora"), QString("qtn_musi_vellora"));
}

void tst_SvLocale::addRows(const QString &locale, const QStringList &texts)
{
    const QStringList ids { "qtn_musi_vellora", "qtn_musi_vellora_artists", "qtn_musi_tekumusic_more",
                            "qtn_musi_fetching_recom", "qtn_musi_fetching_no_matches" };
    for (int i = 0; i < ids.size(); ++i)
        QTest::addRow("%s %s", qPrintable(locale), qPrintable(ids.at(i))) << locale << ids.at(i) << texts.at(i);
}

void tst_SvLocale::idsResolve_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("text");

    const QStringList english { "You might also like", "Similar artists", "More in Teku Music",
                                "Fetching recommendations...", "No matches found" };
    addRows("en", english);
    addRows("fi", { QString::fromUtf8("Saatat pitää myös näistä"), "Samankaltaisia artisteja",
                    QString::fromUtf8("Lisää Teku Musicissa"), "Haetaan suosituksia...", "Ei osumia" });
    // Territory variants find the language's catalog.
    addRows("fi_FI", { QString::fromUtf8("Saatat pitää myös näistä"), "Samankaltaisia artisteja",
                       QString::fromUtf8("Lisää Teku Musicissa"), "Haetaan suosituksia...", "Ei osumia" });
    // A language without a catalog falls back to the engineering texts.
    addRows("de_DE", english);
}

void tst_SvLocale::idsResolve()
{
    QFETCH(QString, locale);
    QFETCH(QString, id);
    QFETCH(QString, text);

    // Start from another language each time, so that a stale catalog shows.
    makeDefault(locale.startsWith("fi") ? "en" : "fi");
    makeDefault(locale);
    QCOMPARE(SvLocale::defaultLocale().name(), locale);
    QCOMPARE(qtTrId(id.toLatin1().constData()), text);
}

void tst_SvLocale::searchPaths()
{
    SvLocale::addTranslationPath(installedPath);
    const QStringList paths = SvLocale::translationPaths();
    QCOMPARE(paths.first(), qEnvironmentVariable(SvLocale::translationPathVariable));
    QCOMPARE(paths.count("/usr/share/l10n/solvanetouch"), 1);
}

QTEST_MAIN(tst_SvLocale)
#include "tst_svlocale.moc"
