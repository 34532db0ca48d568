#include "platform/hostfiles/leftovers.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <fstream>
#include <limits>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string_view>

namespace korvane::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTrackPrefix = "~krvn";
constexpr std::string_view kTrackSuffix = ".tmp";
constexpr std::string_view kPartSuffix = ".krvn-part";
constexpr std::time_t kOneDaySeconds = 24 * 60 * 60;

// What a file name says about its writer.
struct NameInfo {
    bool temporary = false;  // one of our families
    pid_t writer = 0;        // 0: the name carries no process id
};

bool AllOf(std::string_view text, int (*test)(int)) {
    for (const char c : text)
        if (!test(static_cast<unsigned char>(c))) return false;
    return !text.empty();
}

int IsLowerAlnum(int c) { return std::isdigit(c) || std::islower(c); }

// "<pid>-..." at the start of `text`; 0 when it does not start so.
pid_t LeadingPid(std::string_view text) {
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (ec != std::errc{} || pid <= 0 || end == text.data() + text.size() || *end != '-') return 0;
    return pid;
}

NameInfo Inspect(std::string_view name) {
    if (name.starts_with(kTrackPrefix) && name.ends_with(kTrackSuffix)) {
        const auto middle = name.substr(kTrackPrefix.size(), name.size() - kTrackPrefix.size() - kTrackSuffix.size());
        if (const pid_t pid = LeadingPid(middle)) return {true, pid};
        return {middle.size() == 8 && AllOf(middle, IsLowerAlnum), 0};  // earlier "~krvn<8 base-36>.tmp"
    }
    if (name.size() > kPartSuffix.size() + 1 && name[0] == '.' && name.ends_with(kPartSuffix)) {
        const auto stem = name.substr(0, name.size() - kPartSuffix.size());
        const auto dot = stem.rfind('.');
        if (dot == 0 || dot == std::string_view::npos) return {};
        const auto tail = stem.substr(dot + 1);
        // "<pid>-<n>-<unique>" now; "<unique>-<n>" (import) and "<pid>-<n>-<unique>"
        // (export) before: both digits and dashes, the earlier import form has one dash.
        const auto dashes = std::count(tail.begin(), tail.end(), '-');
        if (dashes == 2) return {true, LeadingPid(tail)};
        if (dashes == 1 && tail.find_first_not_of("0123456789-") == std::string_view::npos) return {true, 0};
    }
    return {};
}

std::optional<std::time_t> BootTime() {
    std::ifstream stat("/proc/stat");
    for (std::string key; stat >> key;) {
        if (key == "btime") {
            std::time_t seconds = 0;
            if (stat >> seconds) return seconds;
            return std::nullopt;
        }
        stat.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return std::nullopt;
}

// When process `pid` started (seconds since the epoch), from /proc; nullopt if unknown.
std::optional<std::time_t> ProcessStart(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');  // the command name may hold blanks and parentheses
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {  // field 22: start time in clock ticks since boot
        if (i < 22) continue;
        const auto boot = BootTime();
        const long ticks = ::sysconf(_SC_CLK_TCK);
        if (!boot || ticks <= 0) return std::nullopt;
        return *boot + static_cast<std::time_t>(std::stoull(field) / static_cast<unsigned long long>(ticks));
    }
    return std::nullopt;
}

// True when the writer `pid` of a file last written at `written` is no longer running.
bool WriterGone(pid_t pid, std::time_t written) {
    if (pid == ::getpid()) return false;
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    const auto started = ProcessStart(pid);
    return started && *started > written + 1;  // the id now belongs to a later process
}

bool IsLeftover(const fs::directory_entry& entry) {
    const NameInfo info = Inspect(entry.path().filename().string());
    if (!info.temporary) return false;
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (info.writer != 0) return WriterGone(info.writer, st.st_mtime);
    return std::time(nullptr) - st.st_mtime > kOneDaySeconds;
}

}  // namespace

std::string TemporaryTag() {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    return std::to_string(::getpid()) + '-' + std::to_string(counter++) + '-' + std::to_string(random() % 1000000);
}

fs::path TemporaryNameBeside(const fs::path& target) {
    std::string name(1, '.');
    name.append(target.filename().string()).append(1, '.').append(TemporaryTag()).append(kPartSuffix);
    return target.parent_path() / name;
}

bool IsTemporaryName(const std::string& name) noexcept { return Inspect(name).temporary; }

std::size_t RemoveLeftoverTemporaries(const fs::path& folder) noexcept {
    std::size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        try {
            std::error_code ignored;
            if (IsLeftover(*it) && fs::remove(it->path(), ignored)) ++removed;
        } catch (const std::exception&) {
            // an unreadable /proc entry: the file is kept for a later run
        }
    }
    return removed;
}

void RemoveLeftoverTemporariesOnce(const fs::path& folder) noexcept {
    static std::mutex mutex;
    static std::set<fs::path> done;
    try {
        std::error_code ec;
        const fs::path key = fs::weakly_canonical(folder.empty() ? fs::path(".") : folder, ec);
        {
            const std::lock_guard lock(mutex);
            if (!done.insert(ec ? folder : key).second) return;
        }
        RemoveLeftoverTemporaries(folder);
    } catch (const std::exception&) {
        // out of memory for the set: skipping the clean-up loses nothing
    }
}

}  // namespace korvane::platform
