#pragma once

class QString;

namespace murmelo {

class ViewController;

// The menu's segue: puts the destination in place of the container's content at once. A screen
// left with a reversal that was never saved is kept alive while the user is asked whether to
// save it, and saved on "Yes".
class ReplaceSidebarContainerSegue {
public:
    ReplaceSidebarContainerSegue(ViewController *source, ViewController *destination)
        : source_(source), destination_(destination)
    {
    }

    void perform();

private:
    ViewController *source_;
    ViewController *destination_;
};

} // namespace murmelo
