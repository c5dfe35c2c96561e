#include "model/QuelmoImportedTrack.h"
#include "model/QuelmoVoiceProfile.h"

#include <gtest/gtest.h>

using namespace quelmo;

TEST(QuelmoImportedTrack, NameIsTheFileNameWithoutItsLastExtension) {
    const QuelmoImportedTrack song(QUrl::fromLocalFile(QStringLiteral("/music/My Song.mp3")));
    EXPECT_EQ(song.name, QStringLiteral("My Song"));
    EXPECT_EQ(QuelmoImportedTrack(QUrl::fromLocalFile(QStringLiteral("/m/live.2024.flac"))).name,
              QStringLiteral("live.2024"));
    EXPECT_EQ(QuelmoImportedTrack(QUrl::fromLocalFile(QStringLiteral("/m/noext"))).name, QStringLiteral("noext"));
    EXPECT_FALSE(song.waveformData.has_value());
    EXPECT_EQ(song.duration, 0.0);

    const QuelmoImportedTrack again(song.url);
    EXPECT_NE(song.id, again.id);
    EXPECT_FALSE(song == again);
}

TEST(QuelmoVoiceProfile, RawValuesRoundTripAndUnknownTextsDecodeToNothing) {
    ASSERT_EQ(voice::allVoiceProfiles().size(), 4u);
    for (const auto& p : voice::allVoiceProfiles()) {
        EXPECT_EQ(voice::voiceProfileFromRaw(voice::rawValue(p.profile)), p.profile);
    }
    EXPECT_EQ(voice::rawValue(QuelmoVoiceProfile::commandPost), QStringLiteral("commandPost"));
    EXPECT_EQ(QString::fromUtf8(voice::traits(QuelmoVoiceProfile::commandPost).title), QStringLiteral("Command / PA"));
    EXPECT_EQ(voice::traits(QuelmoVoiceProfile::drill).sayWordsPerMinute, 208);
    EXPECT_FALSE(voice::voiceProfileFromRaw(u"CommandPost").has_value());
    EXPECT_FALSE(voice::voiceProfileFromRaw(u"").has_value());
}
