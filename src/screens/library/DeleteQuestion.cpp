#include "screens/library/DeleteQuestion.h"

#include "platform/Localized.h"

namespace murmelo {

Alert deleteQuestion(const QString &title, std::function<void()> confirmed)
{
    const QString name = title.simplified();
    Alert question{name.isEmpty() ? localized("delete_confirm_untitled")
                                  : localized("delete_confirm").arg(name),
                   localized("delete_confirm_files"),
                   localized("no"),
                   {localized("yes")},
                   [confirmed = std::move(confirmed)](int button) {
                       if (button == 1 && confirmed)
                           confirmed();
                   }};
    question.defaultButton = 0;
    return question;
}

} // namespace murmelo
