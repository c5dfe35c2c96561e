#include "model/QuelmoImportedTrack.h"

#include <gtest/gtest.h>

using namespace quelmo;

TEST(QuelmoImportedTrack, NameIsTheFileNameWithoutItsLastExtension) {
    const QuelmoImportedTrack song(QUrl::fromLocalFile(QStringLiteral("/music/My Song.mp3")));
    EXPECT_EQ(song.name, QStringLiteral("My Song"));
    EXPECT_EQ(QuelmoImportedTrack(QUrl::fromLocalFile(QStringLiteral("/m/live.2024.flac"))).name,
              QStringLiteral("live.2024"));
    EXPECT_EQ(QuelmoImportedTrack(QUrl::fromLocalFile(QStringLiteral("/m/noext"))).name, QStringLiteral("noext"));
    const QuelmoImportedTrack again(song.url);
    EXPECT_NE(song.id, again.id);
    EXPECT_FALSE(song == again);
}

