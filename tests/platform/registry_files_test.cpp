// The registry on disk: persistence, several processes at once, damaged files.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace korvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

void WriteAll(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// Opening `file` must fail with a RegistryError naming it and leave its bytes alone.
void ExpectRefusedAndUnchanged(const fs::path& file) {
    const std::string before = ReadText(file);
    try {
        RegistryStore::Open(file);
        ADD_FAILURE() << "opened " << file;
    } catch (const RegistryError& error) {
        EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
    }
    EXPECT_EQ(ReadText(file), before) << "the file was modified";
}

class RegistryFile : public ::testing::Test {
protected:
    testing::TempDir tmp;
    fs::path file = tmp.Path() / "registry.db";

    void WriteSample() {
        auto store = RegistryStore::Open(file);
        RegKey key = store->CreateKey(RootKey::LocalMachine, "Software\\Quorvix\\Korvane");
        key.SetString("Driver", "Primary Sound Driver");
        key.SetDword("Normalize", 1);
        for (int i = 0; i < 200; ++i)  // enough rows to span several pages
            store->CreateKey(RootKey::LocalMachine, "Filler\\Key" + std::to_string(i))
                .SetString("text", std::string(100, static_cast<char>('a' + i % 26)));
    }
};

TEST_F(RegistryFile, ConcurrentProcessesLoseNoWrite) {
    constexpr int kProcesses = 6, kValues = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int code = 0;
            try {
                // Every process also creates the same new key; exactly one may see it as new.
                auto store = RegistryStore::Open(file);
                Disposition disposition{};
                store->CreateKey(RootKey::LocalMachine, "Software\\Race\\Common", &disposition);
                code = disposition == Disposition::CreatedNewKey ? 10 : 0;
                for (int i = 0; i < kValues; ++i) {
                    RegKey key = store->CreateKey(RootKey::LocalMachine, "Software\\Race");
                    key.SetDword(std::to_string(p * 1000 + i), static_cast<std::uint32_t>(i));
                    store->CreateKey(RootKey::LocalMachine, "Software\\Race\\P" + std::to_string(p));
                }
            } catch (const std::exception& error) {
                ::fprintf(stderr, "writer %d: %s\n", p, error.what());
                code = 1;
            }
            ::_exit(code);
        }
        children.push_back(pid);
    }
    int createdNew = 0;
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 1) << "a writer failed";
        createdNew += WEXITSTATUS(status) == 10;
    }
    EXPECT_EQ(createdNew, 1);

    auto store = RegistryStore::Open(file);
    auto key = store->OpenKey(RootKey::LocalMachine, "Software\\Race");
    ASSERT_TRUE(key);
    EXPECT_EQ(store->EnumValueNames(RootKey::LocalMachine, "Software\\Race").size(), std::size_t{kProcesses * kValues});
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(key->QueryDword(std::to_string(p * 1000 + i)), static_cast<std::uint32_t>(i));
    EXPECT_EQ(key->Subkeys().size(), std::size_t{kProcesses + 1});
}

TEST_F(RegistryFile, DamagedOrForeignFilesAreReportedNotReplaced) {
    const std::function<void()> damages[] = {
        [&] {  // page 2's header overwritten
            WriteSample();
            std::string bytes = ReadText(file);
            ASSERT_GT(bytes.size(), 3 * 4096u);
            for (std::size_t i = 4096; i < 4096 + 64; ++i) bytes[i] = static_cast<char>(0xA5);
            WriteAll(file, bytes);
        },
        [&] {  // truncated
            WriteSample();
            WriteAll(file, ReadText(file).substr(0, fs::file_size(file) / 2));
        },
        [&] { WriteAll(file, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n" + std::string(5000, 'x')); },
        [&] {  // another program's database
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE photos(id INTEGER); INSERT INTO photos VALUES(1);", nullptr,
                                   nullptr, nullptr),
                      SQLITE_OK);
            sqlite3_close(db);
        },
    };
    for (const auto& damage : damages) {
        fs::remove(file);
        damage();
        ExpectRefusedAndUnchanged(file);
    }
}

TEST_F(RegistryFile, AFileInAMissingFolderIsNamedAndTheFolderNotMade) {
    const fs::path missingDir = tmp.Path() / "no such folder" / "registry.db";
    ExpectRefusedAndUnchanged(missingDir);
    EXPECT_FALSE(fs::exists(missingDir.parent_path()));
}

}  // namespace
}  // namespace korvane::platform
