#include "Formula.h"

#include <charconv>
#include <cmath>

namespace {

// Recursive descent over the grammar
//   sum     := product (("+" | "-") product)*
//   product := factor (("*" | "/") factor)*
//   factor  := ["+" | "-"] (number | "(" sum ")")
class TFormulaReader {
  public:
    explicit TFormulaReader(const std::string& text) : text_(text) {}

    double Whole() {
        const double value = Sum();
        if (pos_ != text_.size()) Fail();
        return value;
    }

  private:
    [[noreturn]] static void Fail() { throw EFormuleError(Tr("NumberEdit", "Entrée incorrecte !")); }

    bool Take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    double Sum() {
        double value = Product();
        for (;;) {
            if (Take('+'))
                value += Product();
            else if (Take('-'))
                value -= Product();
            else
                return value;
        }
    }

    double Product() {
        double value = Factor();
        for (;;) {
            if (Take('*')) {
                value *= Factor();
            } else if (Take('/')) {
                const double divisor = Factor();
                if (divisor == 0) Fail();
                value /= divisor;
            } else {
                return value;
            }
        }
    }

    double Factor() {
        // One sign at most: "--5" is a typing error, not a double negation.
        double sign = 1;
        if (Take('-'))
            sign = -1;
        else
            Take('+');
        if (Take('(')) {
            const double value = Sum();
            if (!Take(')')) Fail();
            return sign * value;
        }
        return sign * Number();
    }

    double Number() {
        const size_t start = pos_;
        while (pos_ < text_.size() && ((text_[pos_] >= '0' && text_[pos_] <= '9') || text_[pos_] == '.'))
            ++pos_;
        if (pos_ == start) Fail();
        double value = 0;
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
        if (error != std::errc() || end != last) Fail(); // "1.2.3", a lone "."
        return value;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

} // namespace

double EvaluateFormula(const std::string& text) {
    const double value = TFormulaReader(text).Whole();
    if (!std::isfinite(value)) throw EFormuleError(Tr("NumberEdit", "Entrée incorrecte !"));
    return value;
}
