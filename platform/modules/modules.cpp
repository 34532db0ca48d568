#include "platform/modules/modules.h"

#include <dlfcn.h>

#include <system_error>
#include <utility>

#include "platform/paths/paths.h"

namespace fs = std::filesystem;

namespace korvane::platform {

// LeakSanitizer cannot see pointers that live in an unloaded module's data, so every
// allocation a module keeps in its globals is reported as leaked once it is closed.
// The sanitizer build keeps modules mapped after the last close; the product unloads.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSanitizerKeepMapped = RTLD_NODELETE;
#else
constexpr int kSanitizerKeepMapped = 0;
#endif

namespace {

void Report(std::string* error, std::string message) {
    if (error) *error = std::move(message);
}

bool PlainFileName(std::string_view name) noexcept {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// The file in `dir` named `name` ignoring case: the exact spelling first, otherwise the
// alphabetically first match, so the choice is stable.
std::optional<fs::path> FindFileIgnoringCase(const fs::path& dir, std::string_view name) {
    std::error_code ec;
    if (fs::is_regular_file(dir / name, ec)) return dir / name;
    std::optional<fs::path> best;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!EqualsIgnoreCase(it->path().filename().string(), name) || !it->is_regular_file(ec)) continue;
        if (!best || it->path().filename() < best->filename()) best = it->path();
    }
    return best;
}

}  // namespace

std::optional<Module> Module::Load(const fs::path& path, std::string* error) {
    // RTLD_NOW: a module with unresolved symbols fails here, as LoadLibrary does, not
    // later in the middle of a call. RTLD_LOCAL keeps its symbols out of other modules.
    if (path.empty()) {
        Report(error, "cannot load module: empty path");
        return std::nullopt;
    }
    // A bare file name means that file in the current folder, not a search of the
    // system's library paths.
    const fs::path file = path.has_parent_path() ? path : fs::path(".") / path;
    dlerror();
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | kSanitizerKeepMapped);
    if (!handle) {
        const char* message = dlerror();
        Report(error, "cannot load module \"" + path.string() + "\": " + (message ? message : "unknown error"));
        return std::nullopt;
    }
    return Module(handle, path);
}

std::optional<Module> Module::LoadByName(std::string_view fileName, const std::vector<fs::path>& searchDirs,
                                         std::string* error) {
    if (!PlainFileName(fileName)) {
        Report(error, "invalid module name \"" + std::string(fileName) + "\"");
        return std::nullopt;
    }
    // The first folder holding the name decides, as with LoadLibrary: a module there that
    // fails to load is an error, not a reason to pick up another copy further on.
    for (const fs::path& dir : searchDirs)
        if (auto file = FindFileIgnoringCase(dir, fileName)) return Load(*file, error);
    std::string message = "module \"" + std::string(fileName) + "\" not found in";
    for (const fs::path& dir : searchDirs) message += " \"" + dir.string() + "\"";
    if (searchDirs.empty()) message += " (no folders)";
    Report(error, std::move(message));
    return std::nullopt;
}

Module::Module(Module&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

Module& Module::operator=(Module&& other) noexcept {
    if (this != &other) {
        if (handle_) ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
    }
    return *this;
}

Module::~Module() {
    if (handle_) ::dlclose(handle_);
}

void* Module::Symbol(const char* name) const noexcept { return handle_ ? ::dlsym(handle_, name) : nullptr; }

fs::path ExecutableDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::vector<fs::path> ProgramModuleDirs() {
    const fs::path dir = ExecutableDir();
    return {dir, dir.parent_path() / "lib" / "korvane"};
}

}  // namespace korvane::platform
