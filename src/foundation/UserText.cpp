#include "UserText.h"

#include <cstdio>
#include <mutex>

#include "Log.h"

namespace {
std::mutex hookMutex;
std::function<std::string(const char*, const char*)> translatorHook;
std::function<void(const std::string&)> messageHook;
std::function<bool(const std::string&)> questionHook;

template <typename F> F Copy(const F& hook) {
    std::lock_guard guard(hookMutex);
    return hook;
}
} // namespace

std::string Tr(const char* context, const char* sourceText) {
    const auto translate = Copy(translatorHook);
    return translate ? translate(context, sourceText) : std::string(sourceText);
}

void SetTranslator(std::function<std::string(const char*, const char*)> translator) {
    std::lock_guard guard(hookMutex);
    translatorHook = std::move(translator);
}

void ShowUserMessage(const std::string& text) {
    if (const auto show = Copy(messageHook)) {
        show(text);
        return;
    }
    LogToday(text);
    std::fprintf(stderr, "%s\n", text.c_str());
}

void SetUserMessageHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard guard(hookMutex);
    messageHook = std::move(handler);
}

bool AskUserYesNo(const std::string& question) {
    const auto ask = Copy(questionHook);
    return ask ? ask(question) : false;
}

void SetUserQuestionHandler(std::function<bool(const std::string&)> handler) {
    std::lock_guard guard(hookMutex);
    questionHook = std::move(handler);
}
