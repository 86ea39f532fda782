#include "QtHooks.h"

#include <QCoreApplication>
#include <cstdio>

#include "Log.h"
#include "UserText.h"

void InstallQtHooks(bool headless) {
    MarkMainThread();
    SetTranslator([](const char* context, const char* text) {
        return QCoreApplication::translate(context, text).toStdString();
    });
    SetEventPump([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
    if (headless) {
        SetUserMessageHandler([](const std::string& text) {
            LogToday(text);
            std::fprintf(stderr, "%s\n", text.c_str());
        });
        SetUserQuestionHandler([](const std::string&) { return false; });
    }
}
