#include "DialogTexts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>

void TDialogTexts::Add(Entry entry) {
    Apply(entry);
    entries_.push_back(std::move(entry));
}

void TDialogTexts::Tab(QTabWidget* tabs, int index, const char* source) {
    Add({tabs, source, Kind::Tab, index});
}

void TDialogTexts::Items(QComboBox* combo, std::vector<const char*> sources) {
    for (int i = 0; i < static_cast<int>(sources.size()); ++i) {
        if (combo->count() <= i) combo->addItem(QString());
        Add({combo, sources[size_t(i)], Kind::Item, i});
    }
}

void TDialogTexts::Retranslate() {
    for (const Entry& entry : entries_)
        Apply(entry);
}

void TDialogTexts::Apply(const Entry& entry) const {
    QObject* object = entry.Object.data();
    if (!object) return;
    const QString text = Tr(entry.Source);
    switch (entry.What) {
    case Kind::Hint:
        if (auto* w = qobject_cast<QWidget*>(object)) w->setToolTip(text);
        return;
    case Kind::Tab:
        if (auto* tabs = qobject_cast<QTabWidget*>(object)) tabs->setTabText(entry.Index, text);
        return;
    case Kind::Item:
        if (auto* combo = qobject_cast<QComboBox*>(object)) combo->setItemText(entry.Index, text);
        return;
    case Kind::Text:
        if (auto* label = qobject_cast<QLabel*>(object))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(object))
            button->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(object))
            group->setTitle(text);
        else if (auto* w = qobject_cast<QWidget*>(object))
            w->setWindowTitle(text);
        return;
    }
}
