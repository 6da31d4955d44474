#pragma once

namespace murmelo {

// A screen that may hold a reversal the user has not saved yet (the playback screen). The shell
// asks before the user navigates away from it.
class UnsavedReversal {
public:
    virtual ~UnsavedReversal() = default;
    // True while the screen shows a reversal with no stored record behind it.
    virtual bool hasUnsavedReversal() const = 0;
    // Stores the reversal as a new record, as the save panel would with nothing typed.
    virtual void saveReversal() = 0;
};

} // namespace murmelo
