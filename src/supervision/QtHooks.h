// Points the plain C++ layers at the Qt side: translation, the event pump used while the main
// thread waits for a lock, and how messages and questions reach the user.
#pragma once

#include <functional>

// headless: messages go to the log and standard error, questions are answered No.
void InstallQtHooks(bool headless);

// Runs the event loop of the main thread (so that queued reports of the station threads are handled)
// until done() holds or maxMs have passed; false when it never held.
bool ProcessEventsUntil(const std::function<bool()>& done, int maxMs);
