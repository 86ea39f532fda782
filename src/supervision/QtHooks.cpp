#include "QtHooks.h"

#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "Log.h"
#include "UserText.h"

void InstallQtHooks(bool headless) {
    MarkMainThread();
    SetTranslator([](const char* context, const char* text) {
        return QCoreApplication::translate(context, text).toStdString();
    });
    if (headless) {
        SetUserMessageHandler([](const std::string& text) {
            LogToday(text);
            std::fprintf(stderr, "%s\n", text.c_str());
        });
        SetUserQuestionHandler([](const std::string&) { return false; });
    }
}

bool ProcessEventsUntil(const std::function<bool()>& done, int maxMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() >= maxMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
