// TNumberEdit: the one-line field of every numeric setting. When it loses the focus it checks its
// text (a number or a small formula such as 60*5, an integer or a real number, within an optional
// range): a valid entry is replaced by its value, an invalid one is reported in a message box and
// the focus comes back to the field with the text left as typed. A button with the property
// "cancelsEntry" set (a dialog's "Annuler") takes the focus without a check.
#pragma once

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
    bool reporting_ = false; // the message box is up: its own focus changes are not checks
};
