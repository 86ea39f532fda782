// Puts the texts of the open windows into the language just loaded, as reloading each window from
// the new language module would: captions, hints, menus, tabs, buttons, labels, list items. Texts
// the program composes (a value, a prefix and a number) are not touched: their window writes them
// again on QEvent::LanguageChange, which every window then receives.
#pragma once

#include <QString>

class QWidget;

// Every top-level window, then the language-change event to each, before returning.
void RetranslateOpenWindows();
// One window and everything in it (menus, actions, tabs, tray icon).
void RetranslateWindow(QWidget* window);
