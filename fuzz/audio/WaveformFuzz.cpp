// Arbitrary bytes as an audio file, through everything the waveform does to open and read one:
// our WAV header checks, the direct PCM reader, libsox's readers and the drawing.
#include "audio/WaveformImage.h"

#include <QCoreApplication>
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
    setenv("TMPDIR", folder.c_str(), 1);
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
    const QImage image = murmelo::waveformImage(path, QSizeF(225, 54), 4);
    if (!image.isNull() && image.size() != QSize(225, 54))
        std::abort();
    return 0;
}
