#pragma once

#include "audio/AudioOutputNull.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "screens/playback/PlaybackViewController.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace murmelo::test {

// 16-bit mono WAV whose every frame holds its own index (modulo 2^15), so a cut can be checked
// frame by frame; `reversed` writes the same frames last to first.
void writeRampWav(const QString &path, qint64 frames, int sampleRate, bool reversed = false);
std::vector<qint16> readFrames(const QString &path);

class SidebarRecorder : public SidebarSeam {
public:
    QList<bool> buttonStates;
    QList<int> selected;
    void setSidebarButtonEnabled(bool enabled) override { buttonStates << enabled; }
    void selectIndex(int index) override { selected << index; }
};

// A playback screen on silent players with a virtual clock, over a scratch store.
class PlaybackFixture : public ::testing::Test {
protected:
    static constexpr int kRate = 8000;

    void SetUp() override;
    void TearDown() override;

    // A fresh 10-second reversal pair in the temporary folder, as the reversal job leaves it.
    struct Pair {
        QString forward;
        QString reverse;
    };
    Pair makePair(double seconds = 10.0);
    // Hands a fresh pair to the screen and shows it.
    void openFresh(bool imported = false);
    // A saved record over a fresh pair.
    std::shared_ptr<Recording> makeRecording(const QString &name, const QString &message = {});
    void openRecording(const std::shared_ptr<Recording> &recording);
    std::unique_ptr<PlaybackViewController> makeScreen();

    // Plays `ms` of the player's virtual clock and lets its callbacks and the refresh run.
    void advance(Player *player, int ms);
    std::vector<std::shared_ptr<Recording>> storedRecordings();

    // The screen's window, where a user's keys and clicks arrive.
    QWindow *window() const { return screen->windowHandle(); }
    // A key pressed on the window, and what it set off let run.
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The screen at a desk's 1024 x 768, active, so the keyboard goes to it.
    void showAtDeskSize();

    QString storePath;
    std::unique_ptr<StoreContext> store;
    RecordingAlertPresenter alerts;
    SidebarRecorder sidebar;
    Storyboard storyboard;
    QStringList performed;
    std::unique_ptr<PlaybackViewController> screen;
};

} // namespace murmelo::test
