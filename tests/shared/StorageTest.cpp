#include "shared/Log.h"
#include "shared/storage/AppPreferences.h"
#include "shared/storage/RecordStore.h"
#include "shared/storage/StorageManager.h"
#include "shared/storage/UsageStats.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quelmo::shared;

namespace {

struct StorageTest : ::testing::Test {
    QTemporaryDir dir;
    QString settingsFile() const { return dir.filePath("settings.conf"); }
    QString sharedFile() const { return dir.filePath("shared.conf"); }
};

const QDateTime monday = QDateTime::fromString("2026-03-02T09:15:00.250Z", Qt::ISODateWithMs);
const QDateTime tuesday = QDateTime::fromString("2026-03-03T18:40:10.500Z", Qt::ISODateWithMs);

} // namespace

TEST_F(StorageTest, TypedValuesTravelAsJsonAndPlainValuesUnchanged) {
    {
        StorageManager storage(settingsFile());
        EXPECT_TRUE(storage.set(42, "answer"));
        EXPECT_TRUE(storage.set(QStringLiteral("ünïcode"), "name"));
        EXPECT_TRUE(storage.set(2.5, "ratio"));
        // Not encodable: nothing is stored, the earlier value stays.
        EXPECT_FALSE(storage.set(std::nan(""), "ratio"));
        EXPECT_FALSE(storage.set(std::numeric_limits<double>::infinity(), "never"));
        storage.setObject(QStringList{"a", "b"}, "plain");
    }
    StorageManager storage(settingsFile());
    EXPECT_EQ(storage.get<int>("answer"), 42);
    EXPECT_EQ(storage.get<QString>("answer"), std::nullopt) << "a number is not a string";
    EXPECT_EQ(storage.get<QString>("name"), "ünïcode");
    EXPECT_EQ(storage.get<double>("ratio"), 2.5);
    EXPECT_FALSE(storage.object("never").isValid());
    EXPECT_EQ(storage.object("plain").toStringList(), (QStringList{"a", "b"}));
    EXPECT_EQ(storage.get<int>("missing"), std::nullopt);

    storage.remove("answer");
    EXPECT_EQ(storage.get<int>("answer"), std::nullopt);
    EXPECT_FALSE(storage.object("answer").isValid());
}

TEST_F(StorageTest, PreferencesLoadAsDefaultsUnlessAWholeRecordIsStored) {
    StorageManager storage(settingsFile());
    const AppPreferences defaults = AppPreferences::load(storage);
    EXPECT_TRUE(defaults.showMenuBarIcon);
    EXPECT_EQ(defaults.theme, Theme::system);
    EXPECT_EQ(defaults, AppPreferences::defaultSettings());

    AppPreferences changed;
    changed.launchAtLogin = true;
    changed.theme = Theme::dark;
    changed.keyboardShortcuts = {{"toggle", "Ctrl+Shift+K"}};
    changed.reduceMotion = true;
    ASSERT_TRUE(changed.save(storage));
    storage.sync();
    EXPECT_EQ(AppPreferences::load(StorageManager(settingsFile())), changed);

    // The same key written by something else: not JSON, a theme the record does not know, a field
    // of the wrong type, a missing field. Each reads as the defaults.
    const QByteArray good = *json::encode(changed);
    for (const QByteArray& bad :
         {QByteArray("{\"launchAtLogin\": tru"), QByteArray(good).replace("dark", "purple"),
          QByteArray(good).replace("\"reduceMotion\":true", "\"reduceMotion\":1"),
          QByteArray(good).replace("\"launchAtLogin\":true,", "")}) {
        storage.setObject(bad, AppPreferences::settingsKey);
        EXPECT_EQ(AppPreferences::load(storage), AppPreferences::defaultSettings()) << bad.constData();
    }
}

TEST_F(StorageTest, ACorruptSettingsFileReadsAsTheDefaults) {
    QFile file(settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nappPreferences=@ByteArray({\"theme\":\"dark\",\xff)\nother=1, 2\n");
    file.close();
    StorageManager storage(settingsFile());
    EXPECT_EQ(AppPreferences::load(storage), AppPreferences::defaultSettings());
    EXPECT_EQ(storage.get<int>("other"), std::nullopt);
}

TEST_F(StorageTest, UsageStatsCountLaunchesAndFeaturesAndSurviveStorage) {
    UsageStats stats;
    stats.recordLaunch(monday);
    stats.recordLaunch(tuesday);
    stats.recordFeature("export");
    stats.recordFeature("export");
    stats.recordFeature("share");
    stats.totalUsageTime = 90.5;
    EXPECT_EQ(stats.launchCount, 2);
    EXPECT_EQ(stats.firstLaunchDate, monday);
    EXPECT_EQ(stats.lastLaunchDate, tuesday);
    EXPECT_EQ(stats.featureUsage, (QMap<QString, int>{{"export", 2}, {"share", 1}}));

    StorageManager storage(settingsFile());
    ASSERT_TRUE(storage.set(stats, "usage"));
    EXPECT_EQ(storage.get<UsageStats>("usage"), stats);
    // A fresh record has no dates: they are left out and read back as none.
    ASSERT_TRUE(storage.set(UsageStats{}, "fresh"));
    EXPECT_EQ(storage.get<UsageStats>("fresh"), UsageStats{});
}

TEST_F(StorageTest, SharedDefaultsUseTheGroupFileAndFailWhereItCannotBeWritten) {
    {
        StorageManager one(settingsFile(), sharedFile());
        auto shared = one.sharedDefaults();
        ASSERT_NE(shared, nullptr);
        shared->setValue("handoff", "from one");
    }
    StorageManager other(dir.filePath("other.conf"), sharedFile());
    auto shared = other.sharedDefaults();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->value("handoff").toString(), "from one");
    EXPECT_FALSE(other.object("handoff").isValid()) << "the application's own settings are separate";

    // A settings file inside a regular file cannot be created, not even by root.
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    EXPECT_EQ(StorageManager(settingsFile(), dir.filePath("plain/shared.conf")).sharedDefaults(), nullptr);
}

TEST_F(StorageTest, RecordsSurviveReopeningAndDeleteOnce) {
    const QString path = dir.filePath("records.sqlite");
    ClipboardItem copied("hello", "org.example.Editor", monday);
    ClipboardItem pinned("pinned text", std::nullopt, tuesday);
    pinned.isPinned = true;
    DailyActivity day(monday);
    day.mouseDistance = 1234.5;
    day.keystrokes = 987;
    day.activeTime = 3600.25;
    {
        auto store = RecordStore::open(path);
        ASSERT_NE(store, nullptr);
        ASSERT_TRUE(store->insert(copied));
        ASSERT_TRUE(store->insert(pinned));
        ASSERT_TRUE(store->insert(day));
        EXPECT_NE(copied.id, pinned.id);
        ASSERT_TRUE(store->save(TrackAnalysisRecord{"/music/a.mp3", 1000, 5, "first"}));
        ASSERT_TRUE(store->save(TrackAnalysisRecord{"/music/a.mp3", 2000, 6, "second"})) << "replaces the first";
    }
    {
        auto store = RecordStore::open(path);
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(store->clipboardItems(), (std::vector<ClipboardItem>{pinned, copied})) << "newest first";
        EXPECT_EQ(store->dailyActivities(), std::vector<DailyActivity>{day});
        // An analysis is valid only for the file's time and size it was saved with.
        EXPECT_EQ(store->trackAnalysis("/music/a.mp3", 2000, 6), (TrackAnalysisRecord{"/music/a.mp3", 2000, 6, "second"}));
        EXPECT_FALSE(store->trackAnalysis("/music/a.mp3", 1000, 5));
        EXPECT_FALSE(store->trackAnalysis("/music/a.mp3", 2000, 7));
        EXPECT_TRUE(store->remove(copied));
        EXPECT_FALSE(store->remove(copied));
        EXPECT_TRUE(store->remove(day));
    }
    auto store = RecordStore::open(path);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->clipboardItems(), std::vector<ClipboardItem>{pinned});
    EXPECT_TRUE(store->dailyActivities().empty());

    ScopedLogCapture log;
    EXPECT_EQ(RecordStore::open(dir.filePath("missing/folder/records.sqlite")), nullptr);
    EXPECT_TRUE(log.contains("RecordStore: Cannot open"));
}
