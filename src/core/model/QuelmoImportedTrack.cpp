#include "model/QuelmoImportedTrack.h"

#include <QFileInfo>

namespace quelmo {

QuelmoImportedTrack::QuelmoImportedTrack(const QUrl& fileUrl)
    : id(QUuid::createUuid()), url(fileUrl), name(QFileInfo(fileUrl.path()).completeBaseName()) {}

} // namespace quelmo
