#include "platform/registry/registry.h"

#include <sqlite3.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/paths/paths.h"

namespace korvane::platform {
namespace {

// Storage choices:
// - WAL journal: readers never wait for a writer and a writer never waits for readers,
//   so one process reading its settings does not stall another installing; a commit is
//   atomic and, with synchronous=FULL, durable. The busy timeout covers writer/writer
//   contention, and every write starts with BEGIN IMMEDIATE so it takes the write lock
//   up front instead of failing on a read-to-write upgrade.
// - Names use COLLATE NOCASE (ASCII case folding, as EqualsIgnoreCase), which makes the
//   unique indexes case-insensitive while the stored spelling stays as created.
// - Creation order is row id order: a new row always gets a larger id than every
//   existing row of its table.
constexpr int kBusyTimeoutMs = 15000;
constexpr int kApplicationId = 0x4B52564E;  // "KRVN": marks the file as ours
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE reg_keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES reg_keys(id),
  name TEXT NOT NULL COLLATE NOCASE,
  UNIQUE(parent, name));
CREATE TABLE reg_values(
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL REFERENCES reg_keys(id),
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, name));
INSERT INTO reg_keys(id, parent, name) VALUES
  (1, NULL, 'HKEY_LOCAL_MACHINE'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_USERS');
)sql";

std::int64_t RootId(RootKey root) noexcept {
    switch (root) {
        case RootKey::LocalMachine: return 1;
        case RootKey::CurrentUser: return 2;
        case RootKey::Users: return 3;
    }
    return 1;
}

const char* RootName(RootKey root) noexcept {
    switch (root) {
        case RootKey::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case RootKey::CurrentUser: return "HKEY_CURRENT_USER";
        case RootKey::Users: return "HKEY_USERS";
    }
    return "?";
}

std::string Describe(RootKey root, std::string_view path) {
    std::string text = RootName(root);
    if (!path.empty()) (text += '\\') += path;
    return text;
}

// "Software\\Quorvix\\Korvane" -> components. "" is the root key itself; one trailing
// backslash is tolerated; a leading one or an empty component is an error.
std::vector<std::string_view> SplitKeyPath(RootKey root, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return parts;
    std::size_t pos = 0;
    while (true) {
        const std::size_t end = path.find('\\', pos);
        const std::string_view part = path.substr(pos, end == std::string_view::npos ? path.npos : end - pos);
        if (part.empty() || part.find('\0') != std::string_view::npos)
            throw RegistryError("invalid registry key path \"" + Describe(root, path) + "\"");
        parts.push_back(part);
        if (end == std::string_view::npos) return parts;
        pos = end + 1;
    }
}

std::string JoinKeyPath(const std::vector<std::string_view>& parts) {
    std::string path;
    for (std::string_view part : parts) {
        if (!path.empty()) path += '\\';
        path += part;
    }
    return path;
}

void CheckValueName(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) throw RegistryError("registry value name contains a NUL character");
}

// One prepared statement, finalized on destruction.
class Statement {
public:
    Statement(sqlite3* db, const char* sql, int& rc) { rc = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const noexcept { return stmt_; }
    // The first failed bind (e.g. SQLITE_TOOBIG), reported when the statement is stepped.
    int BindError() const noexcept { return bindError_; }
    void Bind(int index, std::int64_t value) noexcept { Note(sqlite3_bind_int64(stmt_, index, value)); }
    void Bind(int index, std::string_view text) noexcept {
        Note(sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    }
    void BindBlob(int index, const std::vector<std::uint8_t>& data) noexcept {
        if (data.empty()) Note(sqlite3_bind_zeroblob(stmt_, index, 0));  // a null pointer would bind NULL
        else Note(sqlite3_bind_blob64(stmt_, index, data.data(), data.size(), SQLITE_TRANSIENT));
    }
    std::int64_t Int(int column) const noexcept { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }
    std::vector<std::uint8_t> Blob(int column) const {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>();
    }

private:
    void Note(int rc) noexcept {
        if (rc != SQLITE_OK && bindError_ == SQLITE_OK) bindError_ = rc;
    }
    sqlite3_stmt* stmt_ = nullptr;
    int bindError_ = SQLITE_OK;
};

}  // namespace

struct RegistryStore::Impl {
    std::string file;  // as given, for messages
    sqlite3* db = nullptr;
    std::recursive_mutex mutex;  // serialises every use of `db`; held across a Batch
    int depth = 0;               // transactions open: > 0 inside a Batch

    ~Impl() { sqlite3_close_v2(db); }

    [[noreturn]] void Fail(const std::string& what, int rc) const {
        std::string message = "registry database \"" + file + "\": " + what + ": ";
        message += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        const int primary = rc & 0xFF;
        if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
            message += " (the file is damaged or not a registry database; it was left unchanged)";
        throw RegistryError(message);
    }

    void Exec(const char* sql, const char* what) {
        if (int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr); rc != SQLITE_OK) Fail(what, rc);
    }

    std::unique_ptr<Statement> Prepare(const char* sql) {
        int rc = SQLITE_OK;
        auto statement = std::make_unique<Statement>(db, sql, rc);
        if (rc != SQLITE_OK) Fail("preparing a query", rc);
        return statement;
    }

    // Steps `statement`; true while it yields rows.
    bool Step(Statement& statement) {
        if (statement.BindError() != SQLITE_OK)
            throw RegistryError("registry database \"" + file + "\": " + sqlite3_errstr(statement.BindError()));
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        Fail("executing a query", rc);
    }

    int PragmaInt(const char* sql) {
        auto statement = Prepare(sql);
        return Step(*statement) ? static_cast<int>(statement->Int(0)) : 0;
    }

    template <typename F>
    auto Transaction(const char* begin, F&& body) {
        // Inside a Batch the batch's transaction holds every read and write.
        if (depth > 0) return body();
        Exec(begin, "starting a transaction");
        ++depth;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{depth};
        try {
            if constexpr (std::is_void_v<decltype(body())>) {
                body();
                Exec("COMMIT", "committing");
            } else {
                auto result = body();
                Exec("COMMIT", "committing");
                return result;
            }
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    template <typename F> auto Write(F&& body) { return Transaction("BEGIN IMMEDIATE", std::forward<F>(body)); }
    template <typename F> auto Read(F&& body) { return Transaction("BEGIN", std::forward<F>(body)); }

    void OpenConnection();
    void InitialiseOrVerify();
    void UseWal();
    void QuickCheck();

    std::optional<std::int64_t> FindChild(std::int64_t parent, std::string_view name);
    std::optional<std::int64_t> FindKey(RootKey root, const std::vector<std::string_view>& parts);
    std::int64_t RequireKey(RootKey root, std::string_view path);
};

void RegistryStore::Impl::OpenConnection() {
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) Fail("cannot open", rc);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

// A new (empty) file gets the schema; anything else must carry our application id and
// a schema version we understand. Several processes may race to initialise the same
// new file: the check is repeated inside the write transaction.
void RegistryStore::Impl::InitialiseOrVerify() {
    auto isEmpty = [this] { return PragmaInt("SELECT count(*) FROM sqlite_schema") == 0; };
    if (isEmpty()) {
        Write([&] {
            if (!isEmpty()) return;
            Exec(kSchema, "creating the registry");
            Exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str(), "creating the registry");
            Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str(), "creating the registry");
        });
    }
    if (PragmaInt("PRAGMA application_id") != kApplicationId)
        throw RegistryError("registry database \"" + file +
                            "\": the file is an SQLite database of another program; it was left unchanged");
    if (const int version = PragmaInt("PRAGMA user_version"); version != kSchemaVersion)
        throw RegistryError("registry database \"" + file + "\": unsupported layout version " +
                            std::to_string(version) + "; it was left unchanged");
}

// Switching to WAL needs a moment without other connections in a transaction, and
// SQLite reports that as busy without consulting the busy handler: retry for as long
// as the busy timeout allows.
void RegistryStore::Impl::UseWal() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    while (true) {
        const int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) break;
        if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) Fail("selecting the journal", rc);
        if (std::chrono::steady_clock::now() > deadline) Fail("selecting the journal", rc);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Exec("PRAGMA synchronous = FULL", "selecting the journal");
}

void RegistryStore::Impl::QuickCheck() {
    auto statement = Prepare("PRAGMA quick_check");
    std::string first = Step(*statement) ? statement->Text(0) : std::string("no result");
    if (first != "ok")
        throw RegistryError("registry database \"" + file + "\" is damaged (" + first +
                            "); it was left unchanged");
}

std::optional<std::int64_t> RegistryStore::Impl::FindChild(std::int64_t parent, std::string_view name) {
    auto statement = Prepare("SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2");
    statement->Bind(1, parent);
    statement->Bind(2, name);
    if (!Step(*statement)) return std::nullopt;
    return statement->Int(0);
}

std::optional<std::int64_t> RegistryStore::Impl::FindKey(RootKey root, const std::vector<std::string_view>& parts) {
    std::int64_t id = RootId(root);
    for (std::string_view part : parts) {
        const auto child = FindChild(id, part);
        if (!child) return std::nullopt;
        id = *child;
    }
    return id;
}

std::int64_t RegistryStore::Impl::RequireKey(RootKey root, std::string_view path) {
    const auto id = FindKey(root, SplitKeyPath(root, path));
    if (!id) throw RegistryError("registry key \"" + Describe(root, path) + "\" does not exist");
    return *id;
}

// ---------------------------------------------------------------------------------

RegistryStore::RegistryStore() : impl_(std::make_unique<Impl>()) {}
RegistryStore::~RegistryStore() = default;

std::shared_ptr<RegistryStore> RegistryStore::Open(const std::filesystem::path& file) {
    std::shared_ptr<RegistryStore> store(new RegistryStore());  // constructor is private
    Impl& impl = *store->impl_;
    impl.file = file.string();
    impl.OpenConnection();
    impl.InitialiseOrVerify();  // reads the header first: a foreign or damaged file fails here
    if (impl.file != ":memory:") impl.UseWal();
    impl.QuickCheck();
    return store;
}

std::shared_ptr<RegistryStore> RegistryStore::OpenMachine() {
    return Open(MachineRoot::FromEnvironment().RegistryFile());
}

RegKey RegistryStore::CreateKey(RootKey root, std::string_view path, Disposition* disposition) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    const bool created = impl_->Write([&] {
        std::int64_t id = RootId(root);
        bool createdLast = false;
        for (std::string_view part : parts) {
            if (auto child = impl_->FindChild(id, part)) {
                id = *child;
                createdLast = false;
                continue;
            }
            auto insert = impl_->Prepare("INSERT INTO reg_keys(parent, name) VALUES(?1, ?2)");
            insert->Bind(1, id);
            insert->Bind(2, part);
            impl_->Step(*insert);
            id = sqlite3_last_insert_rowid(impl_->db);
            createdLast = true;
        }
        return createdLast;
    });
    if (disposition) *disposition = created ? Disposition::CreatedNewKey : Disposition::OpenedExistingKey;
    return RegKey(shared_from_this(), root, JoinKeyPath(parts));
}

std::optional<RegKey> RegistryStore::OpenKey(RootKey root, std::string_view path) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    if (!impl_->Read([&] { return impl_->FindKey(root, parts); })) return std::nullopt;
    return RegKey(shared_from_this(), root, JoinKeyPath(parts));
}

bool RegistryStore::KeyExists(RootKey root, std::string_view path) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    return impl_->Read([&] { return impl_->FindKey(root, parts); }).has_value();
}

void RegistryStore::Batch(const std::function<void()>& body) {
    std::lock_guard lock(impl_->mutex);
    impl_->Write(body);
}

bool RegistryStore::DeleteKey(RootKey root, std::string_view path) {
    const auto parts = SplitKeyPath(root, path);
    if (parts.empty()) throw RegistryError("the root key " + Describe(root, {}) + " cannot be deleted");
    std::lock_guard lock(impl_->mutex);
    return impl_->Write([&] {
        const auto id = impl_->FindKey(root, parts);
        if (!id) return false;
        constexpr const char* kTree =
            "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
            "SELECT k.id FROM reg_keys k JOIN tree t ON k.parent = t.id) ";
        for (const char* tail : {"DELETE FROM reg_values WHERE key IN tree", "DELETE FROM reg_keys WHERE id IN tree"}) {
            auto statement = impl_->Prepare((std::string(kTree) + tail).c_str());
            statement->Bind(1, *id);
            impl_->Step(*statement);
        }
        return true;
    });
}

void RegistryStore::SetValue(RootKey root, std::string_view path, std::string_view name, const RegValue& value) {
    CheckValueName(name);
    if (value.type != ValueType::String && value.type != ValueType::Binary && value.type != ValueType::Dword)
        throw RegistryError("unsupported registry value type " + std::to_string(static_cast<std::uint32_t>(value.type)));
    std::lock_guard lock(impl_->mutex);
    impl_->Write([&] {
        const std::int64_t key = impl_->RequireKey(root, path);
        // Overwriting keeps the value's place in the enumeration and its spelling.
        auto statement = impl_->Prepare(
            "INSERT INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
            "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
        statement->Bind(1, key);
        statement->Bind(2, name);
        statement->Bind(3, static_cast<std::int64_t>(value.type));
        statement->BindBlob(4, value.data);
        impl_->Step(*statement);
    });
}

std::optional<RegValue> RegistryStore::QueryValue(RootKey root, std::string_view path, std::string_view name) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    return impl_->Read([&]() -> std::optional<RegValue> {
        const auto key = impl_->FindKey(root, parts);
        if (!key) return std::nullopt;
        auto statement = impl_->Prepare("SELECT type, data FROM reg_values WHERE key = ?1 AND name = ?2");
        statement->Bind(1, *key);
        statement->Bind(2, name);
        if (!impl_->Step(*statement)) return std::nullopt;
        const std::int64_t type = statement->Int(0);
        if (type != 1 && type != 3 && type != 4)
            throw RegistryError("registry database \"" + impl_->file + "\": value \"" + std::string(name) + "\" of " +
                                Describe(root, path) + " has unknown type " + std::to_string(type));
        return RegValue{static_cast<ValueType>(type), statement->Blob(1)};
    });
}

namespace {
template <typename Impl>
std::vector<std::string> Names(Impl& impl, const char* sql, RootKey root, const std::vector<std::string_view>& parts) {
    return impl.Read([&] {
        std::vector<std::string> names;
        const auto key = impl.FindKey(root, parts);
        if (!key) return names;
        auto statement = impl.Prepare(sql);
        statement->Bind(1, *key);
        while (impl.Step(*statement)) names.push_back(statement->Text(0));
        return names;
    });
}
}  // namespace

std::vector<std::string> RegistryStore::EnumSubkeys(RootKey root, std::string_view path) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    return Names(*impl_, "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY id", root, parts);
}

std::vector<std::string> RegistryStore::EnumValueNames(RootKey root, std::string_view path) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    return Names(*impl_, "SELECT name FROM reg_values WHERE key = ?1 ORDER BY id", root, parts);
}

bool RegistryStore::DeleteValue(RootKey root, std::string_view path, std::string_view name) {
    const auto parts = SplitKeyPath(root, path);
    std::lock_guard lock(impl_->mutex);
    return impl_->Write([&] {
        const auto key = impl_->FindKey(root, parts);
        if (!key) return false;
        auto statement = impl_->Prepare("DELETE FROM reg_values WHERE key = ?1 AND name = ?2");
        statement->Bind(1, *key);
        statement->Bind(2, name);
        impl_->Step(*statement);
        return sqlite3_changes(impl_->db) > 0;
    });
}

// ---------------------------------------------------------------------------------

std::optional<std::string> RegValue::AsString() const {
    if (type != ValueType::String) return std::nullopt;
    return std::string(data.begin(), data.end());
}

std::optional<std::uint32_t> RegValue::AsDword() const {
    if (type != ValueType::Dword || data.size() != 4) return std::nullopt;
    return std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16 |
           std::uint32_t{data[3]} << 24;
}

RegKey::RegKey(std::shared_ptr<RegistryStore> store, RootKey root, std::string path)
    : store_(std::move(store)), root_(root), path_(std::move(path)) {}

void RegKey::SetString(std::string_view name, std::string_view value) {
    store_->SetValue(root_, path_, name, RegValue{ValueType::String, {value.begin(), value.end()}});
}

void RegKey::SetDword(std::string_view name, std::uint32_t value) {
    RegValue v{ValueType::Dword, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
    store_->SetValue(root_, path_, name, v);
}

void RegKey::SetBinary(std::string_view name, std::span<const std::uint8_t> value) {
    store_->SetValue(root_, path_, name, RegValue{ValueType::Binary, {value.begin(), value.end()}});
}

std::optional<RegValue> RegKey::Query(std::string_view name) const { return store_->QueryValue(root_, path_, name); }

std::optional<std::string> RegKey::QueryString(std::string_view name) const {
    const auto value = Query(name);
    return value ? value->AsString() : std::nullopt;
}

std::optional<std::uint32_t> RegKey::QueryDword(std::string_view name) const {
    const auto value = Query(name);
    return value ? value->AsDword() : std::nullopt;
}

std::vector<std::string> RegKey::Subkeys() const { return store_->EnumSubkeys(root_, path_); }
bool RegKey::DeleteValue(std::string_view name) { return store_->DeleteValue(root_, path_, name); }

}  // namespace korvane::platform
