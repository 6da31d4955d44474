// Arbitrary bytes as CSV in a few encodings, with and without a header line.
#include "toolkit/codec/Csv.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the delimiter and the options.
    const QString delimiter = QString(QChar(data[0] & 0x7F));
    const bool header = data[0] & 0x80;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    for (auto encoding :
         {QStringConverter::Utf8, QStringConverter::Latin1, QStringConverter::Utf16LE}) {
        const QVariantList rows =
            murmelo::arrayWithContentsOfCSVData(bytes, delimiter, {}, header, encoding);
        if (rows.size() > bytes.size() + 1)
            std::abort();
    }
    murmelo::arrayWithContentsOfCSVData(bytes, QStringLiteral(",;"), {"a", "b"}, false,
                                        QStringConverter::Utf8);
    return 0;
}
