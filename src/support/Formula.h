// Small arithmetic formulas typed into numeric fields ("60*5", "-(2+3)/4"): numbers made of the
// digits 0 to 9 and ".", the operators + - * /, a sign in front of any number or parenthesis, and
// nested parentheses. Multiplication and division come before addition and subtraction, and equal
// operators go from left to right (10-2-3 is 5). No blanks.
#pragma once

#include <string>

#include "UserText.h"

// A text that is not such a formula, or a division by zero: "Entrée incorrecte !".
class EFormuleError : public EOrvanelError {
  public:
    using EOrvanelError::EOrvanelError;
};

// The value of the formula; raises EFormuleError.
double EvaluateFormula(const std::string& text);
