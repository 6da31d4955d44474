#pragma once

// Audio stand-ins whose completeness can be checked: an 8-byte length, then bytes that follow
// from their position, so a short or torn file is told apart from a whole one.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>

namespace murmelo::test {

inline QByteArray patternBytes(qint64 length)
{
    QByteArray bytes(length, '\0');
    std::memcpy(bytes.data(), &length, sizeof length);
    for (qint64 i = sizeof length; i < length; ++i)
        bytes[i] = char((i * 131 + length) & 0xff);
    return bytes;
}

inline bool writePatternFile(const QString &path, qint64 length)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(patternBytes(length)) == length;
}

inline bool isWholePatternFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    qint64 length = 0;
    if (bytes.size() < qsizetype(sizeof length))
        return false;
    std::memcpy(&length, bytes.constData(), sizeof length);
    return length == bytes.size() && bytes == patternBytes(length);
}

} // namespace murmelo::test
