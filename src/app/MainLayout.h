#pragma once

#include <QRect>
#include <functional>

namespace murmelo {

class SidebarViewController;
class StoreContext;

// What the screens of the main window need from the process.
struct MainLayoutServices {
    // The store, once start-up has opened it.
    std::function<StoreContext *()> store;
};

// Builds the main window as the layout file describes it: the sidebar container with its menu,
// the first content screen (the record screen) and the named segues.
SidebarViewController *buildMainWindow(const MainLayoutServices &services);

// The window's frame on its first start, inside the screen's `available` area: about 70 % of it,
// at most 1280 x 860 and never smaller than the phone layout, centred.
QRect firstStartFrame(const QRect &available);

} // namespace murmelo
