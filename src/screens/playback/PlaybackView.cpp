#include "screens/playback/PlaybackView.h"

#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/PlaybackImages.h"
#include "screens/playback/SpectrogramPane.h"
#include "toolkit/KeyboardFocus.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>
#include <algorithm>

namespace murmelo {

namespace {

// A button whose selected state only its action sets: a click reports itself and leaves the state
// to what the action decides (playing or not, forward or reversed).
class SelectableButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void nextCheckState() override {}
};

// A press anywhere on a slider puts the handle there, as on a phone, instead of paging.
class JumpingSliderStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

const char *kStyleSheet = R"(
murmelo--PlaybackViewController { background: #15171c; }
QWidget { color: #f2f2f5; font-size: 13px; }
QWidget#panel { background: #23262e; border-top: 1px solid #343844; }
QWidget#waitView { background: rgba(0, 0, 0, 170); }
QLabel#title { font-size: 18px; font-weight: bold; }
QLabel#hint { color: #a9adb8; }
QLabel#time { color: #a9adb8; font-size: 12px; }
QLabel#reversalClock { color: #e8a23b; font-size: 12px; }
QLabel#message { font-style: italic; color: #e8a23b; }
QToolButton { border: none; background: transparent; }
QToolButton#transport { background: #23262e; border-radius: 22px; }
QToolButton#play { background: #2d313b; border-radius: 32px; }
QToolButton#direction { background: #23262e; border-radius: 15px; padding: 0 12px; }
QToolButton#direction:checked { color: #e8a23b; }
QToolButton#loop { background: #23262e; border-radius: 13px; padding: 0 8px; color: #a9adb8; }
QToolButton#loop:checked { color: #e8a23b; }
QPushButton, QToolButton#panelButton {
    background: #343844; border: none; border-radius: 8px; padding: 8px 14px;
}
QToolButton#panelButton:checked { background: #e8a23b; color: #15171c; }
QToolButton#shareSwitch {
    background: #343844; border: 1px solid #343844; border-radius: 8px; padding: 7px 13px;
}
QToolButton#shareSwitch:checked { background: #3b3222; color: #e8a23b; border-color: #e8a23b; }
QPushButton#primary { background: #e8a23b; color: #15171c; font-weight: bold; }
QPushButton#primary:disabled { background: #4a4032; color: #8c8578; }
QPushButton#danger { background: #5a2a2e; }
QLineEdit, QTextEdit {
    background: #15171c; border: 1px solid #3d4250; border-radius: 6px; padding: 4px;
}
QSlider#scrubber::groove:horizontal { background: transparent; }
QSlider#scrubber::sub-page:horizontal { border-image: none; background: rgba(232, 162, 59, 55); }
QSlider#scrubber::add-page:horizontal { border-image: none; background: transparent; }
QSlider#scrubber::handle:horizontal { image: none; background: #e8a23b; width: 3px; margin: 0; }
QTreeWidget#markerList {
    background: #1b1e24; border: 1px solid #2c303a; border-radius: 6px; font-size: 12px;
}
QTreeWidget#markerList::item { padding: 3px 4px; }
QTreeWidget#markerList QHeaderView::section {
    background: #1b1e24; color: #a9adb8; border: none; border-bottom: 1px solid #2c303a;
    padding: 2px 4px; font-size: 11px;
}
QTreeWidget#markerList::item:selected { background: #2f4a66; color: #f2f2f5; }
QTreeWidget#markerList QLineEdit { padding: 0 2px; border-radius: 3px; }
QScrollBar#zoom:horizontal { background: #23262e; height: 8px; border-radius: 4px; }
QScrollBar#zoom::handle:horizontal { background: #5a6070; border-radius: 4px; min-width: 12px; }
QScrollBar#zoom::add-line, QScrollBar#zoom::sub-line { width: 0; }
QSlider#speed::groove:horizontal { background: #3d4250; height: 4px; border-radius: 2px; }
QSlider#speed::sub-page:horizontal { background: #e8a23b; border-radius: 2px; }
QSlider#speed::handle:horizontal {
    background: #f2f2f5; width: 18px; margin: -7px 0; border-radius: 9px;
}
)";

QWidget *panel(QWidget *parent, const QRect &frame)
{
    auto *view = new QWidget(parent);
    view->setObjectName(QStringLiteral("panel"));
    view->setAttribute(Qt::WA_StyledBackground);
    view->setGeometry(frame);
    return view;
}

QLabel *label(QWidget *parent, const QRect &frame, const QString &name,
              Qt::Alignment alignment = Qt::AlignCenter, const QString &text = {})
{
    auto *view = new QLabel(text, parent);
    view->setObjectName(name);
    view->setAlignment(alignment);
    view->setGeometry(frame);
    return view;
}

// A button drawn as an icon is read out as its tip without the key, which the tip (read as the
// description) still gives: "Play or pause", then "Play or pause (Space)".
QString spokenName(const QString &tip)
{
    const qsizetype key = tip.lastIndexOf(QLatin1String(" ("));
    return key > 0 && tip.endsWith(QLatin1Char(')')) ? tip.left(key) : tip;
}

QToolButton *toolButton(QWidget *parent, const QRect &frame, const QString &name, const QIcon &icon,
                        const QString &tip, bool checkable)
{
    auto *button = checkable ? new SelectableButton(parent) : new QToolButton(parent);
    button->setObjectName(name);
    button->setGeometry(frame);
    button->setIcon(icon);
    button->setIconSize(QSize(28, 28));
    button->setToolTip(tip);
    button->setAccessibleName(spokenName(tip));
    button->setCheckable(checkable);
    // Reached with Tab; a click leaves the keys with the screen.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QPushButton *pushButton(QWidget *parent, const QRect &frame, const QString &text,
                        const QString &name = {})
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(frame);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QSlider *slider(QWidget *parent, const QRect &frame, const QString &name)
{
    auto *view = new QSlider(Qt::Horizontal, parent);
    view->setObjectName(name);
    view->setGeometry(frame);
    view->setFocusPolicy(Qt::TabFocus);
    auto *style = new JumpingSliderStyle;
    style->setParent(view);
    view->setStyle(style);
    return view;
}

QLineEdit *lineEdit(QWidget *parent, const QRect &frame, const QString &placeholder)
{
    auto *field = new QLineEdit(parent);
    field->setGeometry(frame);
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(placeholder);
    return field;
}

QTextEdit *textView(QWidget *parent, const QRect &frame, const QString &name)
{
    auto *view = new QTextEdit(parent);
    view->setAccessibleName(name);
    view->setGeometry(frame);
    view->setAcceptRichText(false);
    view->setTabChangesFocus(true);
    return view;
}

// The two presentations of waveform and title share one frame; the screen shows one of them.
QWidget *presentation(QWidget *root, QLabel *&title, QLabel *&waveform)
{
    auto *view = new QWidget(root);
    // Pictures only: presses go to the scrubber and the range slider laid over them.
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    title = label(view, QRect(), QStringLiteral("title"));
    waveform = label(view, QRect(), QStringLiteral("waveform"));
    waveform->setScaledContents(true);
    return view;
}

} // namespace

PlaybackView::PlaybackView(QWidget *root)
{
    root->setStyleSheet(QLatin1String(kStyleSheet));
    root->setAttribute(Qt::WA_StyledBackground);

    displayView = presentation(root, displayTitleLabel, displayWaveformImageView);
    editView = presentation(root, editTitleLabel, editWaveformImageView);

    // Over the waveform (root y 64 to 118): the handle's centre travels exactly its width.
    scrubberSlider = slider(root, QRect(46, 64, 228, 54), QStringLiteral("scrubber"));
    scrubberSlider->setAccessibleName(QObject::tr("Position"));
    markerOverlay = new MarkerOverlay(root);
    markerOverlay->setGeometry(47, 64, kWaveformWidth, kWaveformHeight);
    zoomScrollBar = new QScrollBar(Qt::Horizontal, root);
    zoomScrollBar->setObjectName(QStringLiteral("zoom"));
    zoomScrollBar->setFocusPolicy(Qt::TabFocus);
    zoomScrollBar->setToolTip(QObject::tr("Zoom with Ctrl+wheel or + and -"));
    zoomScrollBar->setAccessibleName(QObject::tr("Part of the waveform shown"));
    zoomScrollBar->hide();
    markerList = new MarkerListView(root);
    removeMarkerButton =
        toolButton(root, QRect(), QStringLiteral("transport"), PlaybackImages::removeMarker(),
                   QObject::tr("Remove the marker (Delete)"), false);
    removeMarkerButton->setIconSize(QSize(16, 16));
    currentTimeLabel = label(root, QRect(47, 122, kTimeWidth, 18), QStringLiteral("time"),
                             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("0:00"));
    currentTimeLabel->setToolTip(QObject::tr("Position in the forward audio"));
    audioDurationLabel =
        label(root, QRect(272 - kTimeWidth, 122, kTimeWidth, 18), QStringLiteral("time"),
              Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0:00"));
    audioDurationLabel->setToolTip(QObject::tr("Length of the audio"));
    reversalClockLabel = label(root, QRect(47 + kTimeWidth, 122, 225 - 2 * kTimeWidth, 18),
                               QStringLiteral("reversalClock"));
    reversalClockLabel->setToolTip(QObject::tr("Time on the reversal, as it plays"));
    reversalClockLabel->hide();
    messageLabel = label(root, QRect(52, 152, 216, 24), QStringLiteral("message"));
    editMessageButton =
        toolButton(root, QRect(0, 152, 24, 24), QStringLiteral("editMessage"),
                   PlaybackImages::editMessage(), QObject::tr("Edit the message"), false);
    editMessageButton->setIconSize(QSize(18, 18));

    restartButton =
        toolButton(root, QRect(66, 206, 44, 44), QStringLiteral("transport"),
                   PlaybackImages::restart(), QObject::tr("Back to the start (Home)"), false);
    playButton =
        toolButton(root, QRect(128, 196, 64, 64), QStringLiteral("play"),
                   PlaybackImages::playPause(), QObject::tr("Play or pause (Space)"), true);
    playButton->setIconSize(QSize(32, 32));
    repeatButton = toolButton(root, QRect(210, 206, 44, 44), QStringLiteral("transport"),
                              PlaybackImages::repeat(), QObject::tr("Loop (L)"), true);
    ffRewindButton =
        toolButton(root, QRect(100, 272, 120, 30), QStringLiteral("direction"),
                   PlaybackImages::direction(), QObject::tr("Play forward or reversed (R)"), true);
    ffRewindButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ffRewindButton->setIconSize(QSize(18, 18));

    speedTitleLabel = label(root, QRect(20, 318, 60, 20), QStringLiteral("hint"),
                            Qt::AlignLeft | Qt::AlignVCenter, QObject::tr("Speed"));
    speedSlider = slider(root, QRect(76, 314, 180, 28), QStringLiteral("speed"));
    speedSlider->setAccessibleName(QObject::tr("Speed"));
    speedSlider->setRange(50, 200);
    speedSlider->setValue(kSpeedScale);
    speedSlider->setToolTip(QObject::tr("Playback speed (Up/Down)"));
    speedLabel = label(root, QRect(260, 318, 44, 20), QStringLiteral("hint"),
                       Qt::AlignRight | Qt::AlignVCenter);

    loopCountButton = toolButton(root, QRect(20, 352, 78, 26), QStringLiteral("loop"), QIcon(),
                                 QObject::tr("How many times the stretch plays (L)"), true);
    loopGapButton = toolButton(root, QRect(104, 352, 96, 26), QStringLiteral("loop"), QIcon(),
                               QObject::tr("Silence between repeats (G)"), true);
    pingPongButton = toolButton(root, QRect(206, 352, 94, 26), QStringLiteral("loop"), QIcon(),
                                QObject::tr("Ping-pong: reversed and forward in turn (P)"), true);
    pingPongButton->setText(QObject::tr("Ping-pong"));
    markersButton = toolButton(root, QRect(226, 274, 74, 26), QStringLiteral("loop"), QIcon(),
                               QObject::tr("Phrase markers"), true);
    markersButton->setText(QObject::tr("Markers"));
    // Narrower sides than the loop row's, so the word fits the room beside the direction.
    markersButton->setStyleSheet(QStringLiteral("padding: 0 4px;"));
    markersButton->hide();
    spectrogramButton = toolButton(root, QRect(20, 274, 74, 26), QStringLiteral("loop"), QIcon(),
                                   QObject::tr("Spectrogram and pitch (S)"), true);
    spectrogramButton->setText(QObject::tr("Spectrum"));
    spectrogramButton->setStyleSheet(QStringLiteral("padding: 0 4px;"));
    spectrogramPane = new SpectrogramPane(root);
    spectrogramPane->hide();

    findReversalView = panel(root, QRect(0, 392, kWidth, 176));
    label(findReversalView, QRect(20, 24, 280, 40), QStringLiteral("hint"), Qt::AlignCenter,
          QObject::tr("Did you hear a hidden message?\nSave the reversal and write it down."));
    saveButton = pushButton(findReversalView, QRect(80, 84, 160, 40), QObject::tr("Save Reversal"),
                            QStringLiteral("primary"));

    editReversalView = panel(root, QRect(0, 392, kWidth, 176));
    label(editReversalView, QRect(20, 20, 280, 20), QStringLiteral("hint"), Qt::AlignCenter,
          QObject::tr("Saved in your library"));
    editButton = pushButton(editReversalView, QRect(20, 60, 86, 40), QObject::tr("Edit"));
    cropButton = toolButton(editReversalView, QRect(117, 60, 86, 40), QStringLiteral("panelButton"),
                            QIcon(), QObject::tr("Crop"), true);
    cropButton->setText(QObject::tr("Crop"));
    deleteButton = pushButton(editReversalView, QRect(214, 60, 86, 40), QObject::tr("Delete"),
                              QStringLiteral("danger"));

    saveReversalView = panel(root, QRect(0, kHeight, kWidth, 268));
    label(saveReversalView, QRect(20, 12, 280, 26), QStringLiteral("title"), Qt::AlignCenter,
          QObject::tr("Save Reversal"));
    titleTextField = lineEdit(saveReversalView, QRect(20, 50, 280, 34), QObject::tr("Title"));
    messageTextView =
        textView(saveReversalView, QRect(20, 94, 280, 104), QObject::tr("The hidden message"));
    closeSaveReversalButton =
        pushButton(saveReversalView, QRect(20, 212, 130, 40), QObject::tr("Cancel"));
    saveReversalButton = pushButton(saveReversalView, QRect(170, 212, 130, 40), QObject::tr("Save"),
                                    QStringLiteral("primary"));

    shareReversalView = panel(root, QRect(0, 300, kWidth, 268));
    shareEmailTextField =
        lineEdit(shareReversalView, QRect(20, 20, 280, 34), QObject::tr("E-mail addresses"));
    emailNameTextField =
        lineEdit(shareReversalView, QRect(20, 64, 280, 34), QObject::tr("Your name"));
    shareMessageTextView =
        textView(shareReversalView, QRect(20, 108, 280, 100), QObject::tr("Text of the e-mail"));

    waitView = new QWidget(root);
    waitView->setObjectName(QStringLiteral("waitView"));
    waitView->setAttribute(Qt::WA_StyledBackground);
    waitView->setGeometry(0, 0, kWidth, kHeight);
    waitLabel = label(waitView, QRect(20, 250, 280, 24), QStringLiteral("title"));
    auto *busy = new QProgressBar(waitView);
    busy->setGeometry(60, 286, 200, 8);
    busy->setRange(0, 0);
    busy->setTextVisible(false);

    saveCropView = panel(root, QRect(0, 392, kWidth, 176));
    cropStartLabel = label(saveCropView, QRect(20, 12, 50, 20), QStringLiteral("time"),
                           Qt::AlignLeft | Qt::AlignVCenter);
    cropEndLabel = label(saveCropView, QRect(250, 12, 50, 20), QStringLiteral("time"),
                         Qt::AlignRight | Qt::AlignVCenter);
    // What to do, and which time line the two times count on.
    cropHintLabel = label(saveCropView, QRect(70, 6, 180, 34), QStringLiteral("hint"),
                          Qt::AlignCenter, QObject::tr("Choose the part to keep"));
    croppedNameTextField =
        lineEdit(saveCropView, QRect(20, 44, 280, 34), QObject::tr("Name of the cropped reversal"));
    closeSaveCropButton = pushButton(saveCropView, QRect(20, 100, 130, 40), QObject::tr("Close"));
    saveCropButton = pushButton(saveCropView, QRect(170, 100, 130, 40), QObject::tr("Save Crop"),
                                QStringLiteral("primary"));

    // A bubble the screen places beside the "?" that opened it, as tall as its text.
    infoText = label(root, QRect(20, 140, 280, 240), QStringLiteral("info"), Qt::AlignCenter);
    infoText->setWordWrap(true);

    // The rings of round and pill-shaped buttons follow their shape.
    for (QToolButton *round :
         {restartButton, playButton, repeatButton, ffRewindButton, loopCountButton, loopGapButton,
          pingPongButton, markersButton, spectrogramButton})
        round->setProperty(KeyboardFocus::kRingRadius,
                           std::min(round->width(), round->height()) / 2);
    for (QWidget *view :
         {static_cast<QWidget *>(restartButton), static_cast<QWidget *>(playButton),
          static_cast<QWidget *>(repeatButton), static_cast<QWidget *>(ffRewindButton),
          static_cast<QWidget *>(speedTitleLabel), static_cast<QWidget *>(speedSlider),
          static_cast<QWidget *>(speedLabel), static_cast<QWidget *>(loopCountButton),
          static_cast<QWidget *>(loopGapButton), static_cast<QWidget *>(pingPongButton),
          static_cast<QWidget *>(markersButton), static_cast<QWidget *>(spectrogramButton)})
        column_.push_back({view, view->geometry()});
    // The share panel lays its controls out itself.
    for (QWidget *parent :
         {findReversalView, editReversalView, saveReversalView, saveCropView, waitView})
        for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            panelContents_.push_back({child, child->geometry()});
    layout(QSize(kWidth, kHeight));
}

void PlaybackView::layout(const QSize &size)
{
    const int width = std::max(kWidth, size.width());
    // Below a window's title or tool bar, and above the mail strip, the screen may be shorter
    // than the phone's: the panels stay on its bottom edge, where they can be reached.
    const int height = size.height();
    // The waveform takes half of the extra height, up to a limit; what lies below moves down by
    // as much.
    const int grownHeight =
        std::clamp(kWaveformHeight + (height - kHeight) / 2, kWaveformHeight, kMaxWaveformHeight);
    // Beside the spectrogram, the waveform gives it half of what it grew by.
    const int paneShare = spectrogramShown_ ? (grownHeight - kWaveformHeight) / 2 : 0;
    const int waveformHeight = grownHeight - paneShare;
    const int dy = waveformHeight - kWaveformHeight;
    // Shorter than the phone's: the gaps between the rows below the times (message, transport,
    // direction, speed, loop, then the bottom panel) close up evenly, down to 2 points each.
    static constexpr int kSpare[] = {10, 18, 10, 10, 8, 12};
    static constexpr int kAllSpare = kHeight - kMinimumHeight;
    const int squeeze = std::clamp(kHeight - height, 0, kAllSpare);
    const auto closedUp = [squeeze](int gapsAbove) {
        int spare = 0;
        for (int i = 0; i < gapsAbove; ++i)
            spare += kSpare[i];
        return spare * squeeze / kAllSpare;
    };
    // The spectrogram takes the waveform's share and two thirds of the room the marker list would
    // have had, and at least its least height: the list then opens on demand, as in a short
    // window.
    const int listRoom = height - 176 - 8 - (378 + dy + paneShare - closedUp(5) + 10);
    const int spectrogramHeight = spectrogramShown_
                                      ? std::clamp(paneShare + std::max(0, listRoom - 8) * 2 / 3,
                                                   kSpectrogramLeast, kSpectrogramMost)
                                      : 0;
    // The rows under the times move down by the pane and its gap.
    const int below = dy + (spectrogramShown_ ? spectrogramHeight + 6 : 0);
    const int columnX = (width - kWidth) / 2;
    // The smallest layout's margins (47 and 48 points) around the waveform stay.
    const int waveformX = 47;
    const int waveformWidth = width - (kWidth - kWaveformWidth);

    for (QWidget *presentation : {displayView, editView})
        presentation->setGeometry(0, 16, width, 66 + waveformHeight);
    for (QLabel *title : {displayTitleLabel, editTitleLabel})
        title->setGeometry(10, 8, width - 20, 26);
    for (QLabel *waveform : {displayWaveformImageView, editWaveformImageView})
        waveform->setGeometry(waveformX, 48, waveformWidth, waveformHeight);
    // Over the waveform (root y 64 on): the 3-point handle's centre travels exactly its width.
    scrubberSlider->setGeometry(waveformX - 1, 64, waveformWidth + 3, waveformHeight);
    markerOverlay->setGeometry(waveformX, 64, waveformWidth, waveformHeight);
    waveformHeight_ = waveformHeight;
    styleScrubber();
    // Between the title and the waveform, where the times under it leave it room.
    zoomScrollBar->setGeometry(waveformX + 40, 54, waveformWidth - 80, 8);
    currentTimeLabel->setGeometry(waveformX, 122 + dy, kTimeWidth, 18);
    audioDurationLabel->setGeometry(waveformX + waveformWidth - kTimeWidth, 122 + dy, kTimeWidth,
                                    18);
    reversalClockLabel->setGeometry(waveformX + kTimeWidth, 122 + dy,
                                    waveformWidth - 2 * kTimeWidth, 18);
    spectrogramPane->setGeometry(0, 144 + dy, width, spectrogramHeight);
    spectrogramPane->setVisible(spectrogramShown_);
    // The found-message line is centred by the screen once it knows the message.
    messageLabel->move(messageLabel->x(), 152 + below - closedUp(1));
    editMessageButton->move(editMessageButton->x(), 152 + below - closedUp(1));

    for (const Placement &placed : column_) {
        // Transport, direction, speed and loop rows.
        const int top = placed.smallest.top();
        const int gapsAbove = top < 272 ? 2 : top < 314 ? 3 : top < 352 ? 4 : 5;
        placed.view->setGeometry(placed.smallest.translated(columnX, below - closedUp(gapsAbove)));
    }
    // The markers fill what is left between the loop row and the bottom panel. A window too
    // short for them (the phone's) has the list only while a text is typed, over the panel.
    const int listTop = loopCountButton->geometry().bottom() + 10;
    const int room = height - 176 - 8 - listTop;
    markerListFits_ = room >= kMarkerListLeast;
    if (markerListFits_) {
        markerList->setGeometry(waveformX, listTop, waveformWidth - 34, room);
        removeMarkerButton->setGeometry(waveformX + waveformWidth - 28, listTop, 28, 28);
    } else {
        // Opened on demand over the bottom panel, with room for a few rows.
        const int top = height - 176 + 8;
        markerList->setGeometry(8, top, width - 16 - 34, 176 - 16);
        removeMarkerButton->setGeometry(width - 8 - 28, top, 28, 28);
    }
    for (QWidget *bottomPanel : {findReversalView, editReversalView, saveCropView})
        bottomPanel->setGeometry(0, height - 176, width, 176);
    // Its height and width only: the panel's place is its slide's business.
    saveReversalView->resize(width, 268);
    waitView->setGeometry(0, 0, width, height);
    // Controls added to these panels later (the send actions) are placed like those made with
    // them, from where they were put for the smallest layout.
    for (QWidget *parent : {findReversalView, editReversalView})
        for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (std::none_of(panelContents_.begin(), panelContents_.end(),
                             [child](const Placement &placed) { return placed.view == child; }))
                panelContents_.push_back({child, child->geometry()});
    for (const Placement &placed : panelContents_) {
        const int down = placed.view->parentWidget() == waitView ? (height - kHeight) / 2 : 0;
        placed.view->setGeometry(placed.smallest.translated(columnX, down));
    }
}

void PlaybackView::setSpectrogramShown(bool shown)
{
    spectrogramShown_ = shown;
    spectrogramButton->setChecked(shown);
}

void PlaybackView::setScrubberHandleShown(bool shown)
{
    if (shown == handleShown_)
        return;
    handleShown_ = shown;
    styleScrubber();
}

void PlaybackView::styleScrubber()
{
    // The played part is shaded over the waveform's whole height.
    QString sheet =
        QStringLiteral("QSlider::groove:horizontal { height: %1px; }").arg(waveformHeight_);
    if (!handleShown_)
        sheet += QStringLiteral(" QSlider::handle:horizontal { background: transparent; }");
    if (scrubberSlider->styleSheet() != sheet)
        scrubberSlider->setStyleSheet(sheet);
}

} // namespace murmelo
