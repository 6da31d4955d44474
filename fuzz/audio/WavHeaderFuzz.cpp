// Arbitrary bytes as a WAV file through the one acceptance rule every command applies: whatever
// the header claims, a layout accepted as valid only describes audio that is in the file.
#include "audio/WavFile.h"

#include <QFile>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
QString scratchFile()
{
    std::string folder = "/tmp/murmelo-fuzz-XXXXXX";
    if (!mkdtemp(folder.data()))
        std::abort();
    return QString::fromStdString(folder) + QStringLiteral("/input.wav");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = scratchFile();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    murmelo::WavLayout layout;
    QString error;
    const auto kind = murmelo::WavFile::checkInput(path, layout, error);
    if (kind != murmelo::WavFile::Kind::Valid) {
        if (error.isEmpty())
            std::abort(); // every refusal says why
        return 0;
    }
    const bool sound = layout.channels >= 1 &&
                       layout.channels <= murmelo::WavFile::maximumChannels &&
                       layout.blockAlign == layout.channels * layout.bitsPerSample / 8 &&
                       layout.blockAlign > 0 && layout.frames >= 1 && layout.dataOffset >= 12 &&
                       layout.dataOffset + layout.frames * layout.blockAlign <= qint64(size) &&
                       layout.fmtChunk.size() >= 16;
    if (!sound)
        std::abort();
    return 0;
}
