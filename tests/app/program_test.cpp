// The korvane program as a process: the platform check ends it with exit code 0 after
// its message, and it starts and stays up without an ASPI manager. Message boxes go to
// the KORVANE_MESSAGE_LOG file, so nothing waits for a click.
#include "platform/registry/registry.h"
#include "platform/version/version.h"
#include "resources/strings.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Starts `program` with the current environment plus `extra` ("NAME=value").
pid_t Spawn(const fs::path& program, const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    return pid;
}

// Waits up to `seconds` for the process to end; its exit status, or -1 while running.
int WaitExit(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

using korvane::testing::ReadText;

std::vector<std::string> CommonEnvironment(const korvane::testing::TempDir& root) {
    return {"KORVANE_ROOT=" + root.Path().string(), "KORVANE_MESSAGE_LOG=" + (root.Path() / "messages.log").string(),
            "KORVANE_SPLASH_MS=0", "KORVANE_AUDIO=null", "KORVANE_REAL_DRIVES=0", "QT_QPA_PLATFORM=offscreen"};
}

}  // namespace

TEST(KorvaneProgram, AnotherPlatformFamilyShowsTheMessageAndExitsWithZero) {
    korvane::testing::TempDir root;
    auto env = CommonEnvironment(root);
    env.push_back("KORVANE_PLATFORM_ID=2");
    const pid_t pid = Spawn(fs::path(KORVANE_BIN_DIR) / "korvane", env);
    ASSERT_GT(pid, 0);
    const int code = WaitExit(pid, 60);
    if (code == -1) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadText(root.Path() / "messages.log"),
              "Korvane|0\n" + std::string(korvane::resources::LoadAppString(61568)) + "\n--\n");
    // The settings were loaded and completed before the check.
    EXPECT_TRUE(fs::exists(root.Path() / "registry.db"));
}

TEST(KorvaneProgram, StartsAndStaysUpWithoutAnAspiManager) {
    korvane::testing::TempDir root;
    // A copy of the program in a folder without WNASPI32.DLL, on a machine without it.
    const fs::path bin = root.Path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(fs::path(KORVANE_BIN_DIR) / "korvane", bin / "korvane");
    const pid_t pid = Spawn(bin / "korvane", CommonEnvironment(root));
    ASSERT_GT(pid, 0);
    const int early = WaitExit(pid, 4);
    if (early == -1) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    EXPECT_EQ(early, -1) << "the program ended by itself with " << early;
    EXPECT_FALSE(fs::exists(root.Path() / "messages.log")) << ReadText(root.Path() / "messages.log");
    // It built its frame, whose settings were completed with the first-start values.
    auto store = korvane::platform::RegistryStore::Open(root.Path() / "registry.db");
    auto key = store->OpenKey(korvane::platform::RootKey::LocalMachine, "Software\\Quorvix\\Korvane");
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->QueryDword("last_Threshold"), std::optional<std::uint32_t>(360));
    EXPECT_EQ(key->QueryDword("last_RlsTime"), std::optional<std::uint32_t>(750));
}

TEST(KorvaneProgram, CarriesItsVersionRecord) {
    const auto fixed = korvane::platform::ReadFixedVersion(fs::path(KORVANE_BIN_DIR) / "korvane");
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
}

TEST(KorvaneProgram, ADamagedRegistrySaysSoAndEndsWithoutTouchingIt) {
    korvane::testing::TempDir root;
    { std::ofstream(root.Path() / "registry.db") << "not a database"; }
    const pid_t pid = Spawn(fs::path(KORVANE_BIN_DIR) / "korvane", CommonEnvironment(root));
    ASSERT_GT(pid, 0);
    const int code = WaitExit(pid, 60);
    if (code == -1) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    EXPECT_EQ(code, 1);
    const std::string log = ReadText(root.Path() / "messages.log");
    EXPECT_NE(log.find("registry.db"), std::string::npos) << log;
    EXPECT_EQ(ReadText(root.Path() / "registry.db"), "not a database");
}
