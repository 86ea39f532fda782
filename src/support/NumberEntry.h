// The check of a numeric field's text when the field is left: a plain number or a formula, an
// integer or a real number, within an optional range. Plain C++, shared by the edit control and
// the dialogs that check every field again before storing anything.
#pragma once

#include <string>

enum class TTypeValue { Int, Float };

struct TNumberRange {
    // Checked only when they differ (both 0 by default: any value).
    double MinValue = 0;
    double MaxValue = 0;
};

struct TNumberEntry {
    bool Ok = false;
    bool Empty = false;  // an empty text is accepted as it is
    double Value = 0;    // the value (an integer for Int)
    std::string Text;    // the normalised text: "300" for "60*5", "1.1" for "1.10"
    std::string Message; // why the text was refused
};

TNumberEntry CheckNumberEntry(const std::string& text, TTypeValue type, TNumberRange range = {});

// A real number as the fields show it: 15 significant digits, "." as separator ("0.0025", "1e-05").
std::string GeneralFloatText(double value);
