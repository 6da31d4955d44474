#pragma once

#include "platform/AlertPresenter.h"

#include <functional>

namespace murmelo {

// The question before a saved reversal goes for good: it names the reversal, and No is the
// default, so Enter never deletes. `confirmed` runs on Yes only.
Alert deleteQuestion(const QString &title, std::function<void()> confirmed);

} // namespace murmelo
