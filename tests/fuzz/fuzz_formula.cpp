// Text typed into a numeric field: the formula evaluator either gives a value or refuses the text
// with its own error, and the entry check's normalised text is itself an accepted entry that
// normalises to the same text, within the field's range.
#include <cmath>
#include <string>

#include "Formula.h"
#include "FuzzCheck.h"
#include "NumberEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the field: integer or real, with or without a range.
    const uint8_t field = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    try {
        (void)EvaluateFormula(text);
    } catch (const EFormuleError&) {
    }

    const TTypeValue type = (field & 1) ? TTypeValue::Int : TTypeValue::Float;
    static constexpr TNumberRange ranges[] = {{}, {-100, 100}, {0, 86400}, {1, 1}};
    const TNumberRange range = ranges[(field >> 1) % 4];
    const bool ranged = range.MinValue != range.MaxValue;

    const TNumberEntry entry = CheckNumberEntry(text, type, range);
    if (!entry.Ok) {
        FUZZ_CHECK(!entry.Message.empty(), "a refused entry says why: '%s'", text.c_str());
        return 0;
    }
    if (entry.Empty) {
        FUZZ_CHECK(text.empty(), "only an empty text is an empty entry: '%s'", text.c_str());
        return 0;
    }
    FUZZ_CHECK(std::isfinite(entry.Value), "'%s' accepted as %g", text.c_str(), entry.Value);
    if (ranged)
        FUZZ_CHECK(entry.Value >= range.MinValue && entry.Value <= range.MaxValue, "'%s' accepted as %g outside %g..%g",
                   text.c_str(), entry.Value, range.MinValue, range.MaxValue);
    if (type == TTypeValue::Int)
        FUZZ_CHECK(entry.Value == std::round(entry.Value) && std::fabs(entry.Value) <= 9007199254740992.0,
                   "'%s' accepted as the integer %.17g", text.c_str(), entry.Value);

    const TNumberEntry again = CheckNumberEntry(entry.Text, type, range);
    FUZZ_CHECK(again.Ok && !again.Empty && again.Text == entry.Text,
               "'%s' normalised to '%s', which checks as ok=%d '%s' (%s)", text.c_str(), entry.Text.c_str(), again.Ok,
               again.Text.c_str(), again.Message.c_str());
    return 0;
}
