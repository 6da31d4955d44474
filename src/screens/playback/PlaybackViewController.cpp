#include "screens/playback/PlaybackViewController.h"
#include "playback/ForwardWords.h"
#include "playback/PhraseSuggestions.h"

#include "library/Recording.h"
#include "platform/AlertPresenter.h"
#include "playback/TimeText.h"
#include "playback/WaveformPicture.h"
#include "screens/playback/FoundMessageLayout.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/PlaybackImages.h"
#include "screens/playback/ShareLayout.h"
#include "screens/playback/SharePanel.h"
#include "screens/playback/SlidePanel.h"
#include "screens/playback/SpectrogramPane.h"
#include "toolkit/InputAccessoryBar.h"
#include "toolkit/RangeSlider.h"
#include "toolkit/SliderValueText.h"
#include "toolkit/TextInputLinks.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>
#include <cmath>

namespace murmelo {

PlaybackViewController::PlaybackViewController(StoreContext &store, PlayerFactory players,
                                               QWidget *parent)
    : ViewController(parent), store_(store), engine_(std::move(players)), loops_(engine_),
      markerEditor_(store), view_(this), saveSlide_(new SlidePanel(view_.saveReversalView)),
      waveformPicture_(new WaveformPicture(this)), saving_(store)
{
    setObjectName(QStringLiteral("PlaybackViewController"));
    setFocusPolicy(Qt::StrongFocus);
    // The screen takes the keys itself, and is announced when it has them.
    setAccessibleName(tr("Playback"));
    resize(PlaybackView::kWidth, PlaybackView::kHeight);
    engine_.setCropRangeProvider([this]() -> std::optional<CropFractions> {
        if (!isCropMode())
            return std::nullopt;
        return CropFractions{rangeSlider_->min(), rangeSlider_->max()};
    });
    connect(&engine_, &PlaybackEngine::updated, this,
            &PlaybackViewController::refreshPlaybackViews);
    connect(waveformPicture_, &WaveformPicture::ready, this,
            &PlaybackViewController::refreshWaveformViews);
    connect(&engine_, &PlaybackEngine::playbackFailed, this, [this](const QString &reason) {
        showAlert(this, tr("Couldn't Play the Audio"), reason);
    });
    connectActions();
    setUpSharing();
    setUpPublishing();
    setUpMarkers();
    setUpSuggestions();
    setUpHistory();
    setUpForwardWords();
    setTabOrder();
    setUpSpectrogram();
    refreshPlaybackViews();
}

void PlaybackViewController::setTabOrder()
{
    // Top to bottom, left to right, as the screen is laid out; hidden controls are passed over.
    const PlaybackView &v = view_;
    const SharePanel &panel = *share_;
    const QList<QWidget *> chain{v.zoomScrollBar,        v.scrubberSlider,
                                 v.editMessageButton,    v.restartButton,
                                 v.playButton,           v.repeatButton,
                                 v.ffRewindButton,       v.markersButton,
                                 v.speedSlider,          v.loopCountButton,
                                 v.loopGapButton,        v.pingPongButton,
                                 v.markerList,           v.removeMarkerButton,
                                 v.saveButton,           panel.shareButton,
                                 panel.infoButton,       v.editButton,
                                 v.cropButton,           v.deleteButton,
                                 panel.savedShareButton, panel.savedInfoButton,
                                 v.croppedNameTextField, v.closeSaveCropButton,
                                 v.saveCropButton,       v.titleTextField,
                                 v.messageTextView,      v.closeSaveReversalButton,
                                 v.saveReversalButton,   panel.closeInfoButton};
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

PlaybackViewController::~PlaybackViewController()
{
    // The list goes after this screen's members: a text still open there must not be reported
    // to them as it closes.
    view_.markerList->itemDelegate()->disconnect(this);
    view_.markerList->disconnect(this);
}

void PlaybackViewController::connectActions()
{
    const PlaybackView &v = view_;
    connect(v.playButton, &QToolButton::clicked, this, &PlaybackViewController::pausePlay);
    connect(v.restartButton, &QToolButton::clicked, this, &PlaybackViewController::restart);
    connect(v.ffRewindButton, &QToolButton::clicked, this, &PlaybackViewController::ffRewind);
    connect(v.repeatButton, &QToolButton::clicked, this, &PlaybackViewController::repeat);
    connect(v.loopCountButton, &QToolButton::clicked, this, &PlaybackViewController::loopCount);
    connect(v.loopGapButton, &QToolButton::clicked, this, &PlaybackViewController::loopGap);
    connect(v.pingPongButton, &QToolButton::clicked, this, &PlaybackViewController::pingPong);
    connect(v.scrubberSlider, &QSlider::valueChanged, this,
            &PlaybackViewController::setCurrentTime);
    // Read out as the time on the line being heard: reversed, the reversal's own clock.
    SliderValueText::describe(v.scrubberSlider, [this] {
        if (!engine_.isReversed())
            return tr("%1 of %2")
                .arg(preciseTimeText(engine_.currentTime()), preciseTimeText(engine_.duration()));
        return tr("%1 of %2, reversed")
            .arg(preciseTimeText(engine_.reverseDuration() - engine_.currentTime()),
                 preciseTimeText(engine_.reverseDuration()));
    });
    // Every finished change is stored alike, whether it came from a drag's end, a click, the
    // wheel or the keys; a drag in progress only changes the rate.
    connect(v.speedSlider, &QSlider::valueChanged, this, [this] {
        playbackSpeed();
        if (!view_.speedSlider->isSliderDown())
            playbackSpeedDone();
    });
    connect(v.speedSlider, &QSlider::sliderReleased, this,
            &PlaybackViewController::playbackSpeedDone);
    v.speedSlider->installEventFilter(this);
    connect(v.saveButton, &QPushButton::clicked, this, &PlaybackViewController::save);
    connect(v.editButton, &QPushButton::clicked, this, &PlaybackViewController::save);
    connect(v.editMessageButton, &QToolButton::clicked, this, &PlaybackViewController::save);
    connect(v.saveReversalButton, &QPushButton::clicked, this,
            qOverload<>(&PlaybackViewController::saveReversal));
    connect(v.closeSaveReversalButton, &QPushButton::clicked, this,
            &PlaybackViewController::closeSaveReversal);
    connect(v.cropButton, &QToolButton::clicked, this, &PlaybackViewController::crop);
    connect(v.saveCropButton, &QPushButton::clicked, this, &PlaybackViewController::saveCrop);
    connect(v.closeSaveCropButton, &QPushButton::clicked, this,
            &PlaybackViewController::closeSaveCrop);
    connect(v.deleteButton, &QPushButton::clicked, this, &PlaybackViewController::deleteReversal);
    for (QWidget *input :
         {static_cast<QWidget *>(v.messageTextView), static_cast<QWidget *>(v.titleTextField),
          static_cast<QWidget *>(v.shareEmailTextField),
          static_cast<QWidget *>(v.shareMessageTextView),
          static_cast<QWidget *>(v.emailNameTextField),
          static_cast<QWidget *>(v.croppedNameTextField)})
        input->installEventFilter(this);
}

// Inputs ---------------------------------------------------------------------------------------

void PlaybackViewController::setRecording(std::shared_ptr<Recording> recording)
{
    if (!recording)
        return;
    // Another recording opened: the history was the one before's.
    history_.clear();
    saving_.openRecording(std::move(recording));
    message_ = saving_.recording()->message();
    openFiles();
    loadMarkers();
}

std::optional<float> PlaybackViewController::storedSpeed() const
{
    const std::shared_ptr<Recording> &record = recording();
    if (!record || !record->speed().isValid() || !(record->speedValue() > 0))
        return std::nullopt;
    return record->speedValue();
}

void PlaybackViewController::setImported(bool imported)
{
    saving_.reversal().imported = imported;
}

void PlaybackViewController::setAudioPath(const QString &path)
{
    history_.clear(); // a fresh reversal starts its own history
    saving_.reversal().audioPath = path;
    openForward();
}

void PlaybackViewController::setReverseAudioPath(const QString &path)
{
    saving_.reversal().reverseAudioPath = path;
    openReverse();
}

void PlaybackViewController::setWaveformImage(const QImage &image)
{
    saving_.reversal().waveformImage = image;
    refreshWaveformViews();
}

void PlaybackViewController::openFiles()
{
    openReverse();
    openForward();
}

void PlaybackViewController::openForward()
{
    const QString &path = audioPath();
    waveformPicture_->setSource(path);
    if (view_.spectrogramShown())
        view_.spectrogramPane->setSource(path);
    noteLoadError(path, engine_.openForward(path, storedSpeed()));
    resetScrubber();
    refreshPlaybackViews();
}

void PlaybackViewController::openReverse()
{
    const QString &path = reverseAudioPath();
    noteLoadError(path, engine_.openReverse(path, storedSpeed()));
    // Markers count frames of one reversal; another one starts without them.
    markerEditor_.clear();
    suggestions_->clear();
    forwardWords_->clear();
    view_.markerOverlay->setPendingStart(std::nullopt);
    refreshMarkers();
}

void PlaybackViewController::refreshWaveformViews()
{
    // The small layout shows the picture as it was made; a larger one or a zoomed view draws
    // the audio afresh for its size and stretch, showing the stretched picture until that
    // drawing is ready.
    const QSize size = view_.editWaveformImageView->size();
    const QImage &made = waveformImage();
    QImage picture = made;
    if (timeline_.isZoomed()) {
        const QImage drawn =
            waveformPicture_->draw(size, timeline_.startFraction(), timeline_.endFraction());
        const int width = made.width();
        picture =
            !drawn.isNull()
                ? drawn
                : made.copy(
                      int(timeline_.startFraction() * width), 0,
                      std::max(1, int(std::ceil(timeline_.span() / timeline_.duration() * width))),
                      made.height());
    } else if (size != QSize(PlaybackView::kWaveformWidth, PlaybackView::kWaveformHeight)) {
        const QImage drawn = waveformPicture_->draw(size);
        if (!drawn.isNull())
            picture = drawn;
    }
    // Reversed, the picture runs as the reversal plays.
    if (timeline_.isReversed())
        picture = picture.mirrored(true, false);
    const QPixmap pixmap = QPixmap::fromImage(picture);
    view_.editWaveformImageView->setPixmap(pixmap);
    view_.displayWaveformImageView->setPixmap(pixmap);
}

void PlaybackViewController::resetScrubber()
{
    timeline_.setDuration(engine_.duration());
    applyTimeline();
    view_.currentTimeLabel->setText(timeText(0));
    view_.audioDurationLabel->setText(timeText(engine_.duration()));
}

// Set-up -------------------------------------------------------------------------------------

void PlaybackViewController::loadViewIfNeeded()
{
    if (viewLoaded_)
        return;
    viewLoaded_ = true;
    viewDidLoad();
}

void PlaybackViewController::viewDidLoad()
{
    refreshWaveformViews();
    resetScrubber();

    QPalette palette = view_.croppedNameTextField->palette();
    palette.setColor(QPalette::PlaceholderText, Qt::white);
    view_.croppedNameTextField->setPalette(palette);
    setDefaultInputAccessoryView(this);
    TextInputLinks::of(view_.titleTextField).setNextTextInputView(view_.messageTextView);
    TextInputLinks::of(view_.shareEmailTextField).setNextTextInputView(view_.emailNameTextField);
    TextInputLinks::of(view_.emailNameTextField).setNextTextInputView(view_.shareMessageTextView);
    for (QWidget *input : {static_cast<QWidget *>(view_.shareEmailTextField),
                           static_cast<QWidget *>(view_.emailNameTextField),
                           static_cast<QWidget *>(view_.shareMessageTextView)})
        share_->layout->keepClearOf(TextInputLinks::of(input).inputAccessoryView());

    for (QWidget *panel : {view_.findReversalView, view_.editReversalView, view_.saveReversalView,
                           view_.shareReversalView, view_.waitView,
                           static_cast<QWidget *>(view_.infoText), view_.saveCropView})
        panel->hide();
    view_.findReversalView->setVisible(!recording());
    view_.editReversalView->setVisible(bool(recording()));

    setTitleLabels(recording() ? recording()->name() : QString());
    setFoundMessage();
    if (const auto speed = storedSpeed()) {
        setSpeedSliderValue(*speed);
        engine_.setRate(*speed);
    }
    editMode();
    configurePanels();
}

void PlaybackViewController::viewDidLayoutSubviews()
{
    // Centred on the scrubber, three points wider at either end (234 points on the small screen).
    const QRect scrubber = view_.scrubberSlider->geometry();
    const int rangeWidth = scrubber.width() + 6;
    const QPointF centre = QRectF(scrubber).center();
    const QRect rangeFrame(qRound(centre.x() - rangeWidth / 2.0), qRound(centre.y() - 8),
                           rangeWidth, 16);
    if (rangeSlider_) {
        rangeSlider_->setControlFrame(rangeFrame);
    } else {
        rangeSlider_ = new RangeSlider(rangeFrame, this);
        rangeSlider_->setMinThumbImage(PlaybackImages::editThumb());
        rangeSlider_->setMaxThumbImage(PlaybackImages::editThumb());
        rangeSlider_->setTrackImage(PlaybackImages::editSlider());
        rangeSlider_->setInRangeTrackImage(PlaybackImages::sliderRange());
        connect(rangeSlider_, &RangeSlider::valueChanged, this,
                &PlaybackViewController::cropRangeUpdated);
        rangeSlider_->setAccessibleValueText(
            [this](float min, float max) { return cropRangeText(min, max); });
        rangeSlider_->hide();
    }
    // The controls drawn over the waveform stay above it, so they are seen and take the mouse.
    for (QWidget *overlay :
         {view_.editView, view_.displayView, static_cast<QWidget *>(view_.scrubberSlider),
          static_cast<QWidget *>(rangeSlider_), view_.findReversalView, view_.editReversalView,
          view_.saveReversalView, view_.shareReversalView, view_.waitView, view_.saveCropView})
        overlay->raise();
    // A busy job keeps its cover over everything, whatever the order above says.
    if (!view_.waitView->isHidden())
        view_.waitView->raise();
}

void PlaybackViewController::showEvent(QShowEvent *event)
{
    loadViewIfNeeded();
    ViewController::showEvent(event);
}

void PlaybackViewController::resizeEvent(QResizeEvent *event)
{
    ViewController::resizeEvent(event);
    relayout();
}

void PlaybackViewController::relayout()
{
    view_.layout(size());
    viewDidLayoutSubviews();
    showMarkerList();
    saveSlide_->settle();
    placeInfo();
    setFoundMessage();
    elideTitleLabels();
    refreshWaveformViews();
}

void PlaybackViewController::viewDidAppear()
{
    if (sidebarViewController())
        sidebarViewController()->selectIndex(1);
    setFocus();
    showLoadErrors();
    if (sharePanel().pending)
        share();
}

void PlaybackViewController::noteLoadError(const QString &path, const QString &error)
{
    if (!error.isEmpty())
        loadErrors_ << QStringLiteral("\u201c%1\u201d: %2").arg(QFileInfo(path).fileName(), error);
}

void PlaybackViewController::showLoadErrors()
{
    if (loadErrors_.isEmpty())
        return;
    showAlert(this, tr("Couldn't Open the Audio"), loadErrors_.join(QLatin1Char('\n')));
    loadErrors_.clear();
}

void PlaybackViewController::configurePanels()
{
    view_.findReversalView->setHidden(bool(recording()));
    view_.editReversalView->setHidden(!recording());
    view_.cropButton->show();
    if (imported()) {
        // Music from the library is for listening only here; it is stored from the question
        // asked on leaving the screen, and shared or deleted from the library.
        view_.editReversalView->hide();
        view_.findReversalView->hide();
        view_.cropButton->hide();
    }
}

void PlaybackViewController::setTitleLabels(const QString &name)
{
    title_ = name;
    elideTitleLabels();
}

void PlaybackViewController::elideTitleLabels()
{
    for (QLabel *label : {view_.editTitleLabel, view_.displayTitleLabel}) {
        const QFontMetrics metrics(label->font());
        const QString shown = metrics.elidedText(title_, Qt::ElideRight, label->width());
        label->setText(shown);
        label->setToolTip(shown == title_ ? QString() : title_);
    }
}

void PlaybackViewController::setFoundMessage()
{
    layoutFoundMessage(view_.messageLabel, view_.editMessageButton,
                       recording() ? recording()->message() : QString());
}

void PlaybackViewController::editMode()
{
    view_.editView->show();
    view_.displayView->hide();
}

bool PlaybackViewController::hasUnsavedReversal() const
{
    return saving_.hasUnsavedReversal();
}

// Playback ----------------------------------------------------------------------------------

bool PlaybackViewController::isCropMode() const
{
    return rangeSlider_ && !rangeSlider_->isHidden();
}

void PlaybackViewController::pausePlay()
{
    engine_.pausePlay();
}

void PlaybackViewController::restart()
{
    engine_.restart();
}

void PlaybackViewController::ffRewind()
{
    engine_.switchDirection();
}

void PlaybackViewController::setCurrentTime()
{
    engine_.seek(view_.scrubberSlider->value() / kScrubberScale);
}

void PlaybackViewController::updateTime()
{
    engine_.updateTime();
}

void PlaybackViewController::refreshPlaybackViews()
{
    {
        const QSignalBlocker blocker(view_.scrubberSlider);
        view_.scrubberSlider->setValue(int(std::lround(engine_.currentTime() * kScrubberScale)));
    }
    SliderValueText::of(view_.scrubberSlider)->changed();
    view_.currentTimeLabel->setText(timeText(engine_.currentTime()));
    // The picture runs as the reversal plays: its own clock runs with the playhead, beside the
    // forward position the scrubber keeps.
    view_.reversalClockLabel->setVisible(engine_.isReversed());
    view_.reversalClockLabel->setText(
        tr("Reversal %1").arg(preciseTimeText(engine_.reverseDuration() - engine_.currentTime())));
    view_.playButton->setChecked(engine_.isPlaying());
    // The button shows the direction itself, so a new file (which starts forward) resets it.
    view_.ffRewindButton->setChecked(engine_.isReversed());
    view_.ffRewindButton->setText(engine_.isReversed() ? tr("Reversed") : tr("Forward"));
    view_.speedLabel->setText(QString::number(double(speedSliderValue()), 'f', 1) +
                              QStringLiteral("\u00d7"));
    refreshLoopViews();
    refreshTimelineIfTurned();
    view_.spectrogramPane->setPlayhead(engine_.currentTime());
}

float PlaybackViewController::speedSliderValue() const
{
    return float(view_.speedSlider->value()) / PlaybackView::kSpeedScale;
}

void PlaybackViewController::setSpeedSliderValue(float rate)
{
    const QSignalBlocker blocker(view_.speedSlider);
    view_.speedSlider->setValue(int(std::lround(rate * PlaybackView::kSpeedScale)));
    refreshPlaybackViews();
    emit playbackSpeedChanged(playbackSpeedValue());
}

void PlaybackViewController::playbackSpeed()
{
    engine_.setRate(speedSliderValue());
    refreshPlaybackViews();
    emit playbackSpeedChanged(playbackSpeedValue());
}

double PlaybackViewController::playbackSpeedValue() const
{
    // In hundredths, as the slider keeps it: 0.6 reads as 0.6, not as the float nearest to it.
    return double(view_.speedSlider->value()) / PlaybackView::kSpeedScale;
}

void PlaybackViewController::setPlaybackSpeed(double rate)
{
    view_.speedSlider->setValue(int(std::lround(rate * PlaybackView::kSpeedScale)));
}

void PlaybackViewController::playbackSpeedDone()
{
    if (!recording() || !engine_.audioPlayer())
        return;
    if (StoreError error; !saving_.storeSpeed(engine_.rate(), &error))
        showStoreError(tr("Couldn't Save the Speed"), error);
}

} // namespace murmelo
