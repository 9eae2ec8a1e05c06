#pragma once
// Whole files written and read back by tests.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

// The file's bytes, or "<missing>" when it cannot be read (so that a missing file never
// equals an expected empty one).
inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes `bytes` as the whole file and returns `path`; a file that cannot be opened fails the
// running test.
inline QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    EXPECT_TRUE(opened) << path.toStdString();
    if (opened) {
        file.write(bytes);
    }
    return path;
}
