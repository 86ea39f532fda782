#include "NumberEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMessageBox>

TNumberEdit::TNumberEdit(QWidget* parent) : QLineEdit(parent) {}

void TNumberEdit::ShowValue(double value, const QString& text) {
    setText(text);
    programValue_ = value;
    programText_ = text;
}

std::optional<double> TNumberEdit::ProgramValue() const {
    if (programValue_ && text() == programText_) return programValue_;
    return std::nullopt;
}

TNumberEntry TNumberEdit::Check() const {
    if (const std::optional<double> value = ProgramValue())
        return {true, false, *value, text().toStdString(), {}};
    return CheckNumberEntry(text().toStdString(), type_, range_);
}

bool TNumberEdit::Validate() {
    const TNumberEntry entry = Check();
    if (entry.Ok) {
        if (!entry.Empty && text() != QString::fromStdString(entry.Text))
            setText(QString::fromStdString(entry.Text));
        return true;
    }
    if (reporting_) return false;
    reporting_ = true;
    QMessageBox::warning(window(), QApplication::applicationName(), QString::fromStdString(entry.Message));
    reporting_ = false;
    setFocus(Qt::OtherFocusReason);
    return false;
}

void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Leaving the window (another window, a pop-up, the message box itself) is not leaving the field.
    if (reporting_ || event->reason() == Qt::ActiveWindowFocusReason ||
        event->reason() == Qt::PopupFocusReason)
        return;
    // The field may be going away with its dialog (a cancel): nothing to report then.
    if (!isVisible()) return;
    // Nor is a click on a dialog's cancel button (marked with the property "cancelsEntry"): what was
    // typed is about to be dropped.
    if (const QWidget* next = QApplication::focusWidget(); next && next->property("cancelsEntry").toBool())
        return;
    Validate();
}
