#include "SettingBindings.h"

#include <cmath>
#include <fmt/printf.h>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <stdexcept>

#include "NumberEdit.h"
#include "SettingsTable.h"

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

void TSettingBindings::Bind(const TSettingRow* row, QWidget* widget, Bound kind, const char* format,
                            std::vector<double> values, int otherwise) {
    if (!row) throw std::logic_error("settings dialog: a field without its setting");
    bindings_.push_back({row, widget, kind, format, std::move(values), otherwise});
}

TNumberEdit* TSettingBindings::Number(const char* name, const char* group, const char* key,
                                      const char* format, bool real) {
    auto* edit = new TNumberEdit;
    edit->setObjectName(name);
    edit->SetTypeValue(real ? TTypeValue::Float : TTypeValue::Int);
    const TSettingRow* row = FindSetting(group, key);
    // The field accepts what the setting accepts.
    if (row && row->Range.Type == TSettingRange::Kind::Interval)
        edit->SetRange(row->Range.Min, row->Range.Max);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0.00000")) + 16);
    edit->setMaximumWidth(110);
    Bind(row, edit, Bound::Number, format);
    return edit;
}

void TSettingBindings::Fill(TSetupInfos& from) const {
    TStartupSettings unused;
    TSettingsPlace place{from, unused};
    Fill(place);
}

void TSettingBindings::Fill(TSettingsPlace& place) const {
    for (const TBinding& b : bindings_) {
        const TVariant value = SettingValue(*b.Row, place);
        switch (b.Kind) {
        case Bound::Number: {
            const bool integer = b.Format && std::string(b.Format) == "%d";
            const std::string text = integer ? fmt::sprintf("%d", static_cast<long long>(value.AsInteger()))
                                             : fmt::sprintf(b.Format, value.AsDouble());
            static_cast<TNumberEdit*>(b.Widget)->ShowValue(
                integer ? static_cast<double>(value.AsInteger()) : value.AsDouble(), Q(text));
            break;
        }
        case Bound::Spin:
            static_cast<QSpinBox*>(b.Widget)->setValue(static_cast<int>(value.AsInteger()));
            break;
        case Bound::Check:
            static_cast<QCheckBox*>(b.Widget)->setChecked(value.AsBool());
            break;
        case Bound::Combo:
        case Bound::Radio: {
            // The display range is compared rounded, as a number of days.
            const double v = std::round(value.AsDouble() * 1e6) / 1e6;
            int index = b.Otherwise;
            for (size_t i = 0; i < b.Values.size(); ++i)
                if (b.Values[i] == v ||
                    (b.Row->Key == std::string("DateDisplay") && b.Values[i] == std::round(v)))
                    index = static_cast<int>(i);
            if (b.Kind == Bound::Combo)
                static_cast<QComboBox*>(b.Widget)->setCurrentIndex(index);
            else if (auto* button = b.Widget->findChild<QButtonGroup*>()->button(index))
                button->setChecked(true);
            break;
        }
        case Bound::Text:
            static_cast<QLineEdit*>(b.Widget)->setText(Q(value.AsString()));
            break;
        case Bound::Device:
            static_cast<QComboBox*>(b.Widget)->setEditText(Q(value.AsString()));
            break;
        case Bound::Slider:
            static_cast<QSlider*>(b.Widget)->setValue(static_cast<int>(value.AsInteger()));
            break;
        }
    }
}

bool TSettingBindings::Collect(TSetupInfos& into, QString& message, QWidget*& field,
                               std::vector<const TSettingRow*>* asWritten) const {
    TStartupSettings unused;
    TSettingsPlace place{into, unused};
    return Collect(place, message, field, asWritten);
}

bool TSettingBindings::Collect(TSettingsPlace& place, QString& message, QWidget*& field,
                               std::vector<const TSettingRow*>* asWritten) const {
    const QString incorrect = QCoreApplication::translate("NumberEdit", "Entrée incorrecte !");
    for (const TBinding& b : bindings_) {
        TVariant value;
        bool checkRange = true;
        switch (b.Kind) {
        case Bound::Number: {
            const auto* edit = static_cast<TNumberEdit*>(b.Widget);
            if (const std::optional<double> written = edit->ProgramValue()) {
                value = TVariant(*written);
                checkRange = false;
                if (asWritten) asWritten->push_back(b.Row);
                break;
            }
            const TNumberEntry entry = edit->Check();
            if (!entry.Ok || entry.Empty) {
                message = entry.Ok ? incorrect : Q(entry.Message);
                field = b.Widget;
                return false;
            }
            value = TVariant(entry.Value);
            break;
        }
        case Bound::Spin:
            value = TVariant(static_cast<int32_t>(static_cast<QSpinBox*>(b.Widget)->value()));
            break;
        case Bound::Check:
            value = TVariant(static_cast<QCheckBox*>(b.Widget)->isChecked());
            break;
        case Bound::Combo:
        case Bound::Radio: {
            const int index = b.Kind == Bound::Combo ? static_cast<QComboBox*>(b.Widget)->currentIndex()
                                                     : b.Widget->findChild<QButtonGroup*>()->checkedId();
            value = TVariant(
                b.Values.at(static_cast<size_t>(std::clamp<int>(index, 0, int(b.Values.size()) - 1))));
            break;
        }
        case Bound::Text:
            value = TVariant(static_cast<QLineEdit*>(b.Widget)->text().toStdString());
            break;
        case Bound::Device:
            value = TVariant(static_cast<QComboBox*>(b.Widget)->currentText().trimmed().toStdString());
            break;
        case Bound::Slider:
            value = TVariant(static_cast<int32_t>(static_cast<QSlider*>(b.Widget)->value()));
            break;
        }
        if (!SetSettingValue(*b.Row, place, value, checkRange)) {
            message = incorrect;
            field = b.Widget;
            return false;
        }
    }
    return true;
}
