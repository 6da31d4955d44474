#pragma once

#include "audio/WavFile.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

namespace murmelo::test {

// Makes each WAV file say it holds `dataBytes` of audio, and grows it (sparse) to match: a file
// that is too large for something without the time or disk to write one. Header-only, so only
// tests that link the audio library include it.
inline void claimAudioBytes(const QStringList &paths, qint64 dataBytes)
{
    for (const QString &path : paths) {
        WavLayout layout;
        QString error;
        ASSERT_EQ(WavFile::inspect(path, layout, error), WavFile::Kind::Valid)
            << path.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(WavFile::writeHeader(file, layout.fmtChunk, dataBytes));
        ASSERT_TRUE(file.resize(layout.dataOffset + dataBytes));
    }
}

} // namespace murmelo::test
