// Texts a user sees, and how the plain C++ layers show them without depending on Qt.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

// Translation of a French source text. Identity until the Qt side installs its translator
// (lupdate reads Tr("Context", "texte") as a call of translate()).
std::string Tr(const char* context, const char* sourceText);
// Marks a text for translation where it is written (a table, an argument) and gives it unchanged;
// it is translated later with Tr(context, text), in the same context.
#define TrNoop(context, sourceText) sourceText
void SetTranslator(std::function<std::string(const char* context, const char* sourceText)> translator);

// A message box. Until the window installs its own, messages go to the log and standard error.
void ShowUserMessage(const std::string& text);
void SetUserMessageHandler(std::function<void(const std::string&)> handler);

// A Yes/No question. Without a window the answer is No.
bool AskUserYesNo(const std::string& question);
void SetUserQuestionHandler(std::function<bool(const std::string&)> handler);

// The program's failures: an exception carrying the message text.
class EOrvanelError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
