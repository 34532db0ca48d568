#pragma once
// The registry stand-in: keys under HKLM/HKCU/HKU holding REG_SZ, REG_DWORD and
// REG_BINARY values, stored in one SQLite database (registry.db in the machine root).
//
// Key paths are backslash-separated ("Software\\Quorvix\\Korvane"); key and value names
// compare case-insensitively and keep the spelling they were created with. The empty
// value name is the key's default value. Every write is one transaction; several
// processes may use the same file at once (SQLite locking with a busy timeout).
// A database that cannot be opened or is corrupt raises RegistryError; it is never
// silently replaced.
//
// Thread contract: a RegistryStore may be shared between threads (calls serialise on
// an internal mutex). RegKey is a cheap value handle (store + root + path).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {

enum class RootKey { LocalMachine, CurrentUser, Users };  // HKLM, HKCU, HKU

enum class ValueType : std::uint32_t { String = 1, Binary = 3, Dword = 4 };  // REG_SZ/BINARY/DWORD

enum class Disposition { CreatedNewKey, OpenedExistingKey };  // REG_CREATED_NEW_KEY / REG_OPENED_EXISTING_KEY

class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RegValue {
    ValueType type = ValueType::String;
    std::vector<std::uint8_t> data;  // REG_SZ: the characters without terminator; DWORD: 4 bytes LE

    // Typed views; nullopt when the stored type differs (or a DWORD is not 4 bytes).
    std::optional<std::string> AsString() const;
    std::optional<std::uint32_t> AsDword() const;
};

class RegistryStore;

class RegKey {
public:
    RegKey(std::shared_ptr<RegistryStore> store, RootKey root, std::string path);

    RootKey Root() const noexcept { return root_; }
    const std::string& Path() const noexcept { return path_; }

    void SetString(std::string_view name, std::string_view value);
    void SetDword(std::string_view name, std::uint32_t value);
    void SetBinary(std::string_view name, std::span<const std::uint8_t> value);

    std::optional<RegValue> Query(std::string_view name) const;
    std::optional<std::string> QueryString(std::string_view name) const;   // nullopt if absent or not REG_SZ
    std::optional<std::uint32_t> QueryDword(std::string_view name) const;  // nullopt if absent or not REG_DWORD

    std::vector<std::string> Subkeys() const;     // direct subkeys, in creation order
    bool DeleteValue(std::string_view name);      // false when it did not exist

private:
    std::shared_ptr<RegistryStore> store_;
    RootKey root_;
    std::string path_;
};

class RegistryStore : public std::enable_shared_from_this<RegistryStore> {
public:
    // Opens (creating if missing) the database at `file`; ":memory:" gives a private
    // in-memory store for tests. Throws RegistryError naming the file on failure.
    static std::shared_ptr<RegistryStore> Open(const std::filesystem::path& file);
    // The store of the machine root from the environment (MachineRoot::FromEnvironment).
    static std::shared_ptr<RegistryStore> OpenMachine();

    ~RegistryStore();

    // RegCreateKeyEx: creates the key and any missing parents.
    RegKey CreateKey(RootKey root, std::string_view path, Disposition* disposition = nullptr);
    // RegOpenKeyEx: nullopt when the key does not exist.
    std::optional<RegKey> OpenKey(RootKey root, std::string_view path);
    bool KeyExists(RootKey root, std::string_view path);
    // Deletes the key with its values and all subkeys (Windows 9x RegDeleteKey).
    // false when it did not exist.
    bool DeleteKey(RootKey root, std::string_view path);
    // Runs `body`, whose calls on this store become one transaction: other processes see
    // all of its writes or none, and a throw from `body` undoes them all. The store's
    // lock is held meanwhile, so other threads wait.
    void Batch(const std::function<void()>& body);

    // Low-level access used by RegKey; `path` is a key path as above. SetValue on a key
    // that does not exist (e.g. deleted since its RegKey was made) throws RegistryError
    // rather than recreating it; reads and deletes of a missing key find nothing.
    // A path with a leading backslash or an empty component throws RegistryError.
    void SetValue(RootKey root, std::string_view path, std::string_view name, const RegValue& value);
    std::optional<RegValue> QueryValue(RootKey root, std::string_view path, std::string_view name);
    std::vector<std::string> EnumSubkeys(RootKey root, std::string_view path);
    std::vector<std::string> EnumValueNames(RootKey root, std::string_view path);
    bool DeleteValue(RootKey root, std::string_view path, std::string_view name);

private:
    RegistryStore();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::platform
