#include "DatabaseRegistry.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <sys/stat.h>
#include <unistd.h>

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

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Join(const QString& group, const QString& name) {
    return group.isEmpty() ? name : group + "/" + name;
}

// The spelling already stored for a name, looked up without regard to case (an exact match first).
std::optional<QString> FindName(const QStringList& names, const QString& wanted) {
    if (names.contains(wanted)) return wanted;
    for (const QString& name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) return name;
    return std::nullopt;
}

QStringList ChildGroups(QSettings& s, const QString& group) {
    if (group.isEmpty()) return s.childGroups();
    s.beginGroup(group);
    QStringList groups = s.childGroups();
    s.endGroup();
    return groups;
}

QStringList ChildKeys(QSettings& s, const QString& group) {
    if (group.isEmpty()) return s.childKeys();
    s.beginGroup(group);
    QStringList keys = s.childKeys();
    s.endGroup();
    return keys;
}

// The group of a key path ("\Config\Sounds" -> "Config/Sounds"), each part in the spelling
// already stored. Without create, nothing when the key does not exist.
std::optional<QString> ResolveGroup(QSettings& s, const std::string& path, bool create) {
    const QStringList parts = Q(path).split('\\', Qt::SkipEmptyParts);
    if (parts.isEmpty() && !create && s.allKeys().isEmpty()) return std::nullopt;
    QString group;
    for (const QString& part : parts) {
        const auto existing = FindName(ChildGroups(s, group), part);
        if (!existing && !create) return std::nullopt;
        group = Join(group, existing ? *existing : part);
    }
    return group;
}

// Stored text of a value, or nothing when it is not text (binary data).
std::optional<std::string> StoredText(const QVariant& raw) {
    if (raw.typeId() == QMetaType::QByteArray) return std::nullopt;
    if (raw.typeId() == QMetaType::QStringList) return raw.toStringList().join(',').toStdString();
    if (!raw.canConvert<QString>()) return std::nullopt;
    return raw.toString().toStdString();
}

TVariant ParseStored(const QVariant& raw, int kind, const std::string& idString) {
    const EReadWriteRegister failedToRead(idString + " : Failed to read.");
    if (kind == varEmpty || kind == varNull) throw EReadWriteRegister(idString + " Null or empty Variant !");
    if (kind == varDate) {
        const QByteArray bytes = raw.typeId() == QMetaType::QByteArray ? raw.toByteArray() : QByteArray();
        if (bytes.size() != 8) throw failedToRead;
        double value = 0;
        std::memcpy(&value, bytes.constData(), 8);
        return TVariant::DateTime(value);
    }
    const bool supported = IsIntegerKind(kind) || kind == varSingle || kind == varDouble ||
                           kind == varBoolean || IsStringKind(kind);
    if (!supported) throw EReadWriteRegister(idString + " : Data type not supported !");
    const auto text = StoredText(raw);
    if (!text) throw failedToRead;
    if (IsIntegerKind(kind)) {
        const bool wide = kind == varLongWord || kind == varInt64;
        const auto value =
            wide ? TextToInteger(*text, INT64_MIN, INT64_MAX) : TextToInteger(*text, INT32_MIN, INT32_MAX);
        if (!value) throw failedToRead;
        return *TVariant(*value).ConvertedTo(kind);
    }
    if (kind == varSingle || kind == varDouble) {
        const auto value = TextToFloat(*text);
        if (!value) throw failedToRead;
        return *TVariant(*value).ConvertedTo(kind);
    }
    if (kind == varBoolean) return TVariant(*text == "Yes");
    // Strings are written between two quote characters, which the read removes; a text typed by
    // hand without them is taken whole.
    const bool quoted = text->size() >= 2 && text->front() == '"' && text->back() == '"';
    const std::string inner = quoted ? text->substr(1, text->size() - 2) : *text;
    return kind == varUString ? TVariant::WideString(inner) : TVariant(inner);
}

QVariant Encode(const TVariant& value, const std::string& where) {
    const int kind = value.Kind();
    if (value.IsEmptyOrNull())
        throw EReadWriteRegister(where + " : Registry write Error, null or empty Variant !");
    if (IsIntegerKind(kind)) return Q(std::to_string(value.AsInteger()));
    if (kind == varSingle || kind == varDouble) return Q(FloatToText(value.AsDouble()));
    if (kind == varDate) {
        const double date = value.AsDouble();
        return QByteArray(reinterpret_cast<const char*>(&date), sizeof date);
    }
    if (kind == varBoolean) return QString(value.AsBool() ? "Yes" : "No");
    if (IsStringKind(kind)) return Q("\"" + value.AsString() + "\"");
    throw EReadWriteRegister(where + " : Registry write Error, Data type not supported !");
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
    if (settings_) settings_->sync();
}

std::string TDatabaseRegistry::FileName() const {
    if (!fixedFileName_.empty()) return fixedFileName_;
    return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Orvanel/registry.ini")
        .toStdString();
}

QSettings& TDatabaseRegistry::Settings() {
    const std::string fileName = FileName();
    if (!settings_ || fileName != openFileName_) {
        if (settings_) settings_->sync();
        settings_ = std::make_unique<QSettings>(Q(fileName), QSettings::IniFormat);
        openFileName_ = fileName;
    }
    return *settings_;
}

void TDatabaseRegistry::Flush() {
    if (writeGroupDepth_ != 0 || !settings_) return;
    // sync() writes a new file beside the old one and renames it into place, keeping the old
    // file's permissions: a file made here first, private, stays private.
    if (!openFileName_.empty() && ::access(openFileName_.c_str(), F_OK) != 0) {
        QDir().mkpath(QFileInfo(Q(openFileName_)).absolutePath());
        const int fd = ::open(openFileName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) ::close(fd);
    }
    settings_->sync();
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
    Flush();
}

bool TDatabaseRegistry::Fail(const std::string& message) {
    ErrorMessage = message;
    return false;
}

std::optional<TVariant> TDatabaseRegistry::ReadRaw(const std::string& path, const std::string& idString,
                                                   const TVariant& defaultValue, int kind) {
    try {
        QSettings& s = Settings();
        const auto group = ResolveGroup(s, path, false);
        if (!group) throw EReadWriteRegister("Registry Read Error : Key " + RootKey + path + " not found!");
        std::string suffix;
        try {
            const EReadWriteRegister wrongType(idString + " : Default value has wrong type.");
            if (kind == varString && !IsStringKind(defaultValue.Kind())) throw wrongType;
            const auto converted = defaultValue.ConvertedTo(kind);
            if (!converted || !converted->SameValue(defaultValue)) throw wrongType;
            suffix = ", Default value used...";
            const auto name = FindName(ChildKeys(s, *group), Q(idString));
            if (!name) throw EReadWriteRegister(idString + " : value does not exists.");
            return ParseStored(s.value(Join(*group, *name)), kind, idString);
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

void TDatabaseRegistry::WriteCFGtoRegister(const std::string& Path, const TVariant& Value,
                                           const std::string& IDString) {
    if (OnWrite) OnWrite(Path, IDString, Value);
    try {
        QSettings& s = Settings();
        const QVariant encoded = Encode(Value, RootKey + Path + IDString);
        const QString group = *ResolveGroup(s, Path, true);
        const auto existing = FindName(ChildKeys(s, group), Q(IDString));
        s.setValue(Join(group, existing ? *existing : Q(IDString)), encoded);
        Flush();
    } catch (...) {
        // A setting that cannot be written is simply not stored.
    }
}

void TDatabaseRegistry::DeleteKey(const std::string& Path) {
    try {
        QSettings& s = Settings();
        const auto group = ResolveGroup(s, Path, false);
        if (!group) return;
        if (group->isEmpty())
            s.clear();
        else
            s.remove(*group);
        Flush();
    } catch (...) {
    }
}

bool TDatabaseRegistry::SWKeyExists() {
    return !Settings().allKeys().isEmpty();
}

bool TDatabaseRegistry::SubKeyexists(const std::string& SubKey) {
    return ResolveGroup(Settings(), SubKey, false).has_value();
}

TDatabaseRegistry& DatabaseRegistry() {
    static TDatabaseRegistry registry;
    return registry;
}
