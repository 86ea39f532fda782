#include "Language.h"

#include <memory>
#include <mutex>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "Log.h"
#include "Records.h"

namespace {

// Language identifiers of the platform: primary language in the low 10 bits, sub-language above.
constexpr int32_t PrimaryEnglish = 0x09, PrimaryFrench = 0x0C;

// The one translator of the application. It asks the loaded module (none for French), then Qt's own
// module of the same language (standard buttons, file dialogs), and remembers each text it gives with
// its source and the language it was given in; translations may be asked from any thread.
class TRecordingTranslator : public QTranslator {
  public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        if (!sourceText) return {};
        QString result;
        {
            std::lock_guard guard(mutex_);
            if (module_) result = module_->translate(context, sourceText, disambiguation, n);
            if (result.isNull() && qtModule_)
                result = qtModule_->translate(context, sourceText, disambiguation, n);
            // What the caller shows: the translation, else the source text itself.
            Remember(result.isNull() ? QString::fromUtf8(sourceText) : result,
                     TSourceText{context, sourceText, disambiguation});
        }
        return result;
    }
    bool isEmpty() const override { return false; }

    // Takes the modules (the program's is null for French; Qt's is null when not installed).
    void SetModules(std::unique_ptr<QTranslator> module, std::unique_ptr<QTranslator> qtModule,
                    int32_t language) {
        std::lock_guard guard(mutex_);
        module_ = std::move(module);
        qtModule_ = std::move(qtModule);
        if (language != language_) previous_ = language_;
        language_ = language;
    }
    int32_t Language() const {
        std::lock_guard guard(mutex_);
        return language_;
    }
    int32_t Previous() const {
        std::lock_guard guard(mutex_);
        return previous_;
    }
    QList<TSourceText> SourcesOf(const QString& shown, int32_t language) const {
        std::lock_guard guard(mutex_);
        return shown_.value({language, shown});
    }

  private:
    void Remember(const QString& shown, const TSourceText& key) const {
        QList<TSourceText>& sources = shown_[{language_, shown}];
        if (!sources.contains(key)) sources.append(key);
    }

    mutable std::mutex mutex_;
    std::unique_ptr<QTranslator> module_, qtModule_;
    int32_t language_ = LangFrench;
    int32_t previous_ = LangFrench;
    // Per language, as the same text may mean different things in two languages ("NO" is the
    // north-west in French, "no" in English). Bounded by the number of texts in the program:
    // sources are literals, not composed texts.
    mutable QHash<QPair<int32_t, QString>, QList<TSourceText>> shown_;
};

// Qt's own texts in the language (qtbase_fr.qm, qtbase_en.qm from Qt's translations folder); null
// when the module is not installed, and Qt's texts stay in English.
std::unique_ptr<QTranslator> QtModule(const QString& isoCode) {
    auto module = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (module->load(QStringLiteral("qtbase_") + isoCode, folder)) return module;
    LogToday("Qt's own texts not translated: no qtbase_" + isoCode.toStdString() + ".qm in " +
             folder.toStdString());
    return nullptr;
}

// Calendars and other locale-aware widgets show month and day names of the language; the user's
// country is kept when it speaks that language.
void UseLocaleOf(QLocale::Language language, QLocale::Territory usual) {
    const QLocale system = QLocale::system();
    QLocale::setDefault(system.language() == language ? QLocale(language, system.territory())
                                                      : QLocale(language, usual));
}

TRecordingTranslator* translator = nullptr;

TRecordingTranslator& Translator() {
    Languages::Install();
    return *translator;
}

} // namespace

namespace Languages {

int32_t PrimaryLanguage(int32_t language) {
    return language & 0x3FF;
}

int32_t SystemLanguageId() {
    const QLocale locale = QLocale::system();
    // The two languages the program knows, as the platform numbers their main countries; 0 for any
    // other language (no module).
    switch (locale.language()) {
    case QLocale::English:
        return locale.territory() == QLocale::UnitedKingdom ? (PrimaryEnglish | 2 << 10) : LangEnglish;
    case QLocale::French:
        return locale.territory() == QLocale::Canada ? (PrimaryFrench | 3 << 10) : LangFrench;
    case QLocale::C:
        return LangEnglish;
    default:
        return 0;
    }
}

std::string ModulePath(int32_t language) {
    switch (PrimaryLanguage(language)) {
    case PrimaryEnglish:
        return PathExe + "orvanel_en.qm";
    default:
        return {};
    }
}

void Install() {
    if (translator) return;
    translator = new TRecordingTranslator; // lives as long as the process: worker threads translate
    QCoreApplication::installTranslator(translator);
    // French from the start, Qt's texts and the calendars included, until another language loads.
    translator->SetModules(nullptr, QtModule(QStringLiteral("fr")), LangFrench);
    UseLocaleOf(QLocale::French, QLocale::France);
}

bool Load(int32_t language) {
    TRecordingTranslator& t = Translator();
    if (PrimaryLanguage(language) == PrimaryFrench) {
        t.SetModules(nullptr, QtModule(QStringLiteral("fr")), LangFrench);
        UseLocaleOf(QLocale::French, QLocale::France);
        return true;
    }
    const std::string path = ModulePath(language);
    if (path.empty() || !QFileInfo::exists(QString::fromStdString(path))) return false;
    auto module = std::make_unique<QTranslator>();
    if (!module->load(QString::fromStdString(path))) {
        LogToday("Language module cannot be read: " + path);
        return false;
    }
    t.SetModules(std::move(module), QtModule(QStringLiteral("en")), LangEnglish);
    UseLocaleOf(QLocale::English, QLocale::UnitedStates);
    return true;
}

int32_t LoadSystemLanguage() {
    Load(SystemLanguageId());
    return Loaded();
}

int32_t Loaded() {
    return Translator().Language();
}

int32_t Previous() {
    return Translator().Previous();
}

QList<TSourceText> SourcesOf(const QString& shown, int32_t language) {
    return Translator().SourcesOf(shown, language);
}

QString Retranslated(const QString& shown, int32_t from, const QList<QByteArray>& contexts) {
    if (shown.isEmpty()) return shown;
    const QList<TSourceText> sources = SourcesOf(shown, from);
    if (sources.isEmpty()) return shown;
    const TSourceText* chosen = &sources.front();
    for (const TSourceText& source : sources)
        if (contexts.contains(source.Context)) {
            chosen = &source;
            break;
        }
    return QCoreApplication::translate(chosen->Context.constData(), chosen->Source.constData(),
                                       chosen->Disambiguation.isEmpty() ? nullptr
                                                                        : chosen->Disambiguation.constData());
}

std::string Retranslated(const std::string& shown, int32_t from) {
    return Retranslated(QString::fromStdString(shown), from).toStdString();
}

} // namespace Languages
