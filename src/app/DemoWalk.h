#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QProcess;
class QWidget;

namespace murmelo {

class AppDelegate;
class DemoWalkAlerts;
class EulaViewController;
class PlaybackViewController;
class RecordViewController;
class SidebarViewController;

// A scripted tour of the running application, for machines without a display: it accepts the
// agreement, records a spoken phrase through the file-fed input, waits for the reversal, plays
// it for a moment, saves it with a title and a hidden message typed into the save panel, crops
// it, and opens the saved recordings. Every step works the real widgets on the event loop and
// leaves a picture of the window in the output folder.
//
// Each step has a deadline; a step that does not reach its state in time, or an alert shown
// during the walk, ends the walk with an error that names the step.
class DemoWalk : public QObject {
    Q_OBJECT
public:
    // What the walk types into the save panel.
    static QString title() { return QStringLiteral("Hidden in the phrase"); }
    static QString message() { return QStringLiteral("every sentence hides another one"); }
    static QString phrase()
    {
        return QStringLiteral(
            "Listen closely. Some say every sentence hides another one, spoken backwards.");
    }
    // How long the walk records; the phrase above lasts about five seconds.
    static constexpr double kRecordSeconds = 3.0;
    static constexpr double kPlaySeconds = 1.0;
    // The crop keeps this stretch of the reversal.
    static constexpr float kCropFrom = 0.2f;
    static constexpr float kCropTo = 0.7f;
    // Where the walk shares the saved reversal to when MURMELO_WALK_MAIL is 1 (the run command
    // sets it, with a relay of its own); it then also files a problem report.
    static QString recipients() { return QStringLiteral("ann@example.org,bob@example.org"); }
    static bool walksMail();

    DemoWalk(AppDelegate &app, const QString &outputFolder, QObject *parent = nullptr);
    ~DemoWalk() override;

    // The folder named by `murmelo --walk DIR` (or `--walk=DIR`); none when the arguments do not
    // ask for a walk. Asking for a walk without a folder gives an empty string.
    static std::optional<QString> folderFromArguments(const QStringList &arguments);

    // Starts on the next turn of the event loop; finished() tells the outcome.
    void start();

    bool succeeded() const { return done_ && error_.isEmpty(); }
    QString error() const { return error_; }
    // The pictures written so far, in the order of the walk.
    QStringList screenshots() const { return screenshots_; }
    // The recording that fed the walk.
    QString speechFile() const { return speechFile_; }

signals:
    void finished(bool succeeded);
    // One line about each step reached, for the person watching.
    void narrated(const QString &line);

private:
    struct Step {
        QString name;
        std::function<void()> act;     // run once when the step begins (may be empty)
        std::function<bool()> reached; // polled until it holds
        QString expected;              // what did not happen, for the error
        int deadlineMs = 10000;
        QString screenshot; // taken once the step is reached (file name, no suffix)
        // Set for steps that work the playback screen: it must be the window's content.
        bool onPlayback = false;
    };

    void buildSteps();
    void playbackStep(Step step);
    void addAgreementSteps();
    void addRecordSteps();
    void addPlaybackSteps();
    void addSaveSteps();
    void addCropSteps();
    void addSavedRecordingsSteps();
    void addMailSteps();

    void begin(size_t index);
    void poll();
    void fail(const QString &why);
    void finish();
    void takeScreenshot(const QString &name);

    SidebarViewController *window() const;
    RecordViewController *recordScreen() const;
    PlaybackViewController *playbackScreen() const;
    EulaViewController *agreement() const;
    // Gives `input` the keyboard focus the way a click would.
    static void focus(QWidget *input);
    // Types `text` into the focused input as key presses.
    static void type(QWidget *input, const QString &text);

    AppDelegate &app_;
    QString folder_;
    QString speechFile_;
    std::unique_ptr<QProcess> speaker_;
    std::unique_ptr<DemoWalkAlerts> alerts_;
    std::vector<Step> steps_;
    size_t current_ = 0;
    QTimer poll_;
    QElapsedTimer clock_;
    bool done_ = false;
    QString error_;
    QStringList screenshots_;
    int shotNumber_ = 0;
    std::optional<QString> alert_; // the first alert shown during the walk
    double playedFrom_ = 0;
};

} // namespace murmelo
