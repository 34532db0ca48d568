#include "platform/modules/modules.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace korvane::platform {
namespace {

namespace fs = std::filesystem;

using AddFn = int(int, int);
using CallsFn = int();

const fs::path kModule = KORVANE_TEST_MODULE;

TEST(Module, LoadsCallsAndMovingKeepsItLoaded) {
    std::string error;
    auto loaded = Module::Load(kModule, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->Path(), kModule);
    EXPECT_EQ(loaded->Function<AddFn>("korvane_test_add")(2, 40), 42);
    EXPECT_EQ(loaded->Symbol("DllRegisterServer"), nullptr);
    Module moved(std::move(*loaded));
    EXPECT_EQ(loaded->Symbol("korvane_test_add"), nullptr);  // the moved-from handle is empty
    auto* add = moved.Function<AddFn>("korvane_test_add");
    ASSERT_NE(add, nullptr);
    auto other = Module::Load(kModule);
    ASSERT_TRUE(other);
    *other = std::move(moved);
    EXPECT_EQ(add(1, 1), 2) << "the module was unloaded while a handle remained";
    // The same loaded instance: the call just made through `add` shows in its state.
    EXPECT_GE(other->Function<CallsFn>("korvane_test_calls")(), 1);
}

TEST(Module, FailuresReturnNulloptWithTheReason) {
    std::string error;
    EXPECT_FALSE(Module::Load("/no/such/module.so", &error));
    EXPECT_NE(error.find("/no/such/module.so"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(Module::Load(KORVANE_TEST_MODULE_UNRESOLVED, &error));
    EXPECT_NE(error.find("korvane_symbol_that_does_not_exist"), std::string::npos) << error;

    EXPECT_FALSE(Module::Load("", &error));
    // A bare name is a file in the current folder, never a system library.
    EXPECT_FALSE(Module::Load("libc.so.6", &error));

    testing::TempDir tmp;
    std::ofstream(tmp.Path() / "text.dll") << "not a module";
    EXPECT_FALSE(Module::Load(tmp.Path() / "text.dll", &error));
    EXPECT_FALSE(Module::Load(tmp.Path() / "text.dll"));  // no error sink is fine
}

// Folders are searched in order, missing ones skipped, names matched ignoring case. A
// damaged file of the name in an earlier folder, or in the exact spelling, is the one
// loaded (and fails), never a later or alphabetically first match. Names that are paths
// are refused; a name found nowhere is reported with the folders searched.
TEST(LoadByName, TheFirstFolderAndTheExactSpellingDecideAndPathsAreRefused) {
    testing::TempDir tmp;
    const fs::path first = tmp.Path() / "first", second = tmp.Path() / "second";
    fs::create_directories(first);
    fs::create_directories(second);
    std::ofstream(first / "Plugin.dll") << "damaged";
    fs::copy_file(kModule, second / "PLUGIN.DLL");
    std::string error;
    EXPECT_FALSE(Module::LoadByName("plugin.DLL", {first, second}, &error));
    EXPECT_NE(error.find((first / "Plugin.dll").string()), std::string::npos) << error;
    const auto found = Module::LoadByName("plugin.DLL", {tmp.Path() / "missing", second, first}, &error);
    ASSERT_TRUE(found) << error;
    EXPECT_EQ(found->Path(), second / "PLUGIN.DLL");
    EXPECT_EQ(found->Function<AddFn>("korvane_test_add")(3, 4), 7);

    std::ofstream(second / "mod.dll") << "damaged";
    fs::copy_file(kModule, second / "MOD.DLL");
    EXPECT_TRUE(Module::LoadByName("MOD.DLL", {second}));
    EXPECT_FALSE(Module::LoadByName("mod.dll", {second}));
    EXPECT_TRUE(Module::LoadByName("Mod.Dll", {second})) << "not the alphabetically first match";

    // "second" holds modules: a path from "first" could reach them.
    for (const char* bad : {"../second/MOD.DLL", "..\\second\\MOD.DLL", "second/MOD.DLL", "", ".."}) {
        EXPECT_FALSE(Module::LoadByName(bad, {first}, &error)) << bad;
        EXPECT_NE(error.find("invalid module name"), std::string::npos) << error;
    }
    EXPECT_FALSE(Module::LoadByName("absent.dll", {first}, &error));
    EXPECT_NE(error.find(first.string()), std::string::npos) << error;
    EXPECT_FALSE(Module::LoadByName("second", {tmp.Path()}, &error)) << "a folder is not a module";
}

TEST(ExecutableDir, IsTheFolderOfTheRunningProgram) {
    EXPECT_EQ(fs::weakly_canonical(ExecutableDir()), fs::weakly_canonical(KORVANE_BIN_DIR));
}

}  // namespace
}  // namespace korvane::platform
