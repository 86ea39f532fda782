// TNumberEdit: the one-line field of every numeric setting. When it loses the focus it checks its
// text (a number or a small formula such as 60*5, an integer or a real number, within an optional
// range): a valid entry is replaced by its value, an invalid one is reported in a message box and
// the focus comes back to the field with the text left as typed. A button with the property
// "cancelsEntry" set (a dialog's "Annuler") takes the focus without a check. A value the program
// itself wrote (ShowValue) is accepted as it is while its text stands: only what the user types is
// checked against the range.
#pragma once

#include <optional>
#include <QLineEdit>
#include <QString>

#include "NumberEntry.h"

class TNumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    double MaxValue() const { return range_.MaxValue; }
    double MinValue() const { return range_.MinValue; }
    TTypeValue TypeValue() const { return type_; }
    void SetMaxValue(double value) { range_.MaxValue = value; }
    void SetMinValue(double value) { range_.MinValue = value; }
    void SetRange(double min, double max) { range_ = {min, max}; }
    void SetTypeValue(TTypeValue type) { type_ = type; }

    // Shows a value the program has (a stored setting, what the station reported, a measurement),
    // in the text given: the value is kept whole, even if the text rounds it ("0.000" for 0.0003)
    // or if it lies outside the range, until the text is changed.
    void ShowValue(double value, const QString& text);
    // The value shown by ShowValue while its text is unchanged.
    std::optional<double> ProgramValue() const;

    // The check of the current text, without showing anything.
    TNumberEntry Check() const;
    // The check as leaving the field does it: the text normalised when valid, else the message box
    // and the focus back. True when valid.
    bool Validate();

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    TNumberRange range_;
    TTypeValue type_ = TTypeValue::Int;
    std::optional<double> programValue_;
    QString programText_;
    bool reporting_ = false; // the message box is up: its own focus changes are not checks
};
