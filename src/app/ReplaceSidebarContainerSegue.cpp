#include "app/ReplaceSidebarContainerSegue.h"

#include "app/SidebarViewController.h"
#include "app/UnsavedWork.h"
#include "platform/AlertPresenter.h"
#include "platform/Localized.h"
#include "screens/playback/UnsavedReversal.h"

#include <memory>

namespace murmelo {

void ReplaceSidebarContainerSegue::perform()
{
    SidebarViewController *container = sidebarOf(source_);
    if (!container) {
        delete destination_;
        return;
    }
    const auto *unsaved = dynamic_cast<UnsavedReversal *>(container->contentViewController());
    const bool ask = unsaved && unsaved->hasUnsavedReversal();

    ScreenHandle left = container->replaceContentViewController(destination_);
    if (!ask || !left)
        return;
    // The alert's answer is the last use of the screen that was left: it lives until then and
    // goes right after, however long the presenter keeps the alert.
    auto held = std::make_shared<ScreenHandle>(std::move(left));
    showAlert(container, localized("save_recording"), QString(), localized("no"),
              {localized("yes")}, [held](int button) {
                  auto *screen = dynamic_cast<UnsavedReversal *>(held->get());
                  if (button == 1 && screen)
                      screen->saveReversal();
                  else
                      discardUnsavedReversal(held->get());
                  held->reset();
              });
}

} // namespace murmelo
