// Runs against a real Secret Service (with_desktop_services.sh starts GNOME Keyring on a private
// session bus).
#include "shared/Log.h"
#include "shared/storage/StorageManager.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <libsecret/secret.h>

using namespace quelmo::shared;

namespace {

// How many items the service holds for (account, service), whoever stored them.
int itemCount(const QString& account, const QString& service) {
    static const SecretSchema schema = {"org.quelmo.shared.GenericPassword",
                                        SECRET_SCHEMA_NONE,
                                        {{"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, {}}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    GError* error = nullptr;
    GList* items = secret_password_search_sync(&schema, SECRET_SEARCH_ALL, nullptr, &error, "account",
                                               account.toUtf8().constData(), "service",
                                               service.toUtf8().constData(), nullptr);
    EXPECT_EQ(error, nullptr) << (error ? error->message : "");
    const int count = static_cast<int>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

struct KeychainTest : ::testing::Test {
    QTemporaryDir dir;
    StorageManager storage{dir.filePath("settings.conf")};
};

} // namespace

TEST_F(KeychainTest, SavingTwiceLeavesOneItemWithTheSecondValue) {
    EXPECT_EQ(storage.readFromKeychain("twice"), std::nullopt);
    ASSERT_TRUE(storage.saveToKeychain("first", "twice"));
    ASSERT_TRUE(storage.saveToKeychain("sëcond", "twice"));
    EXPECT_EQ(storage.readFromKeychain("twice"), "sëcond");
    EXPECT_EQ(itemCount("twice", StorageManager::defaultKeychainService), 1);

    // Another service keeps its own item under the same account.
    ASSERT_TRUE(storage.saveToKeychain("other", "twice", "org.example.Other"));
    EXPECT_EQ(storage.readFromKeychain("twice"), "sëcond");
    EXPECT_EQ(storage.readFromKeychain("twice", "org.example.Other"), "other");

    EXPECT_TRUE(storage.deleteFromKeychain("twice"));
    EXPECT_EQ(storage.readFromKeychain("twice"), std::nullopt);
    EXPECT_FALSE(storage.deleteFromKeychain("twice"));
    EXPECT_EQ(storage.readFromKeychain("twice", "org.example.Other"), "other");
}

TEST_F(KeychainTest, AFailedSaveKeepsTheOldSecret) {
    ASSERT_TRUE(storage.saveToKeychain("old", "kept"));
    // The service refuses items for a collection it does not have.
    StorageManager elsewhere(dir.filePath("settings.conf"), {},
                             Keychain("/org/freedesktop/secrets/collection/quelmo_absent"));
    ScopedLogCapture log;
    EXPECT_FALSE(elsewhere.saveToKeychain("new", "kept"));
    EXPECT_TRUE(log.contains("Keychain: saving a secret failed"));
    EXPECT_EQ(storage.readFromKeychain("kept"), "old");
    EXPECT_EQ(itemCount("kept", StorageManager::defaultKeychainService), 1);
}
