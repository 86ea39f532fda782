// The application object of the program: every exception that escapes an event handler of the main
// thread (menu, button, timer, queued call) ends here, is reported with the stack where it was
// thrown, and the program goes on with the next event.
#pragma once

#include <exception>
#include <QApplication>
#include <QPointer>

#include "FormExcept.h"

class TOrvanelApplication : public QApplication {
    Q_OBJECT
  public:
    // headless: reports go to the log and standard error only, no dialog.
    TOrvanelApplication(int& argc, char** argv, bool headless);

    bool notify(QObject* receiver, QEvent* event) override;

    // The report of one escaped exception: logged, on standard error when headless, else shown in the
    // exception dialog (one dialog at a time: a further error while it is open is added to it).
    void ReportException(const std::exception_ptr& error);
    // The dialog on the screen, else null.
    TFormExcept* ExceptionDialog() const { return dialog_.data(); }

  private:
    bool headless_;
    QPointer<TFormExcept> dialog_;
    int reportsInDialog_ = 0;
};
