#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <QByteArray>
#include <QLocale>
#include <QSettings>

#include "DatabaseRegistry.h"
#include "RegistryTestSupport.h"

namespace {

// ---- Encodings ------------------------------------------------------------------------------

struct EncodingCase {
    const char* name;
    TVariant value;
    const char* storedText;
};

class RegistryEncodingTest : public RegistryTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(RegistryEncodingTest, WritesTheTextOfItsKind) {
    const auto& c = GetParam();
    reg.WriteCFGtoRegister("\\Config", c.value, "Value");
    const QVariant stored = Stored("Config/Value");
    EXPECT_EQ(stored.typeId(), QMetaType::QString);
    EXPECT_EQ(stored.toString().toStdString(), c.storedText);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RegistryEncodingTest,
    ::testing::Values(
        EncodingCase{"String", TVariant("ab"), "\"ab\""}, EncodingCase{"EmptyString", TVariant(""), "\"\""},
        EncodingCase{"WideString", TVariant::WideString("é"), "\"é\""},
        EncodingCase{"True", TVariant(true), "Yes"}, EncodingCase{"False", TVariant(false), "No"},
        EncodingCase{"Int32", TVariant(int32_t{-42}), "-42"},
        EncodingCase{"Int16", TVariant(int16_t{-7}), "-7"}, EncodingCase{"Int8", TVariant(int8_t{-5}), "-5"},
        EncodingCase{"UInt8", TVariant(uint8_t{200}), "200"},
        EncodingCase{"UInt16", TVariant(uint16_t{65535}), "65535"},
        EncodingCase{"UInt32", TVariant(uint32_t{4000000000u}), "4000000000"},
        EncodingCase{"Int64", TVariant(int64_t{-9000000000}), "-9000000000"},
        EncodingCase{"SmallDecimal", TVariant(0.0025), "0.0025"},
        EncodingCase{"Decimal", TVariant(6.8), "6.8"}, EncodingCase{"WholeDouble", TVariant(-20.0), "-20"},
        EncodingCase{"FifteenDigits", TVariant(1.0 / 3), "0.333333333333333"},
        EncodingCase{"Tiny", TVariant(1e-5), "1E-5"}, EncodingCase{"Huge", TVariant(1.5e20), "1.5E20"},
        EncodingCase{"Single", TVariant(0.5f), "0.5"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistryTest, DateTimeIsStoredAsEightLittleEndianBytes) {
    const double when = 45000.25; // 15/03/2023 06:00
    reg.WriteCFGtoRegister("\\Stats\\", TVariant::DateTime(when), "When");
    const QVariant stored = Stored("Stats/When");
    ASSERT_EQ(stored.typeId(), QMetaType::QByteArray);
    const QByteArray bytes = stored.toByteArray();
    ASSERT_EQ(bytes.size(), 8);
    uint64_t bits = 0;
    std::memcpy(&bits, &when, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(static_cast<uint8_t>(bytes[i]), (bits >> (8 * i)) & 0xFF) << i;

    double read = 0;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Stats\\", read, "When", varDate));
    EXPECT_EQ(read, when);
}

// Stored texts as other tools may have left them, read by kind.
TEST_F(RegistryTest, BooleanIsTrueOnlyForExactYes) {
    const std::pair<const char*, bool> cases[] = {{"Yes", true},  {"No", false}, {"yes", false},
                                                  {"YES", false}, {"1", false},  {"", false}};
    for (const auto& [text, expected] : cases) {
        Plant("Config/Flag", QString(text));
        bool value = !expected;
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", value, "Flag", varBoolean)) << text;
        EXPECT_EQ(value, expected) << text;
    }
}

TEST_F(RegistryTest, StringLosesOnlyTheQuotesAroundIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"ab\"", "ab"}, {"\"\"", ""},     {"\"a,b\"", "a,b"}, {"\"\"ab\"\"", "\"ab\""},
        {"abc", "abc"},   {"xaby", "xaby"}, {"a", "a"},         {"", ""},
        {"\"", "\""},     {"\"ab", "\"ab"}, {"ab\"", "ab\""},   {"a\"b", "a\"b"}};
    for (const auto& [stored, expected] : cases) {
        Plant("Config/Text", QString(stored));
        std::string value = "default";
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", value, "Text", varString)) << stored;
        EXPECT_EQ(value, expected) << stored;
    }
}

// The file as a user leaves it after editing it by hand: values typed with or without the quotes.
TEST_F(RegistryTest, HandTypedStringsAreReadWhole) {
    std::filesystem::create_directories(std::filesystem::path(reg.FileName()).parent_path());
    WriteWholeFile(reg.FileName(), "[Config]\n"
                                   "BoltWoodFileName=/srv/obs/recfile.txt\n"
                                   "Sound=\\\"relay.wav\\\"\n"
                                   "Quoted=\"relay.wav\"\n"
                                   "[Webpublish]\n"
                                   "Login=obs\n");
    std::string file, sound, quoted, login;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", file, "BoltWoodFileName", varString));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", sound, "Sound", varString));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", quoted, "Quoted", varString));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Webpublish", login, "Login", varString));
    EXPECT_EQ(file, "/srv/obs/recfile.txt");
    EXPECT_EQ(sound, "relay.wav"); // as earlier versions wrote it, through Qt's INI format
    EXPECT_EQ(quoted, "relay.wav");
    EXPECT_EQ(login, "obs");
}

TEST_F(RegistryTest, ValuesReadBackAsWritten) {
    reg.WriteCFGtoRegister("\\Config", "C:\\data\\a b\"c", "Text");
    reg.WriteCFGtoRegister("\\Config", int16_t{-300}, "I16");
    reg.WriteCFGtoRegister("\\Config", int32_t{-2000000000}, "I32");
    reg.WriteCFGtoRegister("\\Config", uint32_t{4000000000u}, "U32");
    reg.WriteCFGtoRegister("\\Config", int64_t{-9000000000}, "I64");
    reg.WriteCFGtoRegister("\\Config", 0.1f, "F32");
    reg.WriteCFGtoRegister("\\Config", 6.8, "F64");

    std::string text;
    int16_t i16 = 0;
    int32_t i32 = 0;
    uint32_t u32 = 0;
    int64_t i64 = 0;
    float f32 = 0;
    double f64 = 0;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", text, "Text", varString));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", i16, "I16", varSmallint));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", i32, "I32", varInteger));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", u32, "U32", varLongWord));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", i64, "I64", varInt64));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", f32, "F32", varSingle));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", f64, "F64", varDouble));
    EXPECT_EQ(text, "C:\\data\\a b\"c");
    EXPECT_EQ(i16, -300);
    EXPECT_EQ(i32, -2000000000);
    EXPECT_EQ(u32, 4000000000u);
    EXPECT_EQ(i64, -9000000000);
    EXPECT_EQ(f32, 0.1f);
    EXPECT_EQ(f64, 6.8);
}

// A French C locale ("," as decimal separator) for the rest of the process; the system may not
// have one installed, then one is compiled into the sandbox when the locale sources are present.
bool UseFrenchNumericLocale(const std::string& sandbox) {
    if (std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) return true;
    const std::string folder = sandbox + "locales";
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i fr_FR -f UTF-8 " + folder + "/fr_FR.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    ::setenv("LOCPATH", folder.c_str(), 1);
    const bool ok = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    return ok;
}

TEST_F(RegistryTest, DecimalsUseAPointWhateverTheLocale) {
    const bool cLocale = UseFrenchNumericLocale(Root());
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if (cLocale) {
        char check[16];
        std::snprintf(check, sizeof check, "%.4f", 0.0025);
        EXPECT_STREQ(check, "0,0025"); // the locale is really in force
    } else {
        std::fprintf(stderr, "note: no French C locale available, only the Qt default locale is French\n");
    }

    reg.WriteCFGtoRegister("\\Config", 0.0025, "Offset_Photodiode");
    const std::string stored = Stored("Config/Offset_Photodiode").toString().toStdString();
    Plant("Config/Planted", QString("6.8"));
    double written = 0, planted = 0;
    const bool readWritten = reg.ReadValueRegisterDFset("\\Config", written, "Offset_Photodiode", varDouble);
    const bool readPlanted = reg.ReadValueRegisterDFset("\\Config", planted, "Planted", varDouble);

    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(stored, "0.0025");
    EXPECT_TRUE(readWritten);
    EXPECT_EQ(written, 0.0025);
    EXPECT_TRUE(readPlanted);
    EXPECT_EQ(planted, 6.8);
}

// ---- Failures -------------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    const char* plantedText; // stored under Config/X first; nullptr: nothing planted
    std::function<bool(TDatabaseRegistry&)> read;
    const char* message;
};

class RegistryFailureTest : public RegistryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RegistryFailureTest, ReportsItsMessage) {
    const auto& c = GetParam();
    if (c.plantedText) Plant("Config/X", QString(c.plantedText));
    Plant("Config/Other", QString("1")); // the key exists
    EXPECT_FALSE(c.read(reg));
    EXPECT_EQ(reg.ErrorMessage, c.message);
}

int32_t intDestination = 0;

INSTANTIATE_TEST_SUITE_P(
    Messages, RegistryFailureTest,
    ::testing::Values(
        FailureCase{
            "ValueMissing", nullptr,
            [](TDatabaseRegistry& r) {
                return r.ReadValueRegisterDFset("\\Config", intDestination, "PortCom", varInteger);
            },
            "Registry Read Error : -> \\Software\\Orvanel\\Config:PortCom : value does not exists., Default "
            "value used..."},
        FailureCase{"NotANumber", "12x",
                    [](TDatabaseRegistry& r) {
                        return r.ReadValueRegisterDFset("\\Config", intDestination, "X", varInteger);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X : Failed to read., Default value "
                    "used..."},
        FailureCase{"NotAFloat", "0,0025",
                    [](TDatabaseRegistry& r) {
                        double d = 0;
                        return r.ReadValueRegisterDFset("\\Config", d, "X", varDouble);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X : Failed to read., Default value "
                    "used..."},
        FailureCase{"DateStoredAsText", "45000",
                    [](TDatabaseRegistry& r) {
                        double d = 0;
                        return r.ReadValueRegisterDFset("\\Config", d, "X", varDate);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X : Failed to read., Default value "
                    "used..."},
        FailureCase{"FractionalDefaultForAnInteger", "5",
                    [](TDatabaseRegistry& r) {
                        return r.ReadValueRegister("\\Config", "X", intDestination, TVariant(1.5),
                                                   varInteger);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X : Default value has wrong type."},
        FailureCase{"NumberDefaultForAString", "\"a\"",
                    [](TDatabaseRegistry& r) {
                        std::string s;
                        return r.ReadValueRegister("\\Config", "X", s, TVariant(int32_t{3}), varString);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X : Default value has wrong type."},
        FailureCase{"UnsupportedKind", "5",
                    [](TDatabaseRegistry& r) {
                        return r.ReadValueRegister("\\Config", "X", intDestination,
                                                   TVariant::OfKind(varCurrency), varCurrency);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X : Data type not supported !, "
                    "Default value "
                    "used..."},
        FailureCase{"EmptyKind", "5",
                    [](TDatabaseRegistry& r) {
                        return r.ReadValueRegister("\\Config", "X", intDestination, TVariant(), varEmpty);
                    },
                    "Registry Read Error : -> \\Software\\Orvanel\\Config:X Null or empty Variant !, Default "
                    "value used..."},
        FailureCase{"CodeWithoutStore", "5",
                    [](TDatabaseRegistry& r) {
                        return r.ReadValueRegister("\\Config", "X", intDestination, TVariant(int8_t{1}),
                                                   varShortInt);
                    },
                    "Read register for \\ConfigX has failed !"},
        FailureCase{"CodeUnsuitedToTheVariable", "5",
                    [](TDatabaseRegistry& r) {
                        return r.ReadValueRegisterDFset("\\Config", intDestination, "X", varDouble);
                    },
                    "Read register for \\ConfigX has failed !"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistryTest, MissingKeyLeavesTheDefault) {
    uint16_t port = 1;
    EXPECT_FALSE(reg.ReadValueRegisterDFset("\\Config", port, "PortCom", varWord));
    EXPECT_EQ(reg.ErrorMessage, "Registry Read Error : Key \\Software\\Orvanel\\Config not found!");
    EXPECT_EQ(port, 1);
    EXPECT_FALSE(reg.ReadValueRegisterDFset("\\Stats\\", port, "DateDeb", varWord));
    EXPECT_EQ(reg.ErrorMessage, "Registry Read Error : Key \\Software\\Orvanel\\Stats\\ not found!");
}

TEST_F(RegistryTest, FailedReadLeavesTheDefaultAndASuccessKeepsTheMessage) {
    Plant("Config/X", QString("12x"));
    Plant("Config/Y", QString("12"));
    int32_t value = 7;
    EXPECT_FALSE(reg.ReadValueRegisterDFset("\\Config", value, "X", varInteger));
    EXPECT_EQ(value, 7);
    const std::string message = reg.ErrorMessage;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", value, "Y", varInteger));
    EXPECT_EQ(value, 12);
    EXPECT_EQ(reg.ErrorMessage, message);
}

// ---- Short strings --------------------------------------------------------------------------

TEST_F(RegistryTest, ShortStringHoldsAtMost255Characters) {
    const struct {
        size_t length;
        bool fits;
    } cases[] = {{0, true}, {255, true}, {256, false}, {300, false}};
    for (const auto& c : cases) {
        const std::string text(c.length, 'x');
        reg.WriteCFGtoRegister("\\Config", text, "Short");
        TShortString value;
        value.Assign("default");
        EXPECT_EQ(reg.ReadValueRegisterDFset("\\Config", value, "Short", TypeVarShortString), c.fits)
            << c.length;
        EXPECT_EQ(value.Str(), c.fits ? text : "default") << c.length;
        if (!c.fits) {
            EXPECT_EQ(reg.ErrorMessage, "Read register for \\ConfigShort String too long !");
        }
    }
}

TEST_F(RegistryTest, ShortStringDefaultTooLongEmptiesTheVariable) {
    reg.WriteCFGtoRegister("\\Config", "stored", "Short");
    TShortString value;
    value.Assign("kept?");
    EXPECT_FALSE(reg.ReadValueRegister("\\Config", "Short", value, TVariant(std::string(256, 'd')),
                                       TypeVarShortString));
    EXPECT_EQ(reg.ErrorMessage, "Read register for \\ConfigShort Default string too long !");
    EXPECT_EQ(value.Length, 0);
}

// ---- Destination width ----------------------------------------------------------------------

TEST_F(RegistryTest, TheCodeDecidesHowManyBytesAreWritten) {
    Plant("Config/Small", QString("5"));
    Plant("Config/Big", QString("70000"));
    uint32_t field = 0xABCD0000u;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", field, "Small", varWord));
    EXPECT_EQ(field, 0xABCD0005u);
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", field, "Big", varWord));
    EXPECT_EQ(field, 0xABCD0000u | (70000u & 0xFFFF));

    int64_t wide = -1;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", wide, "Small", varInteger));
    EXPECT_EQ(static_cast<uint64_t>(wide), 0xFFFFFFFF00000005u);

    uint8_t flag = 0;
    Plant("Config/Flag", QString("Yes"));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", flag, "Flag", varBoolean));
    EXPECT_EQ(flag, 1);
}

TEST_F(RegistryTest, ACodeWiderThanTheVariableIsRefused) {
    Plant("Config/Big", QString("70000"));
    uint16_t narrow = 9;
    EXPECT_FALSE(reg.ReadValueRegisterDFset("\\Config", narrow, "Big", varInteger));
    EXPECT_EQ(narrow, 9);
    EXPECT_EQ(reg.ErrorMessage, "Read register for \\ConfigBig has failed !");
}

// ---- Names ----------------------------------------------------------------------------------

TEST_F(RegistryTest, NamesMatchWithoutRegardToCase) {
    reg.WriteCFGtoRegister("\\GraphicScales\\ImageTemps\\", 5.0, "MinY");
    double value = 0;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\graphicscales\\Imagetemps\\", value, "miny", varDouble));
    EXPECT_EQ(value, 5.0);

    // A write under another spelling updates the value already there.
    reg.WriteCFGtoRegister("\\GRAPHICSCALES\\IMAGETEMPS", 6.0, "MINY");
    QSettings raw(QString::fromStdString(reg.FileName()), QSettings::IniFormat);
    EXPECT_EQ(raw.allKeys(), QStringList{"GraphicScales/ImageTemps/MinY"});
    EXPECT_EQ(raw.value("GraphicScales/ImageTemps/MinY").toString(), "6");
    EXPECT_TRUE(reg.SubKeyexists("\\graphicSCALES\\imagetemps"));
}

// ---- Writing --------------------------------------------------------------------------------

TEST_F(RegistryTest, TheFileLivesInTheUserConfigFolder) {
    EXPECT_EQ(reg.FileName(), Root() + ".config/Orvanel/registry.ini");
    EXPECT_FALSE(reg.SWKeyExists());
    reg.WriteCFGtoRegister("\\Config\\Sounds", "a.wav", "Sound_on_goodCond");
    EXPECT_TRUE(reg.SWKeyExists());
    EXPECT_TRUE(reg.SubKeyexists("\\Config"));
    EXPECT_TRUE(reg.SubKeyexists("\\Config\\Sounds\\"));
    EXPECT_FALSE(reg.SubKeyexists("\\Webpublish"));
}

TEST_F(RegistryTest, EveryWriteReachesTheDiskAtOnce) {
    reg.WriteCFGtoRegister("\\Config", uint16_t{4}, "PortCom");
    // Read from the disk as a fresh process would, while the store is still open.
    const std::string onDisk = ReadWholeFile(reg.FileName());
    EXPECT_NE(onDisk.find("[Config]"), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("PortCom=4"), std::string::npos) << onDisk;
}

TEST_F(RegistryTest, AWriteGroupReachesTheDiskWhenItEnds) {
    {
        TRegistryWriteGroup group(reg);
        reg.WriteCFGtoRegister("\\Config", int32_t{-20}, "SeuilCloudy");
        reg.WriteCFGtoRegister("\\Config", int32_t{-7}, "SeuilVeryCloudy");
    }
    const std::string onDisk = ReadWholeFile(reg.FileName());
    EXPECT_NE(onDisk.find("SeuilCloudy=-20"), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("SeuilVeryCloudy=-7"), std::string::npos) << onDisk;
}

TEST_F(RegistryTest, WriteFailuresAreSilent) {
    EXPECT_NO_THROW(reg.WriteCFGtoRegister("\\Config", TVariant(), "Empty"));
    EXPECT_NO_THROW(reg.WriteCFGtoRegister("\\Config", TVariant::Null(), "Null"));
    EXPECT_NO_THROW(reg.WriteCFGtoRegister("\\Config", TVariant::OfKind(varCurrency), "Money"));
    EXPECT_FALSE(reg.SWKeyExists());

    // The configuration folder cannot be created: a file stands in its way.
    std::filesystem::create_directories(Root() + ".config");
    WriteWholeFile(Root() + ".config/Orvanel", "not a folder");
    EXPECT_NO_THROW(reg.WriteCFGtoRegister("\\Config", int32_t{1}, "PortCom"));
    EXPECT_EQ(ReadWholeFile(Root() + ".config/Orvanel"), "not a folder");
}

TEST_F(RegistryTest, DeleteKeyRemovesTheKeyWithItsSubKeys) {
    reg.WriteCFGtoRegister("\\GraphicScales\\ImageTemps\\", 1.0, "MinY");
    reg.WriteCFGtoRegister("\\GraphicScales\\Autoscale", true, "CheckBoxHeater");
    reg.WriteCFGtoRegister("\\Config", int32_t{1}, "PortCom");
    reg.DeleteKey("\\graphicscales");
    EXPECT_FALSE(reg.SubKeyexists("\\GraphicScales"));
    EXPECT_TRUE(reg.SubKeyexists("\\Config"));
    EXPECT_EQ(ReadWholeFile(reg.FileName()).find("GraphicScales"), std::string::npos);
}

} // namespace
