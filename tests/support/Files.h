#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace quelmo::test {

// Writes bytes to path, making its folder first.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// A file its owner may run: a stand-in for a tool, or (empty) one that is only looked for.
inline void writeProgram(const QString& path, const QByteArray& script = {}) {
    writeFile(path, script);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace quelmo::test
