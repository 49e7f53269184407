#pragma once

#include <QLocale>
#include <QTranslator>

// The program's texts in the user's language. The texts in the code are English and stay as they are under an
// English or C locale; for a language with a translation, the program's own catalogue (built into the program)
// and Qt's (its dialogs' and standard buttons' texts, from Qt's translations folder when installed) are loaded.
class Translations
{
public:
    // Loads the catalogues for the first of locale's interface languages that has one; nothing for English.
    explicit Translations(const QLocale &locale = QLocale::system());
    Translations(const Translations &) = delete;
    Translations &operator=(const Translations &) = delete;

    // The language the program speaks: "zh_CN" or the like, empty for English.
    QString language() const { return m_language; }

    // Puts the catalogues into the running application; they must outlive it or be removed first.
    void install();

    // A text in the program's language where there is no application yet (the command line).
    QString text(const char *context, const char *source) const;

private:
    QTranslator m_own;
    QTranslator m_qt;
    QString m_language;
};
