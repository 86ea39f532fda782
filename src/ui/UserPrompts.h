// Message boxes and Yes/No questions of the plain C++ layers, shown as dialogs once a desktop
// session exists (the second-instance question comes before the main window).
#pragma once

class QWidget;

// parent: the main window once it exists, else none.
void InstallMessageBoxHooks(QWidget* parent = nullptr);
