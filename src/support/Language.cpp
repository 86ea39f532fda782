#include "Language.h"

#include <memory>
#include <mutex>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QTranslator>

#include "Log.h"
#include "Records.h"

namespace {

// Language identifiers of the platform: primary language in the low 10 bits, sub-language above.
constexpr int32_t PrimaryEnglish = 0x09, PrimaryFrench = 0x0C;

// The one translator of the application. It asks the loaded module (none for French) and remembers
// each text it gives with its source; translations may be asked from any thread.
class TRecordingTranslator : public QTranslator {
  public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        if (!sourceText) return {};
        QString result;
        {
            std::lock_guard guard(mutex_);
            if (module_) result = module_->translate(context, sourceText, disambiguation, n);
            const TSourceText key{context, sourceText, disambiguation};
            Remember(QString::fromUtf8(sourceText), key);
            if (!result.isNull()) Remember(result, key);
        }
        return result;
    }
    bool isEmpty() const override { return false; }

    // Takes the module (null for French).
    void SetModule(std::unique_ptr<QTranslator> module, int32_t language) {
        std::lock_guard guard(mutex_);
        module_ = std::move(module);
        language_ = language;
    }
    int32_t Language() const {
        std::lock_guard guard(mutex_);
        return language_;
    }
    QList<TSourceText> SourcesOf(const QString& shown) const {
        std::lock_guard guard(mutex_);
        return shown_.value(shown);
    }

  private:
    void Remember(const QString& shown, const TSourceText& key) const {
        QList<TSourceText>& sources = shown_[shown];
        if (!sources.contains(key)) sources.append(key);
    }

    mutable std::mutex mutex_;
    std::unique_ptr<QTranslator> module_;
    int32_t language_ = LangFrench;
    // Bounded by the number of texts in the program: sources are literals, not composed texts.
    mutable QHash<QString, QList<TSourceText>> shown_;
};

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
}

bool Load(int32_t language) {
    TRecordingTranslator& t = Translator();
    if (PrimaryLanguage(language) == PrimaryFrench) {
        t.SetModule(nullptr, LangFrench);
        return true;
    }
    const std::string path = ModulePath(language);
    if (path.empty() || !QFileInfo::exists(QString::fromStdString(path))) return false;
    auto module = std::make_unique<QTranslator>();
    if (!module->load(QString::fromStdString(path))) {
        LogToday("Language module cannot be read: " + path);
        return false;
    }
    t.SetModule(std::move(module), LangEnglish);
    return true;
}

int32_t LoadSystemLanguage() {
    Load(SystemLanguageId());
    return Loaded();
}

int32_t Loaded() {
    return Translator().Language();
}

QList<TSourceText> SourcesOf(const QString& shown) {
    return Translator().SourcesOf(shown);
}

} // namespace Languages
