// Points the plain C++ layers at the Qt side: translation, the event pump used while the main
// thread waits for a lock, and how messages and questions reach the user.
#pragma once

// headless: messages go to the log and standard error, questions are answered No.
void InstallQtHooks(bool headless);
