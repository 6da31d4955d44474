#include "audio/OutputPath.h"

#include <QFileInfo>

namespace murmelo {

bool wouldOverwrite(const QString &input, const QString &output)
{
    const QFileInfo in(input);
    const QFileInfo out(output);
    return in.exists() && out.exists() && in.canonicalFilePath() == out.canonicalFilePath();
}

} // namespace murmelo
