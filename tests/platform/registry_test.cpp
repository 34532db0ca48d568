// The registry's semantics, on a private in-memory store.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <thread>

namespace korvane::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Registry : public ::testing::Test {
protected:
    std::shared_ptr<RegistryStore> store = RegistryStore::Open(":memory:");
};

// Each root, and each in-memory store, is a tree of its own; key and value names compare
// without case and keep their first spelling.
TEST_F(Registry, RootsAndStoresAreSeparateTreesAndNamesKeepTheirFirstSpelling) {
    store->CreateKey(RootKey::CurrentUser, "Software\\A").SetDword("x", 1);
    EXPECT_FALSE(RegistryStore::Open(":memory:")->KeyExists(RootKey::CurrentUser, "Software\\A"));
    EXPECT_FALSE(store->KeyExists(RootKey::LocalMachine, "Software\\A"));
    EXPECT_FALSE(store->KeyExists(RootKey::Users, "Software"));
    ASSERT_TRUE(store->OpenKey(RootKey::CurrentUser, "software\\a"));
    EXPECT_EQ(store->OpenKey(RootKey::CurrentUser, "software\\a")->QueryDword("X"), 1u);

    RegKey key = store->CreateKey(RootKey::LocalMachine, "Software\\MixedCase");
    key.SetString("InstallDir", "C:\\Program Files\\Korvane");
    key.SetString("INSTALLDIR", "C:\\Other");
    EXPECT_THAT(store->EnumValueNames(RootKey::LocalMachine, "Software\\MixedCase"), ElementsAre("InstallDir"));
    EXPECT_EQ(key.QueryString("installdir"), "C:\\Other");
    store->CreateKey(RootKey::LocalMachine, "SOFTWARE\\mixedcase\\Sub");
    EXPECT_THAT(store->EnumSubkeys(RootKey::LocalMachine, ""), ElementsAre("Software"));
    EXPECT_THAT(store->EnumSubkeys(RootKey::LocalMachine, "software"), ElementsAre("MixedCase"));
    // Non-ASCII bytes are compared exactly.
    key.SetDword("\xC3\xA4", 1);
    key.SetDword("\xC3\x84", 2);
    EXPECT_EQ(key.QueryDword("\xC3\xA4"), 1u);
}

TEST_F(Registry, ValuesOfEachTypeRoundTripAndKeepTheirOrderWhenOverwritten) {
    RegKey key = store->CreateKey(RootKey::LocalMachine, "Software\\Types");
    const std::uint8_t bytes[] = {0, 1, 0xFF, 0x80};
    key.SetString("", "default value");
    key.SetString("empty", "");
    key.SetDword("dword", 0xDEADBEEF);
    key.SetBinary("binary", bytes);
    key.SetBinary("nothing", {});
    key.SetString("embedded", std::string_view("a\0b", 3));

    EXPECT_EQ(key.QueryString(""), "default value");
    EXPECT_EQ(key.QueryString("empty"), "");
    EXPECT_EQ(key.QueryDword("dword"), 0xDEADBEEFu);
    EXPECT_EQ(key.Query("dword")->data, (std::vector<std::uint8_t>{0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_EQ(key.Query("binary")->data, (std::vector<std::uint8_t>{0, 1, 0xFF, 0x80}));
    EXPECT_THAT(key.Query("nothing")->data, IsEmpty());
    EXPECT_EQ(key.Query("nothing")->type, ValueType::Binary);
    EXPECT_EQ(key.QueryString("embedded"), std::string("a\0b", 3));

    // Typed queries refuse the other types.
    EXPECT_EQ(key.QueryString("dword"), std::nullopt);
    EXPECT_EQ(key.QueryDword("binary"), std::nullopt);
    EXPECT_EQ(key.QueryDword("absent"), std::nullopt);

    // Overwriting changes the type but keeps the value's place; deleting gives it up.
    RegKey order = store->CreateKey(RootKey::LocalMachine, "Software\\Order");
    order.SetDword("first", 1);
    order.SetDword("second", 2);
    order.SetDword("third", 3);
    order.SetString("FIRST", "now text");
    EXPECT_THAT(store->EnumValueNames(RootKey::LocalMachine, "Software\\Order"), ElementsAre("first", "second", "third"));
    EXPECT_EQ(order.QueryString("first"), "now text");
    EXPECT_TRUE(order.DeleteValue("Second"));
    EXPECT_FALSE(order.DeleteValue("second"));
    order.SetDword("second", 22);
    EXPECT_THAT(store->EnumValueNames(RootKey::LocalMachine, "Software\\Order"), ElementsAre("first", "third", "second"));

    // Subkeys too enumerate in creation order, direct children only.
    for (const char* name : {"Zeta", "alpha", "Mid"}) store->CreateKey(RootKey::LocalMachine, std::string("Order\\") + name);
    store->CreateKey(RootKey::LocalMachine, "Order\\alpha\\Deep");
    EXPECT_THAT(store->OpenKey(RootKey::LocalMachine, "Order")->Subkeys(), ElementsAre("Zeta", "alpha", "Mid"));
    EXPECT_THAT(store->EnumSubkeys(RootKey::LocalMachine, "Missing"), IsEmpty());
    EXPECT_THAT(store->EnumValueNames(RootKey::LocalMachine, "Missing"), IsEmpty());
}

// Also a subtree 1,500 keys deep, and through a handle still held on a deleted key.
TEST_F(Registry, DeleteKeyRemovesTheWholeSubtreeOnly) {
    store->CreateKey(RootKey::LocalMachine, "App\\Keep").SetDword("v", 1);
    std::string deep = "App\\Gone\\Child";
    for (int i = 0; i < 1500; ++i) deep += "\\k" + std::to_string(i);
    store->CreateKey(RootKey::LocalMachine, deep).SetDword("v", 2);
    store->CreateKey(RootKey::LocalMachine, "App\\Gone").SetString("v", "x");
    store->CreateKey(RootKey::CurrentUser, "App\\Gone").SetDword("v", 3);
    RegKey held = store->CreateKey(RootKey::LocalMachine, "App\\Gone\\Child");

    EXPECT_TRUE(store->DeleteKey(RootKey::LocalMachine, "app\\GONE"));
    EXPECT_FALSE(store->KeyExists(RootKey::LocalMachine, "App\\Gone"));
    EXPECT_FALSE(store->KeyExists(RootKey::LocalMachine, deep));
    EXPECT_THROW(held.SetDword("v", 1), RegistryError);
    EXPECT_FALSE(store->KeyExists(RootKey::LocalMachine, "App\\Gone\\Child")) << "a write resurrected a deleted key";
    EXPECT_EQ(held.QueryDword("v"), std::nullopt);
    EXPECT_FALSE(held.DeleteValue("v"));
    EXPECT_FALSE(store->DeleteKey(RootKey::LocalMachine, "App\\Gone"));
    EXPECT_EQ(store->OpenKey(RootKey::LocalMachine, "App\\Keep")->QueryDword("v"), 1u);
    EXPECT_EQ(store->OpenKey(RootKey::CurrentUser, "App\\Gone")->QueryDword("v"), 3u);

    // A recreated key starts empty: no values of the old one come back.
    Disposition disposition{};
    RegKey again = store->CreateKey(RootKey::LocalMachine, "App\\Gone\\Child", &disposition);
    EXPECT_EQ(disposition, Disposition::CreatedNewKey);
    EXPECT_THAT(store->EnumValueNames(RootKey::LocalMachine, "App\\Gone\\Child"), IsEmpty());
    EXPECT_THAT(again.Subkeys(), IsEmpty());
}

TEST_F(Registry, RejectsMalformedPathsRootDeletionAndUnknownTypes) {
    for (const char* bad : {"\\Software", "Software\\\\Quorvix", "a\\\\"}) {
        EXPECT_THROW(store->CreateKey(RootKey::LocalMachine, bad), RegistryError) << bad;
        EXPECT_THROW(store->KeyExists(RootKey::LocalMachine, bad), RegistryError) << bad;
    }
    EXPECT_THROW(store->CreateKey(RootKey::LocalMachine, std::string_view("a\0b", 3)), RegistryError);
    EXPECT_THROW(store->CreateKey(RootKey::LocalMachine, "k").SetDword(std::string_view("a\0b", 3), 1), RegistryError);
    EXPECT_THROW(store->DeleteKey(RootKey::LocalMachine, ""), RegistryError);
    Disposition disposition{};
    store->CreateKey(RootKey::LocalMachine, "K\\", &disposition);  // a trailing backslash names the same key
    EXPECT_EQ(disposition, Disposition::OpenedExistingKey);
    EXPECT_THAT(store->EnumSubkeys(RootKey::LocalMachine, ""), ElementsAre("k"));
    // Unknown value types are refused too.
    EXPECT_THROW(store->SetValue(RootKey::LocalMachine, "k", "v", RegValue{static_cast<ValueType>(7), {1}}),
                 RegistryError);
    EXPECT_THAT(store->EnumValueNames(RootKey::LocalMachine, "k"), IsEmpty());
}

TEST_F(Registry, ThreadsMayShareAStore) {
    constexpr int kThreads = 4, kValues = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            RegKey key = store->CreateKey(RootKey::LocalMachine, "Shared");
            for (int i = 0; i < kValues; ++i) key.SetDword(std::to_string(t * 1000 + i), static_cast<std::uint32_t>(i));
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(store->EnumValueNames(RootKey::LocalMachine, "Shared").size(), std::size_t{kThreads * kValues});
}

}  // namespace
}  // namespace korvane::platform
