#include "platform/paths/short_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/paths/paths.h"

namespace fs = std::filesystem;

namespace korvane::platform {
namespace {

bool IsShortChar(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) return true;
    if (std::isalnum(u)) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// One alias of the table.
struct Alias {
    std::string dir;  // folder relative to drive_c, '/' separated, "" for the drive root
    std::string longName;
    std::string alias;
};

// The table as it is now. The table file is only ever replaced whole, so it can be read
// without the lock.
std::vector<Alias> ReadAliases(const fs::path& file) {
    std::vector<Alias> aliases;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const auto a = line.find('\t');
        const auto b = a == std::string::npos ? a : line.find('\t', a + 1);
        if (b == std::string::npos) continue;
        aliases.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
    }
    return aliases;
}

const Alias* FindAlias(const std::vector<Alias>& aliases, const std::string& dir, std::string_view alias) {
    for (const auto& a : aliases)
        if (a.dir == dir && EqualsIgnoreCase(a.alias, alias)) return &a;
    return nullptr;
}

// The table, locked against other writers for the object's lifetime.
class AliasTable {
public:
    explicit AliasTable(const MachineRoot& root)
        : file_(root.Root() / "shortnames.tsv"), lockFile_(root.Root() / "shortnames.lock") {
        lockFd_ = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lockFd_ >= 0) ::flock(lockFd_, LOCK_EX);
        aliases_ = ReadAliases(file_);
    }
    ~AliasTable() {
        if (lockFd_ >= 0) ::close(lockFd_);
    }
    AliasTable(const AliasTable&) = delete;
    AliasTable& operator=(const AliasTable&) = delete;

    bool Usable() const noexcept { return lockFd_ >= 0; }

    const Alias* ByLongName(const std::string& dir, std::string_view name) const {
        for (const auto& a : aliases_)
            if (a.dir == dir && EqualsIgnoreCase(a.longName, name)) return &a;
        return nullptr;
    }
    const Alias* ByAlias(const std::string& dir, std::string_view alias) const {
        return FindAlias(aliases_, dir, alias);
    }
    bool Add(Alias alias) {
        aliases_.push_back(std::move(alias));
        std::ostringstream text;
        for (const auto& a : aliases_) text << a.dir << '\t' << a.longName << '\t' << a.alias << '\n';
        const fs::path temp = fs::path(file_) += ".tmp";
        {
            std::ofstream out(temp, std::ios::trunc);
            out << text.str();
            out.flush();
            if (!out) return false;
        }
        std::error_code ec;
        fs::rename(temp, file_, ec);
        return !ec;
    }

private:
    fs::path file_, lockFile_;
    int lockFd_ = -1;
    std::vector<Alias> aliases_;
};

}  // namespace

bool IsShortName(std::string_view name) noexcept {
    if (name.empty() || name == "." || name == "..") return false;
    const auto dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string_view::npos && ext.empty()) return false;
    for (char c : base)
        if (!IsShortChar(c) || std::islower(static_cast<unsigned char>(c))) return false;
    for (char c : ext)
        if (!IsShortChar(c) || std::islower(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string MakeShortName(std::string_view longName, const std::function<bool(const std::string&)>& taken) {
    const std::string upper = Upper(longName);
    if (IsShortName(upper)) return upper;
    const auto lastDot = upper.rfind('.');
    std::string basis, ext;
    for (std::size_t i = 0; i < upper.size() && (lastDot == std::string::npos || i < lastDot); ++i)
        if (upper[i] != '.' && upper[i] != ' ') basis += IsShortChar(upper[i]) ? upper[i] : '_';
    if (lastDot != std::string::npos)
        for (std::size_t i = lastDot + 1; i < upper.size() && ext.size() < 3; ++i)
            if (upper[i] != ' ') ext += IsShortChar(upper[i]) ? upper[i] : '_';
    if (basis.empty()) basis.push_back('_');
    for (int n = 1;; ++n) {
        std::string tail(1, '~');
        tail += std::to_string(n);
        const std::size_t keep = tail.size() < 8 ? 8 - tail.size() : 1;
        std::string candidate(basis, 0, std::min(keep, basis.size()));
        candidate.append(tail);
        if (!ext.empty()) candidate.append(".").append(ext);
        if (!taken(candidate)) return candidate;
    }
}

std::optional<std::string> MachineRoot::ShortPathName(std::string_view windowsPath) const {
    const auto host = ToHost(windowsPath);
    std::error_code ec;
    if (!host || fs::symlink_status(*host, ec).type() == fs::file_type::not_found) return std::nullopt;
    AliasTable table(*this);
    if (!table.Usable()) return std::nullopt;

    const auto rel = fs::relative(*host, DriveC(), ec);
    if (ec) return std::nullopt;
    std::string result = "C:";
    fs::path dirHost = DriveC();
    std::string dirRel;
    for (const auto& component : rel) {
        const std::string name = component.string();
        if (name == ".") continue;
        std::string alias;
        if (IsShortName(Upper(name))) {
            alias = Upper(name);
        } else if (const Alias* known = table.ByLongName(dirRel, name)) {
            alias = known->alias;
        } else {
            const auto taken = [&](const std::string& candidate) {
                if (table.ByAlias(dirRel, candidate)) return true;
                for (const auto& entry : fs::directory_iterator(dirHost, ec))
                    if (EqualsIgnoreCase(entry.path().filename().string(), candidate)) return true;
                return false;
            };
            alias = MakeShortName(name, taken);
            if (!table.Add({dirRel, name, alias})) return std::nullopt;
        }
        result += "\\" + alias;
        dirHost /= name;
        dirRel = dirRel.empty() ? name : dirRel + "/" + name;
    }
    if (result == "C:") result += "\\";
    return result;
}

std::optional<std::string> AliasedEntry(const fs::path& machineRoot, const fs::path& driveC, const fs::path& hostDir,
                                        std::string_view alias) {
    if (alias.find('~') == std::string_view::npos) return std::nullopt;  // every alias has a '~'
    std::string dirRel = hostDir.lexically_relative(driveC).generic_string();
    if (dirRel == ".") dirRel.clear();
    const auto aliases = ReadAliases(machineRoot / "shortnames.tsv");
    const Alias* known = FindAlias(aliases, dirRel, alias);
    std::error_code ec;
    if (known == nullptr || !fs::exists(hostDir / known->longName, ec)) return std::nullopt;
    return known->longName;
}

}  // namespace korvane::platform
