// The language of the texts shown. French is the language of the source texts; English comes from
// the module orvanel_en.qm beside the program, loaded at run time, with Qt's own module of the same
// language (qtbase_fr.qm, qtbase_en.qm) for the texts of Qt's widgets. Every text translated while
// the program runs is remembered with its source and its language, so that the texts already on
// screen can be put into the new language when it changes (the windows need not rebuild themselves).
#pragma once

#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QList>
#include <QString>
#include <string>

// Language identifiers: LangFrench (1036) and LangEnglish (1033), as "CurrentLang" stores them.
#include "SettingsTable.h"

// A translatable text as the code wrote it.
struct TSourceText {
    QByteArray Context;
    QByteArray Source;
    QByteArray Disambiguation;
    bool operator==(const TSourceText&) const = default;
};

namespace Languages {

// Language identifier of the user's locale (LANG, LC_MESSAGES ... through QLocale::system()):
// primary language | sub-language << 10 as the platform numbers them (1033 English (United States),
// 1036 French (France), 2057 English (United Kingdom), 3084 French (Canada)); 1033 when the locale
// says nothing (C); 0 for a language that has no module.
int32_t SystemLanguageId();
// The primary language of an identifier (1033 and 2057 are both English).
int32_t PrimaryLanguage(int32_t language);

// The module file of a language: PathExe + "orvanel_" + ISO code + ".qm" (orvanel_en.qm); empty for
// French, the language of the source texts, which needs none.
std::string ModulePath(int32_t language);

// Installs the translator into the application (once; needs the QCoreApplication).
void Install();
// Makes the texts of this language the ones translated from now on. False when its module is missing
// or cannot be read: the texts stay in the language loaded before. French always succeeds.
bool Load(int32_t language);
// At start, as the platform would: the module of the user's language when one exists. Returns the
// language of the texts now (the user's language, or French).
int32_t LoadSystemLanguage();
// The language of the texts translated now: LangFrench, LangEnglish.
int32_t Loaded();
// The language loaded before the last change (French at start).
int32_t Previous();

// The sources of a text shown in that language since the start (several when different sources
// give the same text). Empty for a text never translated (a value, a composed text).
QList<TSourceText> SourcesOf(const QString& shown, int32_t language);

// A text shown in the language `from`, put once into the language loaded now: the same source
// translated again (the first source whose context is in contexts, else the first one). Unchanged
// when it is no translated text of that language. Never apply it to a text already in the loaded
// language: "NO" means "no" in English and the north-west in French.
QString Retranslated(const QString& shown, int32_t from, const QList<QByteArray>& contexts = {});
std::string Retranslated(const std::string& shown, int32_t from);

} // namespace Languages
