#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace murmelo {

// Lets the user choose one song: the audio files of the Music folder, found in the background,
// or any file through "Other file…". Emits exactly one of its two signals, then closes.
class MusicPicker : public QDialog {
    Q_OBJECT
public:
    // Returns the chosen path, or empty when the user backed out; starts in `folder`.
    using FileChooser = std::function<QString(QWidget *parent, const QString &folder)>;

    explicit MusicPicker(const QString &musicFolder, QWidget *parent = nullptr);

    static QString prompt(); // "Choose file to reverse"
    // The file dialog's filters: the audio and video files the import reads, then all files.
    static QStringList fileFilters();
    // The settings key of the folder "Other file…" last chose from.
    static QString lastFolderKey() { return QStringLiteral("importFolder"); }

    // Replaces the file dialog behind "Other file…" (tests answer it without a dialog).
    void setOtherFileChooser(FileChooser chooser) { otherFileChooser_ = std::move(chooser); }

    QListWidget *songList() const { return songList_; }
    QPushButton *chooseButton() const { return chooseButton_; }
    QPushButton *otherFileButton() const { return otherFileButton_; }
    QPushButton *cancelButton() const { return cancelButton_; }
    bool isSearching() const { return searching_; }

signals:
    void didPickMediaItem(const QString &path);
    void didCancel();

private:
    void showSongs(const QString &musicFolder, const QStringList &songs, bool truncated);
    void pickSelected();
    void pickOtherFile();
    void pick(const QString &path);
    void reject() override;

    QLabel *status_;
    QListWidget *songList_;
    QPushButton *chooseButton_;
    QPushButton *otherFileButton_;
    QPushButton *cancelButton_;
    FileChooser otherFileChooser_;
    bool searching_ = true;
};

} // namespace murmelo
