#include "screens/record/MusicPicker.h"

#include "audio/MusicPickerScan.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace murmelo {

namespace {
QString defaultChooser(QWidget *parent, const QString &folder)
{
    return QFileDialog::getOpenFileName(parent, MusicPicker::prompt(), folder,
                                        MusicPicker::fileFilters().join(QStringLiteral(";;")),
                                        nullptr, QFileDialog::DontUseNativeDialog);
}
} // namespace

QString MusicPicker::prompt()
{
    return tr("Choose file to reverse");
}

QStringList MusicPicker::fileFilters()
{
    // What FFmpeg's readers take in: audio files, and the sound of video files.
    static const QString patterns = QStringLiteral(
        "*.mp3 *.m4a *.aac *.flac *.ogg *.oga *.opus *.wav *.wave *.aif *.aiff *.aifc *.wma "
        "*.mka *.ape *.wv *.mp2 *.alac *.mp4 *.m4v *.mov *.mkv *.webm *.avi *.3gp");
    return {tr("Audio and video files (%1)").arg(patterns), tr("All files (*)")};
}

MusicPicker::MusicPicker(const QString &musicFolder, QWidget *parent)
    : QDialog(parent), status_(new QLabel(tr("Searching\u2026"), this)),
      songList_(new QListWidget(this)), chooseButton_(new QPushButton(tr("Choose"), this)),
      otherFileButton_(new QPushButton(tr("Other file\u2026"), this)),
      cancelButton_(new QPushButton(tr("Cancel"), this)), otherFileChooser_(defaultChooser)
{
    setWindowTitle(prompt());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(prompt(), this));
    layout->addWidget(songList_);
    layout->addWidget(status_);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(otherFileButton_);
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    buttons->addWidget(chooseButton_);
    layout->addLayout(buttons);

    songList_->setSelectionMode(QAbstractItemView::SingleSelection);
    chooseButton_->setDefault(true);
    chooseButton_->setEnabled(false);
    connect(songList_, &QListWidget::itemSelectionChanged, this,
            [this] { chooseButton_->setEnabled(!songList_->selectedItems().isEmpty()); });
    connect(songList_, &QListWidget::itemActivated, this, &MusicPicker::pickSelected);
    connect(chooseButton_, &QPushButton::clicked, this, &MusicPicker::pickSelected);
    connect(otherFileButton_, &QPushButton::clicked, this, &MusicPicker::pickOtherFile);
    connect(cancelButton_, &QPushButton::clicked, this, &MusicPicker::reject);

    // A slow or large folder must not freeze the window, so the search runs elsewhere.
    QPointer<MusicPicker> self(this);
    SerialQueue("musicScan").async([self, musicFolder] {
        const MusicPickerScan::Result found = MusicPickerScan::scan(musicFolder);
        postToMainQueue([self, musicFolder, found] {
            if (self)
                self->showSongs(musicFolder, found.songs, found.truncated);
        });
    });
}

void MusicPicker::showSongs(const QString &musicFolder, const QStringList &songs, bool truncated)
{
    searching_ = false;
    const QDir root(musicFolder);
    for (const QString &song : songs) {
        auto *item = new QListWidgetItem(root.relativeFilePath(song), songList_);
        item->setData(Qt::UserRole, song);
    }
    // The list's cursor sits on the first song: it is chosen, so Choose (or Enter) takes it.
    if (songList_->count() > 0) {
        songList_->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        songList_->setFocus(Qt::OtherFocusReason);
    }
    if (songs.isEmpty())
        status_->setText(tr("No songs in %1").arg(QDir::toNativeSeparators(musicFolder)));
    else if (truncated)
        status_->setText(tr("Showing the first %1 songs").arg(songs.size()));
    else
        status_->clear();
}

void MusicPicker::pickSelected()
{
    const QList<QListWidgetItem *> selected = songList_->selectedItems();
    if (!selected.isEmpty())
        pick(selected.front()->data(Qt::UserRole).toString());
}

void MusicPicker::pickOtherFile()
{
    Defaults &defaults = Defaults::standard();
    QString folder = defaults.stringForKey(lastFolderKey());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString path = otherFileChooser_(this, folder);
    if (path.isEmpty())
        return;
    defaults.setString(lastFolderKey(), QFileInfo(path).absolutePath());
    defaults.synchronize();
    pick(path);
}

void MusicPicker::pick(const QString &path)
{
    QDialog::accept();
    emit didPickMediaItem(path);
}

void MusicPicker::reject()
{
    QDialog::reject();
    emit didCancel();
}

} // namespace murmelo
