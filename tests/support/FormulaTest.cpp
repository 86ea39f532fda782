#include <gtest/gtest.h>

#include <string>

#include "Formula.h"
#include "NumberEntry.h"

namespace {

TEST(Formula, UsualArithmetic) {
    const std::pair<const char*, double> cases[] = {
        {"14", 14},          {"2+3*4", 14},        {"10-2-3", 5},    {"-5+3", -2},
        {"2*(3+(4-1))", 12}, {"(1+2)*3", 9},       {"60*5", 300},    {"8/4/2", 1},
        {"2*-3", -6},        {"-(2+3)*2", -10},    {"+7", 7},        {"1.5*2", 3},
        {".5+5.", 5.5},      {"100-10*2+4/2", 82}, {"((((7))))", 7}, {"0.001*3", 0.003},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(EvaluateFormula(text), value) << text;
}

TEST(Formula, MalformedTextsAreRefused) {
    for (const char* text : {"", "1,1", "1 + 2", "2+", "*3", "(1+2", "1+2)", "()", "1.2.3", ".", "--5", "abc",
                             "5x", "1/0", "1/(2-2)", "2(3)", "1e5", "1;2"}) {
        try {
            EvaluateFormula(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EFormuleError& e) {
            EXPECT_STREQ(e.what(), "Entrée incorrecte !") << text;
        }
    }
}

struct EntryCase {
    const char* Text;
    TTypeValue Type;
    TNumberRange Range;
    bool Ok;
    const char* Shown; // the normalised text, or the message
};

TEST(NumberEntry, IntegersRealsAndRanges) {
    using enum TTypeValue;
    const EntryCase cases[] = {
        {"60*5", Int, {}, true, "300"},
        {"-7", Int, {}, true, "-7"},
        {"12.5", Int, {}, false, "12.5 n'est pas une valeur entière valide !"},
        {"5/2", Int, {}, false, "5/2 n'est pas une valeur entière valide !"},
        {"0", Int, {1, 255}, false, "Nombre trop petit par rapport à  :1"},
        {"256", Int, {1, 255}, false, "Nombre trop grand par rapport à :255"},
        {"255", Int, {1, 255}, true, "255"},
        {"abc", Int, {1, 255}, false, "Entrée incorrecte !"},
        {"1,1", Float, {0.8, 1.2}, false, "Entrée incorrecte !"},
        {"1.10", Float, {0.8, 1.2}, true, "1.1"},
        {"1.3", Float, {0.8, 1.2}, false, "Nombre trop grand par rapport à :1.2"},
        {"0.0005", Float, {0.001, 0.008}, false, "Nombre trop petit par rapport à  :0.001"},
        {"0.1+0.2", Float, {}, true, "0.3"},
        {"1e-3", Float, {}, true, "0.001"},
        {"-7", Float, {}, true, "-7"},
        {"2.5e400", Float, {}, false, "Entrée incorrecte !"},
    };
    for (const EntryCase& c : cases) {
        const TNumberEntry entry = CheckNumberEntry(c.Text, c.Type, c.Range);
        EXPECT_EQ(entry.Ok, c.Ok) << c.Text;
        EXPECT_EQ(entry.Ok ? entry.Text : entry.Message, c.Shown) << c.Text;
    }
    const TNumberEntry empty = CheckNumberEntry("", TTypeValue::Int, {1, 255});
    EXPECT_TRUE(empty.Ok);
    EXPECT_TRUE(empty.Empty);
}

} // namespace
