// The settings store: every persistent setting lives below "\Software\Orvanel", kept in an INI
// file ($XDG_CONFIG_HOME/Orvanel/registry.ini) with the texts the settings have always had, as
// they stand in the file (see RegistryFile.h). A read fills a typed variable whose current content
// is the default; a missing or damaged value never stops the program, it leaves the default in
// place and says why in ErrorMessage.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "RegistryVariant.h"
#include "UserText.h"

class TRegistryFile;
struct TStoredValue;

inline constexpr const char* RegistryRootKey = "\\Software\\Orvanel";

// Raised inside the store and caught by its own methods; never reaches a caller.
class EReadWriteRegister : public EOrvanelError {
  public:
    using EOrvanelError::EOrvanelError;
};

// A length-prefixed string of at most 255 characters: one length byte, then the characters.
struct TShortString {
    uint8_t Length = 0;
    char Chars[255]{};

    std::string Str() const { return std::string(Chars, Length); }
    // Only texts of at most 255 bytes fit.
    bool Assign(const std::string& text);
};
static_assert(sizeof(TShortString) == 256);

// The variable a read fills. The destination type code of the read, not the variable, decides
// how many bytes are written (a 16-bit code into a 32-bit field changes its low 16 bits only);
// codes that would write past the variable, or that do not suit its type, are refused.
class TRegTarget {
  public:
    template <typename T>
    requires((std::is_integral_v<T> && !std::is_same_v<T, bool>) || std::is_enum_v<T>) TRegTarget(T& value)
        : type_(Type::Integral), address_(&value), size_(sizeof(T)), signed_(IsSigned<T>()) {}
    TRegTarget(bool& value) : type_(Type::Boolean), address_(&value), size_(1) {}
    TRegTarget(float& value) : type_(Type::Single), address_(&value), size_(sizeof(float)) {}
    TRegTarget(double& value) : type_(Type::Double), address_(&value), size_(sizeof(double)) {}
    TRegTarget(std::string& value) : type_(Type::String), address_(&value), size_(0) {}
    TRegTarget(TShortString& value) : type_(Type::Short), address_(&value), size_(0) {}

    // True when a read with this destination code may write into the variable.
    bool Accepts(int typeVar) const;
    // The variable's content seen through the code: the default of a read (call only when accepted).
    TVariant Current(int typeVar) const;
    // Stores a value read with this code (call only when accepted).
    void Store(const TVariant& value, int typeVar) const;
    TShortString* ShortString() const {
        return type_ == Type::Short ? static_cast<TShortString*>(address_) : nullptr;
    }

    // The kind that holds the variable whole: its width and signedness for an integer, varBoolean,
    // varSingle, varDouble, varString, TypeVarShortString.
    int NaturalKind() const;
    // The whole variable as a value of its natural kind (what a write of it stores).
    TVariant Value() const;
    // Sets the whole variable from a value already of its natural kind.
    void Assign(const TVariant& value) const;

  private:
    template <typename T> static constexpr bool IsSigned() {
        if constexpr (std::is_enum_v<T>)
            return std::is_signed_v<std::underlying_type_t<T>>;
        else
            return std::is_signed_v<T>;
    }

    enum class Type { Integral, Boolean, Single, Double, String, Short };
    Type type_;
    void* address_;
    size_t size_;
    bool signed_ = false;
};

class TDatabaseRegistry {
  public:
    // The store of the user's configuration folder, located again at every call (it follows
    // XDG_CONFIG_HOME).
    TDatabaseRegistry();
    // A store in a given INI file.
    explicit TDatabaseRegistry(std::string fileName);
    ~TDatabaseRegistry();
    TDatabaseRegistry(const TDatabaseRegistry&) = delete;
    TDatabaseRegistry& operator=(const TDatabaseRegistry&) = delete;

    // Reads IDString of key PathVar into Value with destination code TypeVar; the current content
    // of Value is the default. False when Value kept its default (ErrorMessage says why).
    bool ReadValueRegisterDFset(const std::string& PathVar, TRegTarget Value, const std::string& IDString,
                                int TypeVar);
    // The same with an explicit default of any kind.
    bool ReadValueRegister(const std::string& Path, const std::string& IDString, TRegTarget Value,
                           const TVariant& Default, int TypeVar);
    // The text after '=' of IDString in key Path as the file holds it, blanks around it aside; nothing
    // when the file has no such value.
    std::optional<std::string> StoredText(const std::string& Path, const std::string& IDString);
    // Writes Value under IDString in key Path, creating the key. Never reports a failure: a value
    // that cannot be stored is simply not stored.
    void WriteCFGtoRegister(const std::string& Path, const TVariant& Value, const std::string& IDString);
    // Deletes key Path with its sub-keys.
    void DeleteKey(const std::string& Path);
    // Whether "\Software\Orvanel" holds anything.
    bool SWKeyExists();
    bool SubKeyexists(const std::string& SubKey);

    // The INI file in use.
    std::string FileName() const;
    // The file holds the FTP password: it is created readable by its owner only, and an existing
    // file open to others is closed to them here. Returns the log line when it was tightened.
    std::string RestrictFileToOwner();

    // Every write reaches the disk before it returns, except inside a write group, where the
    // group's writes reach it together when the outermost group ends. The file is replaced in one
    // step: a full disk or a crash leaves the previous file whole.
    void BeginWriteGroup();
    void EndWriteGroup();

    // Problems met with the file since the last call, as the user reads them, each told once:
    // a file that is no settings file (the defaults are used; it is kept as "registry.ini.damaged"
    // before anything is written), a file that cannot be read (the defaults are used and it is
    // never written over).
    std::vector<std::string> TakeProblems();

    // Message of the last failed read; set only by a failed read, never cleared.
    std::string ErrorMessage;
    // Told of every value handed to WriteCFGtoRegister, in the order they come, whether or not it
    // was stored (a value already in the file is not written again).
    std::function<void(const std::string& path, const std::string& idString, const TVariant& value)> OnWrite;

  private:
    enum class TFileState { Absent, Sound, Damaged, Unreadable };

    // The file as it is on disk, read again when it changed (pending writes of a group stay).
    TRegistryFile& File();
    void Load(const std::string& name);
    void SetUnreadable(const std::string& name, const std::string& reason, const std::string& about);
    // Tells a problem unless it was the last one told about the same file.
    void Tell(const std::string& problem, const std::string& about);
    // Writes the pending changes, unless a group is open.
    void Save();
    bool KeepDamagedFile(const std::string& target);
    std::optional<TVariant> ReadRaw(const std::string& path, const std::string& idString,
                                    const TVariant& defaultValue, int kind);
    bool Fail(const std::string& message);

    std::string fixedFileName_;
    std::string loadedName_;
    std::unique_ptr<TRegistryFile> file_;
    std::optional<std::string> loadedText_; // what file_ was read from or written as
    TFileState state_ = TFileState::Absent;
    bool dirty_ = false;
    std::vector<std::string> problems_;
    std::string told_;
    int writeGroupDepth_ = 0;
};

// Groups the writes of one confirmation so that they reach the disk together.
class TRegistryWriteGroup {
  public:
    explicit TRegistryWriteGroup(TDatabaseRegistry& registry) : registry_(registry) {
        registry_.BeginWriteGroup();
    }
    ~TRegistryWriteGroup() { registry_.EndWriteGroup(); }
    TRegistryWriteGroup(const TRegistryWriteGroup&) = delete;
    TRegistryWriteGroup& operator=(const TRegistryWriteGroup&) = delete;

  private:
    TDatabaseRegistry& registry_;
};

// The process-wide store every caller uses (user-interface thread only).
TDatabaseRegistry& DatabaseRegistry();
