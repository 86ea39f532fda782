// The fields of a settings dialog bound to the rows of the settings table: each field is filled
// from its setting and, on confirmation, checked and put back into a copy of the settings, with the
// range the table gives. The dialogs add their own fields that are no setting.
#pragma once

#include <QString>
#include <vector>

#include "Records.h"

class QWidget;
class TNumberEdit;
struct TSettingRow;
struct TSettingsPlace;

class TSettingBindings {
  public:
    enum class Bound { Number, Spin, Check, Combo, Radio, Slider, Text, Device };

    // values: the stored value of each position of a list; otherwise: the position shown for a stored
    // value not in the list. A Radio widget holds a QButtonGroup whose ids are the positions.
    void Bind(const TSettingRow* row, QWidget* widget, Bound kind, const char* format = nullptr,
              std::vector<double> values = {}, int otherwise = 0);
    // A numeric field of the setting group/key with its range; format: "%d", "%1.2f" ...
    TNumberEdit* Number(const char* name, const char* group, const char* key, const char* format,
                        bool real = false);

    void Fill(TSetupInfos& from) const;
    // Every field into `into`; false with the message and the field at fault on the first that fails.
    // A numeric field still showing the value the program wrote into it gives that value, whatever
    // the range; its row is added to asWritten when given.
    bool Collect(TSetupInfos& into, QString& message, QWidget*& field,
                 std::vector<const TSettingRow*>* asWritten = nullptr) const;
    // The same for fields of the start-up values too (settings the start-up does not keep in
    // SetupInfos).
    void Fill(TSettingsPlace& from) const;
    bool Collect(TSettingsPlace& into, QString& message, QWidget*& field,
                 std::vector<const TSettingRow*>* asWritten = nullptr) const;

  private:
    struct TBinding {
        const TSettingRow* Row;
        QWidget* Widget;
        Bound Kind;
        const char* Format;
        std::vector<double> Values;
        int Otherwise;
    };
    std::vector<TBinding> bindings_;
};
