#pragma once

#include "audio/SpeechRecogniser.h"
#include "library/PhraseMarker.h"
#include "playback/PlaybackEngine.h"
#include "playback/WaveformTimeline.h"
#include "screens/playback/EditHistory.h"
#include "screens/playback/LoopController.h"
#include "screens/playback/MarkerEdgeDrag.h"
#include "screens/playback/MarkerEditor.h"
#include "screens/playback/MarkerSteps.h"
#include "screens/playback/PlaybackHandOff.h"
#include "screens/playback/PlaybackView.h"
#include "screens/playback/RecordingHandOff.h"
#include "screens/playback/RecordingSteps.h"
#include "screens/playback/SaveCropFlow.h"
#include "screens/playback/ShareFlow.h"
#include "screens/playback/SpeedSteps.h"
#include "screens/playback/UnsavedReversal.h"
#include "toolkit/ViewController.h"

#include <QAbstractItemDelegate>

#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

class QKeyEvent;
class QLabel;
class QMouseEvent;
class QTreeWidgetItem;
class QWheelEvent;

namespace murmelo {

struct PhraseMarker;
class RangeSlider;
class Recording;
class SlidePanel;
class PublishFlow;
class PhraseSuggestions;
class ForwardWords;
class SuggestionOverlay;
class StoreContext;
class WaveformPicture;
struct SharePanel;

// The screen on which the user listens to a reversal: forward or reversed at the same point of
// the audio, with loop, scrubbing and speed; and where a reversal is saved, cropped into a new
// saved reversal, or deleted.
class PlaybackViewController : public ViewController,
                               public PlaybackHandOff,
                               public RecordingHandOff,
                               public UnsavedReversal {
    Q_OBJECT
public:
    // Records are made in and saved through `store`; players come from `players`.
    explicit PlaybackViewController(StoreContext &store,
                                    PlayerFactory players = defaultPlayerFactory(),
                                    QWidget *parent = nullptr);
    ~PlaybackViewController() override;

    static QString messagePrompt()
    {
        return QStringLiteral("What hidden message did you discover?");
    }

    // Inputs, handed in before the screen is shown.
    void setRecording(std::shared_ptr<Recording> recording) override;
    const std::shared_ptr<Recording> &recording() const { return saving_.recording(); }
    // "Publish…" on a saved recording's panel (Ctrl+Shift+P): the recording as a web page.
    PublishFlow &publishFlow() const { return *publish_; }
    QToolButton *publishButton() const { return publishButton_; }
    // A fresh reversal, field by field; a saved recording's own files once it is saved.
    void setImported(bool imported) override;
    bool imported() const { return saving_.reversal().imported; }
    void setAudioPath(const QString &path) override;
    const QString &audioPath() const { return saving_.reversal().audioPath; }
    void setReverseAudioPath(const QString &path) override;
    const QString &reverseAudioPath() const { return saving_.reversal().reverseAudioPath; }
    void setWaveformImage(const QImage &image) override;
    const QImage &waveformImage() const { return saving_.reversal().waveformImage; }

    // Sets the views up from the inputs; runs once, at the latest when the screen is first shown.
    void loadViewIfNeeded();
    void viewDidLayoutSubviews();

    // Playback.
    void pausePlay();
    void restart();
    void ffRewind();
    void repeat();
    // The loop control: the next count, the next gap, ping-pong on or off.
    void loopCount();
    void loopGap();
    void pingPong();
    // Plays a marker's stretch (on the reversal's frames) with the loop settings, in the
    // current direction.
    void playMarker(const PhraseMarker &marker);
    void setCurrentTime();
    void playbackSpeed();
    void playbackSpeedDone();
    // Sets the speed as the slider would (clamped to its 0.5x-2x) and stores it like a change
    // made there; for the desktop's player controls.
    void setPlaybackSpeed(double rate);
    double playbackSpeedValue() const;
    void editMode();
    void updateTime();

    // Save, crop and delete.
    void save();
    void saveReversal() override;
    void closeSaveReversal();
    void crop();
    void cropRangeUpdated();
    // Where the handles stand, in seconds on the time line the picture runs on.
    std::pair<double, double> cropTimes(float min, float max) const;
    QString cropRangeText(float min, float max) const;
    void saveCrop();
    void closeSaveCrop();
    void deleteReversal();

    // Phrase markers, on the reversal's time line. Those of a reversal not saved yet have no
    // id and are stored with it.
    const QList<PhraseMarker> &markers() const { return markerEditor_.markers(); }
    // The first call marks the playhead as a marker's start, the second its end; then the
    // marker's text is open for typing.
    void markAtPlayhead();
    // A new marker over the stretch between two forward times, its text open for typing: Enter
    // keeps it, Escape drops it.
    void beginMarker(double from, double to);
    void editMarker(int index);
    void removeMarker(int index);
    void playMarker(int index);
    ReversalFrames reversalFrames() const;
    // "Suggest phrases" (Shift+M or its button): phrases found in the reversal, or in the part
    // a zoomed view shows, drawn dashed until each is taken as a marker (Enter or a click) or
    // dismissed (Delete). A second press while it looks stops it.
    void suggestPhrases();
    void acceptSuggestion(int index);
    void dismissSuggestion(int index);
    PhraseSuggestions &phraseSuggestions() const { return *suggestions_; }
    SuggestionOverlay *suggestionOverlay() const { return suggestionOverlay_; }
    QToolButton *suggestButton() const { return suggestButton_; }
    // The words said forward under each marker, recognised in the background and kept with it
    // (none yet for a marker not recognised).
    void setSpeechRecogniserFactory(SpeechRecogniserFactory factory);
    ForwardWords &forwardWords() const;
    std::optional<QList<SpokenWord>> forwardWordsOf(int index) const;

    // The undo history of the recording on screen (Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y): marker
    // edits, title and message, crops. A step shows its name in a strip over the waveform.
    EditHistory &history() { return history_; }
    void undoStep();
    void redoStep();
    // Alt+Left/Right: the chosen marker's edge nearer the playhead moves by 10 ms on screen.
    void nudgeMarker(int steps);
    // [ and ]: the marker before or after the chosen one, left to right, and the playhead to it.
    void selectAdjacentMarker(int step);
    QLabel *historyStrip() const { return historyStrip_; }

    // Waveform zoom: `factor` above 1 shows less of the audio, keeping `anchor` (forward
    // seconds) where it is on the screen.
    void zoomWaveform(double factor, double anchor);
    // Moves a zoomed view by this part of its width; positive shows what lies to the right.
    void panWaveform(double spans);
    const WaveformTimeline &timeline() const { return timeline_; }
    // Shows or hides the spectrogram and pitch pane under the waveform (S).
    void toggleSpectrogram();

    // Whether "Save Crop" has something to cut: a range keeping all but a hundredth at either
    // end is no crop.
    static bool isCropRange(float min, float max);
    // Share and send.
    void share() override;
    void closeShare();
    void toggleSendToSpeech();
    void addContact();
    void sendReversal();
    void showInfo();
    // The information text about sending: shown beside its "?", closed by Escape, a press
    // elsewhere or its own close button.
    void setInfoShown(bool shown);
    // The address picker's choice.
    void peoplePickerDidSelectAddress(const QString &address);
    bool sendToSpeech() const;
    ShareFlow &shareFlow() { return sharing_; }
    SharePanel &sharePanel() const;

    void configurePanels();
    void setFoundMessage();
    bool hasUnsavedReversal() const override;

    // The text input callbacks: prompts are cleared when editing begins, typed values kept when it
    // ends.
    void textInputDidBeginEditing(QWidget *input);
    void textInputDidEndEditing(QWidget *input);

    PlaybackEngine &engine() { return engine_; }
    const PlaybackView &view() const { return view_; }
    RangeSlider *rangeSlider() const { return rangeSlider_; }

Q_SIGNALS:
    // The speed shown changed (slider, keys, wheel, a recording opened with its own).
    void playbackSpeedChanged(double rate);

public:
    SlidePanel &saveReversalSlide() const { return *saveSlide_; }
    bool isCropMode() const;
    QString message() const { return message_; }
    QString recordName() const { return recordName_; }

protected:
    void viewDidAppear() override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void viewDidLoad();
    void connectActions();
    void refreshPlaybackViews();
    void refreshLoopViews();
    void resetScrubber();
    void setTitleLabels(const QString &name);
    void elideTitleLabels();
    void refreshWaveformViews();
    void confirmPanel();
    void cancelPanel();
    std::optional<float> storedSpeed() const;
    float speedSliderValue() const;
    void setSpeedSliderValue(float rate);
    // Moves the speed to the next displayed step up or down (a speed between steps, left by a
    // drag, goes to the nearest step in that direction).
    void stepSpeed(float step);
    // One notch of the wheel over the speed is one displayed step; finer wheels add up to it.
    bool speedWheel(QWheelEvent *event);
    void noteLoadError(const QString &path, const QString &error);
    void showLoadErrors();
    void commitEditing();
    // The views of a reversal just saved or cropped: its title, message, markers and panels.
    void showSaved();
    void showStoreError(const QString &failureTitle, const StoreError &error);
    void cropFinished(const SaveCropFlow::CropOutcome &outcome);
    // Opens the players on the reversal's files.
    void openFiles();
    void openForward();
    void openReverse();
    void deleteConfirmed();
    void setBusy(bool busy, const QString &text = {});
    void setUpSharing();
    void setUpPublishing();
    void setUpMarkers();
    void setUpSpectrogram();
    // Lays the views out again for the window's size and what is shown.
    void relayout();
    void setUpSuggestions();
    void refreshSuggestions();
    bool suggestionKey(const QKeyEvent *event);
    bool suggestionClicked(const QMouseEvent *mouse);
    void setUpForwardWords();
    void requestForwardWords();
    void describeForwardWords(QTreeWidgetItem *item, int index) const;
    void forwardWordsRecognised(FrameRange stretch, const QList<SpokenWord> &words);
    void loadMarkers();
    void storeMarkers();
    void refreshMarkers();
    void refreshMarkerBands();
    void showMarkerList();
    void toggleMarkerList();
    void markerEditorClosed(QAbstractItemDelegate::EndEditHint hint);
    bool waveformEvent(QEvent *event);
    double waveformTimeAt(double sliderX) const;
    void applyTimeline();
    void refreshTimelineIfTurned();
    void placeInfo();
    void pressedAt(const QPoint &global);
    void setTabOrder();
    void setUpHistory();
    bool historyKey(QKeyEvent *event);
    void historyApplied(const QString &what);
    void showHistoryStrip(const QString &text);
    bool hasStoredMarkers() const;
    void recordMarkerEdit(const MarkerEditor::EditEnd &end, bool kept, const PhraseMarker &before,
                          const QString &error);
    // Removes the marker as an undo step; false when it is none (nothing done).
    bool removeMarkerAsStep(int index);
    void changeMarker(MarkerChangeStep::Kind kind, int index, const FrameRange &stretch);
    RecordingTextStep::Texts storedTexts() const;
    void recordTextEdit(bool wasSaved, const RecordingTextStep::Texts &before);
    void recordCrop(const std::shared_ptr<Recording> &original);
    void showRecording(const std::shared_ptr<Recording> &recording);
    bool markerEdgeEvent(QEvent *event);

    StoreContext &store_;
    PlaybackEngine engine_;
    LoopController loops_;
    SpeedSteps speedSteps_;
    MarkerEditor markerEditor_;
    PlaybackView view_;
    SlidePanel *saveSlide_;
    RangeSlider *rangeSlider_ = nullptr;
    WaveformPicture *waveformPicture_;
    bool viewLoaded_ = false;

    SaveCropFlow saving_;
    ShareFlow sharing_;
    QString message_;
    QString recordName_;
    QString title_;          // shown in the title labels, cut to their width
    QStringList loadErrors_; // files that could not be opened, told once the screen is up
    std::unique_ptr<SharePanel> share_;
    QPointer<QObject> infoCloser_; // watches for a press outside the information text
    PublishFlow *publish_;
    QToolButton *publishButton_;

    // Scrubber values are milliseconds, so that a drag lands between whole seconds.
    static constexpr double kScrubberScale = 1000.0;

    std::optional<double> dragFrom_; // forward seconds where a marking drag began
    WaveformTimeline timeline_;
    PhraseSuggestions *suggestions_ = nullptr;
    SuggestionOverlay *suggestionOverlay_ = nullptr;
    QToolButton *suggestButton_ = nullptr;

    EditHistory history_;
    struct EdgeDrag {
        MarkerEdgeDrag::Grip grip;
        QList<PhraseMarker> markers; // as they were when the edge was taken
    };
    std::optional<EdgeDrag> edgeDrag_;
    QLabel *historyStrip_ = nullptr;
    QTimer historyStripTimer_;
    ForwardWords *forwardWords_ = nullptr;
};

} // namespace murmelo
