#pragma once

#include <functional>

namespace murmelo {

// Called when the bundle or device information changes after it was built (token, device
// identifier, custom environment), so that whoever copied it into files rebuilds them. The
// event queues install their header rebuild here.
void vgSetInformationChangedHandler(std::function<void()> handler);
void vgInformationChanged();

} // namespace murmelo
