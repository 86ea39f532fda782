#include "UserPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "UserText.h"

void InstallMessageBoxHooks(QWidget* parent) {
    QPointer<QWidget> owner(parent);
    SetUserMessageHandler([owner](const std::string& text) {
        QMessageBox::warning(owner, QApplication::applicationName(), QString::fromStdString(text));
    });
    SetUserQuestionHandler([owner](const std::string& question) {
        return QMessageBox::question(owner, QApplication::applicationName(), QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    });
}
