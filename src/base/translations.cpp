#include "base/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

Translations::Translations(const QLocale &locale)
{
    // English is the language of the texts themselves; a user asking for it gets no catalogue even when
    // another language follows in the list.
    for (const QString &name : locale.uiLanguages()) {
        if (name == QLatin1String("C") || name.startsWith(QLatin1String("en")))
            return;
        // The language in its own region, then in the region its script is most used in: Simplified Chinese in
        // Singapore reads the zh_CN catalogue.
        const QLocale asked(name);
        for (const QLocale &candidate : {asked, QLocale(asked.language(), asked.script(), QLocale::AnyTerritory)}) {
            if (m_own.load(candidate, QStringLiteral("quillabrix"), QStringLiteral("_"),
                           QStringLiteral(":/translations"))) {
                m_language = m_own.language();
                (void)m_qt.load(candidate, QStringLiteral("qt"), QStringLiteral("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath));
                return;
            }
        }
    }
}

void Translations::install()
{
    if (m_language.isEmpty())
        return;
    // The one installed last is asked first: the program's own texts win over Qt's.
    if (!m_qt.isEmpty())
        QCoreApplication::installTranslator(&m_qt);
    QCoreApplication::installTranslator(&m_own);
}

QString Translations::text(const char *context, const char *source) const
{
    const QString translated = m_own.translate(context, source);
    return translated.isEmpty() ? QString::fromUtf8(source) : translated;
}
