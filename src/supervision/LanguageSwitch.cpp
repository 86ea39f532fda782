#include "LanguageSwitch.h"

#include <fmt/printf.h>

#include "Language.h"
#include "Log.h"
#include "Records.h"
#include "SettingsTable.h"
#include "UserText.h"

TLanguageSwitch::TLanguageSwitch(QObject* parent) : QObject(parent) {
    FollowLoaded();
}

void TLanguageSwitch::FollowLoaded() {
    current_ = Languages::Loaded();
    MakeCaption();
}

void TLanguageSwitch::ApplyStored(int32_t stored) {
    if (stored == LangFrench || stored == LangEnglish) Switch(stored);
    const char* name = current_ == LangFrench ? "French" : current_ == LangEnglish ? "English" : "";
    LogToday(fmt::sprintf("Application language : %s  (%d)", name, current_));
}

bool TLanguageSwitch::Switch(int32_t language) {
    const int32_t before = Languages::Loaded();
    if (language == current_ || !Languages::Load(language)) return false;
    current_ = language;
    try {
        WriteCurrentLang(language);
    } catch (const std::exception& e) {
        LogToday(std::string("CurrentLang not stored: ") + e.what());
    }
    MakeCaption();
    emit switched(before);
    return true;
}

void TLanguageSwitch::MakeCaption() {
    caption_ = Tr("MainForm", "Moniteur de nuages HALVEX") + " -> Version " + Tr("MainForm", "v1.49 27/03/13");
}
