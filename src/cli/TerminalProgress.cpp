#include "cli/TerminalProgress.h"

#include <algorithm>
#include <unistd.h>

namespace murmelo::cli {

namespace {
constexpr int barCells = 30;
}

TerminalProgress::TerminalProgress(QString label)
    : label_(std::move(label)), enabled_(isatty(STDERR_FILENO) == 1)
{
}

TerminalProgress::~TerminalProgress()
{
    if (enabled_ && lastPercent_ >= 0)
        std::fputc('\n', stderr);
}

void TerminalProgress::update(double fraction)
{
    const int percent = int(std::clamp(fraction, 0.0, 1.0) * 100);
    if (!enabled_ || percent == lastPercent_)
        return;
    lastPercent_ = percent;
    const int filled = percent * barCells / 100;
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(barCells - filled, QLatin1Char(' '));
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.toLocal8Bit().constData(),
                 bar.toLatin1().constData(), percent);
    std::fflush(stderr);
}

} // namespace murmelo::cli
