// The exception dialog: the message of an error that escaped an event handler and the call stack
// where it was thrown, to be copied into a report.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TFormExcept : public QDialog {
    Q_OBJECT
  public:
    explicit TFormExcept(QWidget* parent = nullptr);

    // Shows this error: the message in LabelError, then in RichEdit the message and one line per frame.
    void SetReport(const std::string& message, const std::vector<std::string>& frames);
    // A further error while the dialog is open: added below the first.
    void AddReport(const std::string& message, const std::vector<std::string>& frames);
    // The whole text of RichEdit, as "Copier le contenu" copies it.
    QString ReportText() const;

  public slots:
    // "Copier le contenu": the whole text to the clipboard.
    void ButtonCopyClick();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void RetranslateUi();

    QLabel* LabelError = nullptr;
    QPlainTextEdit* RichEdit = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCopy = nullptr;
};
