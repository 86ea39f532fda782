// The language of the texts shown: the one loaded at start (the user's), the stored choice
// ("CurrentLang") applied at start, and a switch from the menu, which stores the choice and makes the
// caption again. Views rewrite their own texts on `switched`.
#pragma once

#include <cstdint>
#include <QObject>
#include <string>

class TLanguageSwitch : public QObject {
    Q_OBJECT
  public:
    explicit TLanguageSwitch(QObject* parent = nullptr);

    // LangFrench or LangEnglish (Langue_courante).
    int32_t Language() const { return current_; }
    // The window's caption: "Moniteur de nuages HALVEX -> Version v1.49 27/03/13".
    const std::string& Caption() const { return caption_; }

    // The language loaded at start, before the settings are read.
    void FollowLoaded();
    // The stored choice wins over the language loaded at start; any other value keeps that. Then
    // the log says which language runs.
    void ApplyStored(int32_t stored);
    // Loads this language's texts; nothing happens when it is already the one shown or its module
    // cannot be loaded (false). Otherwise stores "CurrentLang", makes the caption and emits switched
    // with the language the texts were shown in until now.
    bool Switch(int32_t language);

  signals:
    void switched(int32_t from);

  private:
    void MakeCaption();

    int32_t current_ = 0;
    std::string caption_;
};
