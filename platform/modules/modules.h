#pragma once
// Loading a shared module by name or path and calling its exported functions
// (LoadLibrary/GetProcAddress/FreeLibrary over dlopen/dlsym/dlclose).
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {

class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An owned handle to a loaded module; unloads on destruction.
class Module {
public:
    // Loads the module at `path` (a bare file name is taken relative to the current
    // folder; no library search path is consulted); nullopt when it cannot be loaded
    // (LoadLibrary returning NULL). `error` receives the loader's message when given.
    static std::optional<Module> Load(const std::filesystem::path& path, std::string* error = nullptr);
    // Loads a module by its file name ("WNASPI32.DLL"), searching case-insensitively in
    // `searchDirs` in order (e.g. the executable's folder, then the machine's system folder).
    static std::optional<Module> LoadByName(std::string_view fileName,
                                            const std::vector<std::filesystem::path>& searchDirs,
                                            std::string* error = nullptr);

    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();

    // GetProcAddress: the exported symbol, or nullptr when absent.
    void* Symbol(const char* name) const noexcept;
    template <typename Fn>
    Fn* Function(const char* name) const noexcept { return reinterpret_cast<Fn*>(Symbol(name)); }

    const std::filesystem::path& Path() const noexcept { return path_; }

private:
    Module(void* handle, std::filesystem::path path) noexcept : handle_(handle), path_(std::move(path)) {}
    void* handle_ = nullptr;
    std::filesystem::path path_;
};

// The folder of the running executable (/proc/self/exe), where a build tree keeps its
// modules beside the programs.
std::filesystem::path ExecutableDir();
// Where the program's own modules are: beside it (a build tree), then <prefix>/lib/korvane
// when it is installed as <prefix>/bin/<program>.
std::vector<std::filesystem::path> ProgramModuleDirs();

}  // namespace korvane::platform
