#include "OrvanelApplication.h"

#include <cstdio>
#include <string>
#include <vector>

#include "FormExcept.h"
#include "Log.h"
#include "ThrowStack.h"

namespace {
// Beyond this many errors in one open dialog the further ones are only logged.
constexpr int kMaxReportsInDialog = 20;
} // namespace

TOrvanelApplication::TOrvanelApplication(int& argc, char** argv, bool headless)
    : QApplication(argc, argv), headless_(headless) {
    RecordThrowStacks();
}

bool TOrvanelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
        return false;
    }
}

void TOrvanelApplication::ReportException(const std::exception_ptr& error) {
    const std::string message = ExceptionMessage(error);
    const std::vector<std::string> frames = ThrowStackOf(error);
    LogToday("Unhandled exception: " + message);
    for (const std::string& frame : frames)
        LogToday("  " + frame);
    if (headless_) {
        std::fprintf(stderr, "%s\n", message.c_str());
        for (const std::string& frame : frames)
            std::fprintf(stderr, "  %s\n", frame.c_str());
        return;
    }
    if (dialog_) {
        if (++reportsInDialog_ <= kMaxReportsInDialog) dialog_->AddReport(message, frames);
        return;
    }
    // Modal, without a nested event loop: the program goes on with the next event at once (an error
    // of a timer would otherwise open one more nested dialog at each tick).
    dialog_ = new TFormExcept(activeWindow());
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->SetReport(message, frames);
    reportsInDialog_ = 1;
    dialog_->show();
}
