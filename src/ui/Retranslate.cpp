#include "Retranslate.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QWidget>

#include "Language.h"

namespace {

// Classes of the object and of its parents: the contexts its texts were most likely translated in.
QList<QByteArray> ContextsOf(const QObject* object) {
    QList<QByteArray> contexts;
    for (const QObject* o = object; o; o = o->parent())
        for (const QMetaObject* m = o->metaObject(); m; m = m->superClass())
            contexts.append(m->className());
    return contexts;
}

// The text, shown in the language loaded before the switch, in the language loaded now; the same
// text when it was never translated.
QString Retranslated(const QString& shown, const QList<QByteArray>& contexts) {
    return Languages::Retranslated(shown, Languages::Previous(), contexts);
}

template <typename Get, typename Set> void Apply(const QList<QByteArray>& contexts, Get get, Set set) {
    const QString shown = get();
    const QString now = Retranslated(shown, contexts);
    if (now != shown) set(now);
}

void RetranslateWidget(QWidget* w) {
    const QList<QByteArray> contexts = ContextsOf(w);
    if (w->isWindow())
        Apply(
            contexts, [w] { return w->windowTitle(); }, [w](const QString& t) { w->setWindowTitle(t); });
    Apply(
        contexts, [w] { return w->toolTip(); }, [w](const QString& t) { w->setToolTip(t); });
    Apply(
        contexts, [w] { return w->statusTip(); }, [w](const QString& t) { w->setStatusTip(t); });
    if (auto* label = qobject_cast<QLabel*>(w))
        Apply(
            contexts, [label] { return label->text(); }, [label](const QString& t) { label->setText(t); });
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        Apply(
            contexts, [button] { return button->text(); },
            [button](const QString& t) { button->setText(t); });
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        Apply(
            contexts, [group] { return group->title(); }, [group](const QString& t) { group->setTitle(t); });
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        Apply(
            contexts, [edit] { return edit->placeholderText(); },
            [edit](const QString& t) { edit->setPlaceholderText(t); });
    else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i)
            Apply(
                contexts, [combo, i] { return combo->itemText(i); },
                [combo, i](const QString& t) { combo->setItemText(i, t); });
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            Apply(
                contexts, [tabs, i] { return tabs->tabText(i); },
                [tabs, i](const QString& t) { tabs->setTabText(i, t); });
            Apply(
                contexts, [tabs, i] { return tabs->tabToolTip(i); },
                [tabs, i](const QString& t) { tabs->setTabToolTip(i, t); });
        }
    }
}

void RetranslateAction(QAction* a) {
    const QList<QByteArray> contexts = ContextsOf(a);
    // A hint never set follows the text; only one set apart is translated on its own.
    const bool ownToolTip = a->toolTip() != QString(a->text()).remove('&');
    Apply(
        contexts, [a] { return a->text(); }, [a](const QString& t) { a->setText(t); });
    if (ownToolTip)
        Apply(
            contexts, [a] { return a->toolTip(); }, [a](const QString& t) { a->setToolTip(t); });
    Apply(
        contexts, [a] { return a->statusTip(); }, [a](const QString& t) { a->setStatusTip(t); });
}

} // namespace

void RetranslateWindow(QWidget* window) {
    RetranslateWidget(window);
    for (QWidget* child : window->findChildren<QWidget*>())
        RetranslateWidget(child);
    for (QAction* action : window->findChildren<QAction*>())
        RetranslateAction(action);
    for (QSystemTrayIcon* tray : window->findChildren<QSystemTrayIcon*>()) {
        const QList<QByteArray> contexts = ContextsOf(tray);
        Apply(
            contexts, [tray] { return tray->toolTip(); }, [tray](const QString& t) { tray->setToolTip(t); });
    }
}

void RetranslateOpenWindows() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->windowType() != Qt::Desktop) {
            // Month and day names of the calendars follow the language (windows opened later take
            // the new default locale).
            window->setLocale(QLocale());
            RetranslateWindow(window);
        }
    // Each window then writes again what it composes: the application forwards the event to every
    // top-level window (posted), delivered here before returning.
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(qApp, &change);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}
