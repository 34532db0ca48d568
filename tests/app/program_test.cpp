// The korvane program as a process: the platform check ends it with exit code 0 after
// its message, a damaged registry ends it with its reason, and without an ASPI manager
// it still shows its main window. Message boxes go to the KORVANE_MESSAGE_LOG file, so
// nothing waits for a click.
#include "platform/registry/registry.h"
#include "platform/version/version.h"
#include "resources/strings.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using korvane::testing::ReadText;
using korvane::testing::RunProgram;

namespace {

class KorvaneProgram : public ::testing::Test {
protected:
    korvane::testing::TempDir root_;
    std::vector<std::string> env_ = {"KORVANE_ROOT=" + root_.Path().string(),
                                     "KORVANE_MESSAGE_LOG=" + (root_.Path() / "messages.log").string(),
                                     "KORVANE_SPLASH_MS=0", "KORVANE_AUDIO=null", "KORVANE_REAL_DRIVES=0",
                                     "QT_QPA_PLATFORM=offscreen"};

    std::string Messages() const { return ReadText(root_.Path() / "messages.log"); }
};

}  // namespace

TEST_F(KorvaneProgram, AnotherPlatformFamilyShowsTheMessageAndExitsWithZero) {
    env_.push_back("KORVANE_PLATFORM_ID=2");
    EXPECT_EQ(RunProgram("korvane", {}, root_.Path(), env_).exitCode, 0);
    EXPECT_EQ(Messages(), "Korvane|0\n" + std::string(korvane::resources::LoadAppString(61568)) + "\n--\n");
    // The settings were loaded and completed with the first-start values before the check.
    auto store = korvane::platform::RegistryStore::Open(root_.Path() / "registry.db");
    auto key = store->OpenKey(korvane::platform::RootKey::LocalMachine, "Software\\Quorvix\\Korvane");
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->QueryDword("last_Threshold"), std::optional<std::uint32_t>(360));
    EXPECT_EQ(key->QueryDword("last_RlsTime"), std::optional<std::uint32_t>(750));
}

TEST_F(KorvaneProgram, ADamagedRegistrySaysSoAndEndsWithoutTouchingIt) {
    { std::ofstream(root_.Path() / "registry.db") << "not a database"; }
    EXPECT_EQ(RunProgram("korvane", {}, root_.Path(), env_).exitCode, 1);
    EXPECT_NE(Messages().find("registry.db"), std::string::npos) << Messages();
    EXPECT_EQ(ReadText(root_.Path() / "registry.db"), "not a database");
}

TEST_F(KorvaneProgram, WithoutAnAspiManagerItShowsItsMainWindowAndStaysUp) {
    const fs::path xvfb = "/usr/bin/xvfb-run";
    if (!fs::exists(xvfb)) GTEST_SKIP() << "no xvfb-run to show a window on";
    // A copy of the program in a folder without WNASPI32.DLL, on a machine without it,
    // started on its own X server; the window is looked up as the user's desktop sees it.
    const fs::path bin = root_.Path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(fs::path(KORVANE_BIN_DIR) / "korvane", bin / "korvane");
    env_.back() = "QT_QPA_PLATFORM=xcb";
    const std::string script =
        "\"$0\" & pid=$!\n"
        "shown() { for id in $(xwininfo -root -tree | awk '/\"Korvane\"/ {print $1}'); do\n"
        "  xwininfo -id $id | grep -q IsViewable && return 0; done; return 1; }\n"
        "for i in $(seq 300); do shown && { echo 'main window shown'; break; }; sleep 0.1; done\n"
        "sleep 1; kill -0 $pid && echo running\n"
        "kill $pid\n";
    // A server number of this process's own: "-a" races with other tests starting Xvfb.
    const std::string server = std::to_string(200 + ::getpid() % 500);
    const auto run = RunProgram(xvfb.string(), {"-n", server, "/bin/sh", "-c", script, (bin / "korvane").string()},
                                root_.Path(), env_);
    EXPECT_EQ(run.out, "main window shown\nrunning\n") << run.err;
    EXPECT_EQ(Messages(), "");
}

TEST(KorvaneProgramFile, CarriesItsVersionRecord) {
    const auto fixed = korvane::platform::ReadFixedVersion(fs::path(KORVANE_BIN_DIR) / "korvane");
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(std::tuple(fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS, fixed->dwProductVersionLS),
              std::tuple(0x00010000u, 0x00000001u, 0x00010000u, 0x00000001u));  // 1.0.0.1
}
