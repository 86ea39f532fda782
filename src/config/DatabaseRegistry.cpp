#include "DatabaseRegistry.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fmt/printf.h>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "AtomicFile.h"
#include "FileIo.h"
#include "Log.h"
#include "RegistryFile.h"

static_assert(std::endian::native == std::endian::little, "the low bytes of a field come first");

namespace {

const std::string RootKey = RegistryRootKey;

// Bytes a destination code writes; 0 for the codes that are not plain numbers.
size_t CodeWidth(int typeVar) {
    switch (typeVar) {
    case varBoolean:
    case varByte:
        return 1;
    case varSmallint:
    case varWord:
        return 2;
    case varInteger:
    case varLongWord:
        return 4;
    case varInt64:
        return 8;
    default:
        return 0;
    }
}

TVariant ParseStored(const TStoredValue& stored, int kind, const std::string& idString) {
    const EReadWriteRegister failedToRead(idString + " : Failed to read.");
    if (kind == varEmpty || kind == varNull) throw EReadWriteRegister(idString + " Null or empty Variant !");
    if (kind == varDate) {
        if (stored.Type != TStoredValue::Kind::Bytes || stored.Data.size() != 8) throw failedToRead;
        double value = 0;
        std::memcpy(&value, stored.Data.data(), 8);
        return TVariant::DateTime(value);
    }
    const bool supported = IsIntegerKind(kind) || kind == varSingle || kind == varDouble ||
                           kind == varBoolean || IsStringKind(kind);
    if (!supported) throw EReadWriteRegister(idString + " : Data type not supported !");
    if (stored.Type != TStoredValue::Kind::Text) throw failedToRead;
    const std::string& text = stored.Data;
    if (IsIntegerKind(kind)) {
        const bool wide = kind == varLongWord || kind == varInt64;
        const auto value =
            wide ? TextToInteger(text, INT64_MIN, INT64_MAX) : TextToInteger(text, INT32_MIN, INT32_MAX);
        if (!value) throw failedToRead;
        return *TVariant(*value).ConvertedTo(kind);
    }
    if (kind == varSingle || kind == varDouble) {
        const auto value = TextToFloat(text);
        if (!value) throw failedToRead;
        return *TVariant(*value).ConvertedTo(kind);
    }
    if (kind == varBoolean) return TVariant(text == "Yes");
    // Strings are written between two quote characters, which the read removes; a text typed by
    // hand without them is taken whole.
    const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
    const std::string inner = quoted ? text.substr(1, text.size() - 2) : text;
    return kind == varUString ? TVariant::WideString(inner) : TVariant(inner);
}

TStoredValue Encode(const TVariant& value, const std::string& where) {
    using K = TStoredValue::Kind;
    const int kind = value.Kind();
    if (value.IsEmptyOrNull())
        throw EReadWriteRegister(where + " : Registry write Error, null or empty Variant !");
    if (IsIntegerKind(kind)) return {K::Text, std::to_string(value.AsInteger())};
    if (kind == varSingle || kind == varDouble) return {K::Text, FloatToText(value.AsDouble())};
    if (kind == varDate) {
        const double date = value.AsDouble();
        return {K::Bytes, std::string(reinterpret_cast<const char*>(&date), sizeof date)};
    }
    if (kind == varBoolean) return {K::Text, value.AsBool() ? "Yes" : "No"};
    if (IsStringKind(kind)) return {K::Text, "\"" + value.AsString() + "\""};
    throw EReadWriteRegister(where + " : Registry write Error, Data type not supported !");
}

// Whether a stored text already reads as this value (then it is left as it stands: a value typed
// by hand keeps its spelling when the program writes the same value back).
bool ReadsAs(const std::string& raw, const TVariant& value) {
    try {
        return ParseStored(DecodeStoredValue(raw), value.Kind(), {}).SameValue(value);
    } catch (const EReadWriteRegister&) {
        return false;
    }
}

} // namespace

// ---- TShortString / TRegTarget ------------------------------------------------------------

bool TShortString::Assign(const std::string& text) {
    if (text.size() > sizeof Chars) return false;
    Length = static_cast<uint8_t>(text.size());
    std::memcpy(Chars, text.data(), text.size());
    return true;
}

bool TRegTarget::Accepts(int typeVar) const {
    switch (type_) {
    case Type::Integral: {
        const size_t width = CodeWidth(typeVar);
        return width != 0 && width <= size_;
    }
    case Type::Boolean:
        return typeVar == varBoolean;
    case Type::Single:
        return typeVar == varSingle;
    case Type::Double:
        return typeVar == varDouble || typeVar == varDate;
    case Type::String:
        return typeVar == varString;
    case Type::Short:
        return typeVar == TypeVarShortString;
    }
    return false;
}

TVariant TRegTarget::Current(int typeVar) const {
    switch (type_) {
    case Type::Integral: {
        int64_t low = 0; // the low bytes of the field, as many as the code writes
        std::memcpy(&low, address_, CodeWidth(typeVar));
        if (typeVar == varBoolean) return TVariant((low & 0xFF) != 0);
        return *TVariant(low).ConvertedTo(typeVar);
    }
    case Type::Boolean:
        return TVariant(*static_cast<bool*>(address_));
    case Type::Single:
        return TVariant(*static_cast<float*>(address_));
    case Type::Double: {
        const double value = *static_cast<double*>(address_);
        return typeVar == varDate ? TVariant::DateTime(value) : TVariant(value);
    }
    case Type::String:
        return TVariant(*static_cast<std::string*>(address_));
    case Type::Short:
        return TVariant(static_cast<TShortString*>(address_)->Str());
    }
    return {};
}

void TRegTarget::Store(const TVariant& value, int typeVar) const {
    switch (type_) {
    case Type::Integral: {
        const int64_t number = typeVar == varBoolean ? (value.AsBool() ? 1 : 0) : value.AsInteger();
        std::memcpy(address_, &number, CodeWidth(typeVar));
        break;
    }
    case Type::Boolean:
        *static_cast<bool*>(address_) = value.AsBool();
        break;
    case Type::Single:
        *static_cast<float*>(address_) = static_cast<float>(value.AsDouble());
        break;
    case Type::Double:
        *static_cast<double*>(address_) = value.AsDouble();
        break;
    case Type::String:
        *static_cast<std::string*>(address_) = value.AsString();
        break;
    case Type::Short:
        static_cast<TShortString*>(address_)->Assign(value.AsString());
        break;
    }
}

int TRegTarget::NaturalKind() const {
    switch (type_) {
    case Type::Integral:
        switch (size_) {
        case 1:
            return signed_ ? varShortInt : varByte;
        case 2:
            return signed_ ? varSmallint : varWord;
        case 4:
            return signed_ ? varInteger : varLongWord;
        default:
            return varInt64;
        }
    case Type::Boolean:
        return varBoolean;
    case Type::Single:
        return varSingle;
    case Type::Double:
        return varDouble;
    case Type::String:
        return varString;
    case Type::Short:
        return TypeVarShortString;
    }
    return varEmpty;
}

TVariant TRegTarget::Value() const {
    if (type_ != Type::Integral) return Current(NaturalKind());
    int64_t raw = 0; // the bytes of the field; the kind's width and sign give them their value
    std::memcpy(&raw, address_, size_);
    return *TVariant(raw).ConvertedTo(NaturalKind());
}

void TRegTarget::Assign(const TVariant& value) const {
    if (type_ != Type::Integral) {
        Store(value, NaturalKind());
        return;
    }
    const int64_t number = value.AsInteger();
    std::memcpy(address_, &number, size_);
}

// ---- TDatabaseRegistry ----------------------------------------------------------------------

TDatabaseRegistry::TDatabaseRegistry() = default;

TDatabaseRegistry::TDatabaseRegistry(std::string fileName) : fixedFileName_(std::move(fileName)) {}

TDatabaseRegistry::~TDatabaseRegistry() {
    writeGroupDepth_ = 0;
    Save();
}

std::string TDatabaseRegistry::FileName() const {
    if (!fixedFileName_.empty()) return fixedFileName_;
    return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Orvanel/registry.ini")
        .toStdString();
}

void TDatabaseRegistry::Tell(const std::string& problem, const std::string& about) {
    const std::string key = problem + "\n" + about;
    if (key == told_) return;
    told_ = key;
    problems_.push_back(problem);
}

std::vector<std::string> TDatabaseRegistry::TakeProblems() {
    File();
    return std::exchange(problems_, {});
}

void TDatabaseRegistry::SetUnreadable(const std::string& name, const std::string& reason,
                                      const std::string& about) {
    state_ = TFileState::Unreadable;
    file_ = std::make_unique<TRegistryFile>();
    loadedText_.reset();
    Tell(fmt::sprintf(Tr("TDatabaseRegistry", "Le fichier de réglages %s ne peut pas être lu (%s) : les "
                                              "réglages par défaut sont utilisés et ce fichier ne sera pas "
                                              "modifié."),
                      name, reason),
         about);
}

void TDatabaseRegistry::Load(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR) return SetUnreadable(name, std::strerror(error), {});
        state_ = TFileState::Absent;
        file_ = std::make_unique<TRegistryFile>();
        loadedText_.reset();
        told_.clear();
        return;
    }
    const std::string identity =
        std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_mode);
    // A FIFO or a device would block the read, or never end it.
    if (!S_ISREG(st.st_mode))
        return SetUnreadable(name, Tr("TDatabaseRegistry", "ce n'est pas un fichier ordinaire"), identity);
    TFileDescriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen()) return SetUnreadable(name, std::strerror(errno), identity);
    // The whole file is read each time: small, and an edit within the clock's resolution that keeps
    // the size must still be seen.
    std::string text;
    char buffer[16384];
    while (text.size() <= TRegistryFile::MaxSize) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SetUnreadable(name, std::strerror(errno), identity);
        if (n == 0) break;
        text.append(buffer, size_t(n));
    }
    if (file_ && loadedText_ == text) return;
    loadedText_ = text;
    std::optional<TRegistryFile> parsed;
    if (text.size() <= TRegistryFile::MaxSize) parsed = TRegistryFile::Parse(text);
    if (!parsed) {
        state_ = TFileState::Damaged;
        file_ = std::make_unique<TRegistryFile>();
        Tell(
            fmt::sprintf(Tr("TDatabaseRegistry", "Le fichier de réglages %s est endommagé : les réglages par "
                                                 "défaut sont utilisés. Il sera conservé sous le nom %s "
                                                 "avant le prochain enregistrement des réglages."),
                         name, name + ".damaged"),
            identity + ":" + std::to_string(std::hash<std::string>{}(text)));
        return;
    }
    state_ = TFileState::Sound;
    file_ = std::make_unique<TRegistryFile>(std::move(*parsed));
    told_.clear();
}

TRegistryFile& TDatabaseRegistry::File() {
    const std::string name = FileName();
    if (name != loadedName_) { // another file: what was said of the last one no longer holds
        loadedName_ = name;
        file_.reset();
        loadedText_.reset();
        dirty_ = false;
        problems_.clear();
        told_.clear();
        // What a save cut short by a crash or a power cut left beside the file.
        RemoveOrphanTemporaryFiles(QFileInfo(QString::fromStdString(name)).absolutePath().toStdString());
    }
    if (!file_ || !dirty_) Load(name);
    return *file_;
}

// The damaged file stays beside the new one, under a name no other file has.
bool TDatabaseRegistry::KeepDamagedFile(const std::string& target) {
    for (int n = 1; n < 100; ++n) {
        const std::string aside = target + ".damaged" + (n == 1 ? "" : "." + std::to_string(n));
        bool kept = ::link(target.c_str(), aside.c_str()) == 0;
        if (!kept && errno == EEXIST) continue;
        // File systems without hard links get a copy.
        if (!kept && ::access(aside.c_str(), F_OK) != 0) kept = CopyFileBlocks(target, aside) == 0;
        if (!kept) break;
        LogToday("Settings file " + target + " is damaged, kept as " + aside);
        return true;
    }
    LogToday("Settings file " + target + " is damaged and could not be kept aside: not written");
    return false;
}

void TDatabaseRegistry::Save() {
    if (writeGroupDepth_ != 0 || !dirty_ || !file_) return;
    dirty_ = false;
    const std::string name = loadedName_;
    auto forget = [this] { // what is on disk counts again
        file_.reset();
        loadedText_.reset();
    };
    if (state_ == TFileState::Unreadable) return forget();
    // A link to the file (a settings folder kept elsewhere) stays a link.
    std::string target = name;
    if (char* real = ::realpath(name.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    QDir().mkpath(QFileInfo(QString::fromStdString(target)).absolutePath());
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (state_ == TFileState::Damaged && exists && !KeepDamagedFile(target)) return forget();
    // The file holds the FTP password: a new file is private; an existing one keeps its permissions.
    TReplaceOptions options;
    options.Mode = exists ? (st.st_mode & 0777) : 0600;
    options.SyncContent = true;
    options.SyncFolder = true;
    const std::string text = file_->Text();
    const TByteRun runs[] = {std::as_bytes(std::span(text))};
    if (!ReplaceFileAtomically(target, runs, options).Succeeded()) return forget();
    state_ = TFileState::Sound;
    loadedText_ = text;
}

std::string TDatabaseRegistry::RestrictFileToOwner() {
    const std::string fileName = FileName();
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || (st.st_mode & 077) == 0) return {};
    if (::chmod(fileName.c_str(), 0600) != 0)
        return "Settings file " + fileName + " could not be made private : " + std::strerror(errno);
    char was[8];
    std::snprintf(was, sizeof was, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "Settings file permissions tightened to 0600 (was " + std::string(was) + ") : " + fileName;
}

void TDatabaseRegistry::BeginWriteGroup() {
    ++writeGroupDepth_;
}

void TDatabaseRegistry::EndWriteGroup() {
    if (writeGroupDepth_ > 0) --writeGroupDepth_;
    Save();
}

bool TDatabaseRegistry::Fail(const std::string& message) {
    ErrorMessage = message;
    return false;
}

std::optional<TVariant> TDatabaseRegistry::ReadRaw(const std::string& path, const std::string& idString,
                                                   const TVariant& defaultValue, int kind) {
    try {
        const TRegistryFile& file = File();
        const TRegistryPath key = RegistryPathOf(path);
        if (!file.HasKey(key))
            throw EReadWriteRegister("Registry Read Error : Key " + RootKey + path + " not found!");
        std::string suffix;
        try {
            const EReadWriteRegister wrongType(idString + " : Default value has wrong type.");
            if (kind == varString && !IsStringKind(defaultValue.Kind())) throw wrongType;
            const auto converted = defaultValue.ConvertedTo(kind);
            if (!converted || !converted->SameValue(defaultValue)) throw wrongType;
            suffix = ", Default value used...";
            const auto raw = file.Raw(key, idString);
            if (!raw) throw EReadWriteRegister(idString + " : value does not exists.");
            return ParseStored(DecodeStoredValue(*raw), kind, idString);
        } catch (const EReadWriteRegister& inner) {
            throw EReadWriteRegister("Registry Read Error : -> " + RootKey + path + ":" + inner.what() +
                                     suffix);
        }
    } catch (const EReadWriteRegister& failure) {
        ErrorMessage = failure.what();
        return std::nullopt;
    }
}

bool TDatabaseRegistry::ReadValueRegister(const std::string& Path, const std::string& IDString,
                                          TRegTarget Value, const TVariant& Default, int TypeVar) {
    const int kind = TypeVar == TypeVarShortString ? int{varString} : TypeVar;
    const auto working = ReadRaw(Path, IDString, Default, kind);
    if (!working) return false;
    const std::string where = "Read register for " + Path + IDString;
    if (TypeVar == TypeVarShortString && Value.ShortString()) {
        TShortString& destination = *Value.ShortString();
        const std::string defaultText = Default.AsString();
        if (defaultText.size() > 255) {
            destination.Assign("");
            return Fail(where + " Default string too long !");
        }
        if (destination.Assign(working->AsString())) return true;
        destination.Assign(defaultText);
        return Fail(where + " String too long !");
    }
    if (!Value.Accepts(TypeVar)) return Fail(where + " has failed !");
    Value.Store(*working, TypeVar);
    return true;
}

bool TDatabaseRegistry::ReadValueRegisterDFset(const std::string& PathVar, TRegTarget Value,
                                               const std::string& IDString, int TypeVar) {
    // A code that does not suit the variable gives no default to start from.
    if (!Value.Accepts(TypeVar)) return Fail("Read register for " + PathVar + IDString + " has failed !");
    return ReadValueRegister(PathVar, IDString, Value, Value.Current(TypeVar), TypeVar);
}

std::optional<std::string> TDatabaseRegistry::StoredText(const std::string& Path, const std::string& IDString) {
    try {
        return File().Raw(RegistryPathOf(Path), IDString);
    } catch (...) {
        return std::nullopt;
    }
}

void TDatabaseRegistry::WriteCFGtoRegister(const std::string& Path, const TVariant& Value,
                                           const std::string& IDString) {
    if (OnWrite) OnWrite(Path, IDString, Value);
    try {
        const TStoredValue encoded = Encode(Value, RootKey + Path + IDString);
        TRegistryFile& file = File();
        const TRegistryPath key = RegistryPathOf(Path);
        if (const auto raw = file.Raw(key, IDString); raw && ReadsAs(*raw, Value)) return;
        file.Set(key, IDString, EncodeStoredValue(encoded));
        dirty_ = true;
        Save();
    } catch (...) {
        // A setting that cannot be written is simply not stored.
    }
}

void TDatabaseRegistry::DeleteKey(const std::string& Path) {
    try {
        TRegistryFile& file = File();
        const TRegistryPath key = RegistryPathOf(Path);
        if (!file.HasKey(key)) return;
        file.Remove(key);
        dirty_ = true;
        Save();
    } catch (...) {
    }
}

bool TDatabaseRegistry::SWKeyExists() {
    return File().HasKey({});
}

bool TDatabaseRegistry::SubKeyexists(const std::string& SubKey) {
    return File().HasKey(RegistryPathOf(SubKey));
}

TDatabaseRegistry& DatabaseRegistry() {
    static TDatabaseRegistry registry;
    return registry;
}
