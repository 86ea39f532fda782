#include "StatusModel.h"

#include <cstdio>
#include <fmt/printf.h>
#include <QString>

#include "DateTime.h"
#include "UserText.h"

void TStatusModel::ShowStatus(const std::string& text, bool isError) {
    const QString q = QString::fromStdString(text);
    const std::string shown = q.size() > 80 ? "...." + q.left(70).toStdString() : text;
    const bool changed = shown != status_.Text || isError != status_.IsError;
    status_.Text = shown;
    status_.IsError = isError;
    status_.Hint = Tr("MainForm", "Affiché à ") + DateTimeText(Now());
    emit statusChanged();
    if (headless_ && (changed || isError))
        std::fprintf(stderr, "%s %s%s\n", DateTimeText(Now()).c_str(), isError ? "[erreur] " : "",
                     shown.c_str());
}

void TStatusModel::ClearStatus() {
    status_ = {};
    emit statusChanged();
}

void TStatusModel::SetPanel(int panel, const std::string& text) {
    SetPanel(panel, [text] { return text; });
}

void TStatusModel::SetPanel(int panel, std::function<std::string()> make) {
    panels_[static_cast<size_t>(panel)] = make();
    makers_[static_cast<size_t>(panel)] = std::move(make);
    emit statusBarChanged(panel);
}

void TStatusModel::Retranslate() {
    for (size_t panel = 0; panel < panels_.size(); ++panel)
        if (makers_[panel]) panels_[panel] = makers_[panel]();
}

void TStatusModel::ShowVersion(const std::string& version, std::optional<int32_t> memoryAddress) {
    SetPanel(0, [version] { return Tr("MainForm", "Version -> ") + version; });
    ShowStatus(panels_[0], false);
    if (memoryAddress)
        SetPanel(1, [records = *memoryAddress / 17] {
            return " -> " + std::to_string(records) + Tr("MainForm", " enregistrements");
        });
    else
        SetPanel(1, "");
    SetPanel(2, "");
}

void TStatusModel::ShowDisplayRange(double days) {
    SetPanel(1, [days] {
        return fmt::sprintf(Tr("MainForm", "Affichage des données des %1.0f dernier(s) jour(s)"), days);
    });
}

void TStatusModel::ShowDownloadProgress(uint32_t done, uint32_t total) {
    download_.Done = done;
    download_.Total = total;
    if (done == total) {
        download_.Text.clear();
        SetPanel(2, [done] {
            return Tr("MainForm", "A récupéré ") + std::to_string(done) + Tr("MainForm", " donnée(s) EEPROM Halvex");
        });
    } else {
        download_.Text = Tr("MainForm", "Récupère les donnée(s) EEPROM Halvex : ") + std::to_string(done) + "/" +
                         std::to_string(total);
        SetPanel(2, download_.Text);
    }
    emit downloadProgressChanged();
}

void TStatusModel::EndDownload() {
    if (download_.Text.empty()) return;
    download_.Text.clear();
    emit downloadProgressChanged();
}

void TStatusModel::ShowRecordCount(int count) {
    SetPanel(2, [this, count] {
        return fmt::sprintf(Tr("MainForm", "%d données totales"), count) + (countSuffix_ ? countSuffix_() : "");
    });
}

void TStatusModel::PrintStatesLine(const std::string& states) {
    if (states == lastStates_) return;
    lastStates_ = states;
    std::fprintf(stderr, "%s %s\n", DateTimeText(Now()).c_str(), states.c_str());
}
