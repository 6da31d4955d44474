#pragma once

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

} // namespace murmelo
