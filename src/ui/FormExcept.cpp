#include "FormExcept.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFormExcept::TFormExcept(QWidget* parent) : QDialog(parent) {
    setObjectName("FormExcept");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* Panel1 = new QWidget(this);
    auto* top = new QVBoxLayout(Panel1);
    LabelError = new QLabel(QStringLiteral("??????"), Panel1);
    LabelError->setObjectName("LabelError");
    LabelError->setWordWrap(true);
    LabelError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = LabelError->font();
    bold.setBold(true);
    LabelError->setFont(bold);
    top->addWidget(LabelError);

    RichEdit = new QPlainTextEdit(this);
    RichEdit->setObjectName("RichEdit");
    RichEdit->setReadOnly(true);
    RichEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* Panel2 = new QWidget(this);
    auto* bottom = new QHBoxLayout(Panel2);
    ButtonCopy = new QPushButton(Panel2);
    ButtonCopy->setObjectName("ButtonCopy");
    connect(ButtonCopy, &QPushButton::clicked, this, &TFormExcept::ButtonCopyClick);
    ButtonOK = new QPushButton(Panel2);
    ButtonOK->setObjectName("ButtonOK");
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(ButtonCopy);
    bottom->addStretch(1);
    bottom->addWidget(ButtonOK);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    layout->addWidget(RichEdit, 1);
    layout->addWidget(Panel2);
    RetranslateUi();

    resize(760, 440);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormExcept::RetranslateUi() {
    setWindowTitle(tr("Une erreur non gérée s'est produite...."));
    ButtonOK->setText(tr("OK"));
    ButtonCopy->setText(tr("Copier le contenu"));
}

void TFormExcept::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) RetranslateUi();
}

void TFormExcept::SetReport(const std::string& message, const std::vector<std::string>& frames) {
    LabelError->setText(QString::fromStdString(message));
    RichEdit->clear();
    AddReport(message, frames);
}

void TFormExcept::AddReport(const std::string& message, const std::vector<std::string>& frames) {
    QStringList lines;
    if (!RichEdit->document()->isEmpty()) lines << QString();
    lines << QString::fromStdString(message);
    for (const std::string& frame : frames)
        lines << QString::fromStdString(frame);
    RichEdit->appendPlainText(lines.join('\n'));
    RichEdit->moveCursor(QTextCursor::Start);
}

QString TFormExcept::ReportText() const {
    return RichEdit->toPlainText();
}

void TFormExcept::ButtonCopyClick() {
    RichEdit->selectAll();
    QGuiApplication::clipboard()->setText(RichEdit->toPlainText());
}
