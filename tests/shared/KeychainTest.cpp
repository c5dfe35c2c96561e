// Runs against a real Secret Service (with_desktop_services.sh starts GNOME Keyring on a private
// session bus).
#include "shared/Log.h"
#include "shared/storage/Keychain.h"
#include "shared/storage/StorageManager.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <libsecret/secret.h>

using namespace quelmo::shared;

namespace {

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
    EXPECT_EQ(Keychain::itemCount("twice", StorageManager::defaultKeychainService), 1);

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
    EXPECT_EQ(Keychain::itemCount("kept", StorageManager::defaultKeychainService), 1);
}
