#pragma once

#include <QString>
#include <cstdio>

namespace murmelo::cli {

// A one-line progress bar on stderr, drawn only when stderr is a terminal so that logs and
// pipes never see carriage-return noise.
class TerminalProgress {
public:
    explicit TerminalProgress(QString label);
    ~TerminalProgress();

    void update(double fraction);

private:
    QString label_;
    bool enabled_;
    int lastPercent_ = -1;
};

} // namespace murmelo::cli
