// The texts of a dialog, kept as their French sources so that a language switch rewrites them all:
// each widget's text is set through here once, and Retranslate sets every one again.
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <vector>

class QComboBox;
class QTabWidget;

class TDialogTexts {
  public:
    // context: the dialog's class name (the context its QT_TR_NOOP texts have).
    explicit TDialogTexts(const char* context) : context_(context) {}

    QString Tr(const char* source) const { return QCoreApplication::translate(context_, source); }
    // A label, button, check box, radio button or group box text; a window title for a dialog.
    template <typename W> W* Text(W* widget, const char* source) {
        Add({widget, source, Kind::Text});
        return widget;
    }
    template <typename W> W* Hint(W* widget, const char* source) {
        Add({widget, source, Kind::Hint});
        return widget;
    }
    void Tab(QTabWidget* tabs, int index, const char* source);
    // The items of a list, in order (the selection stays).
    void Items(QComboBox* combo, std::vector<const char*> sources);
    void Retranslate();

  private:
    enum class Kind { Text, Hint, Tab, Item };
    struct Entry {
        QPointer<QObject> Object;
        const char* Source;
        Kind What;
        int Index = 0;
    };
    void Add(Entry entry);
    void Apply(const Entry& entry) const;

    const char* context_;
    std::vector<Entry> entries_;
};
