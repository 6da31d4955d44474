#pragma once

#include <memory>

namespace murmelo {

class Recording;

// What a screen that opens a saved reversal takes from the saved-recordings list before it loads.
class RecordingHandOff {
public:
    virtual ~RecordingHandOff() = default;
    virtual void setRecording(std::shared_ptr<Recording> recording) = 0;
    // Opens the share panel as the screen comes into view.
    virtual void share() = 0;
};

} // namespace murmelo
