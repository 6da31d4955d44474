#include "screens/playback/PublishFlow.h"

#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/StandardPaths.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRegularExpression>

namespace murmelo {

namespace {

QString pageName(const Recording &recording)
{
    static const QRegularExpression others(QStringLiteral("[^a-z0-9]+"));
    QString stem = recording.name().normalized(QString::NormalizationForm_KD).toLower();
    stem.replace(others, QStringLiteral("-"));
    stem = stem.left(60);
    while (stem.startsWith(QLatin1Char('-')))
        stem.remove(0, 1);
    while (stem.endsWith(QLatin1Char('-')))
        stem.chop(1);
    return (stem.isEmpty() ? QStringLiteral("reversal") : stem) + QStringLiteral(".html");
}

} // namespace

PublishFlow::TargetChooser PublishFlow::saveDialog()
{
    return [](QWidget *parent, const QString &suggested) {
        return QFileDialog::getSaveFileName(parent, QObject::tr("Publish as a Web Page"), suggested,
                                            QObject::tr("Web pages (*.html *.htm)"));
    };
}

PublishFlow::PublishFlow(StoreContext &context, QWidget *parent)
    : QObject(parent), context_(context), parent_(parent), chooser_(saveDialog())
{
}

PublishFlow::~PublishFlow()
{
    if (cancel_)
        *cancel_ = true;
    if (worker_.joinable())
        worker_.join();
}

void PublishFlow::publish(const std::shared_ptr<Recording> &recording)
{
    if (!recording || isBusy())
        return;
    StoreError error;
    const QList<PhraseMarker> markers =
        PhraseMarkerStore(context_).markers(recording->rowID(), &error);
    if (error) {
        showAlert(parent_, tr("Cannot Publish"), error.description);
        return;
    }
    Defaults &defaults = Defaults::standard();
    QString folder = defaults.stringForKey(QString::fromLatin1(folderKey));
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = StandardPaths::documentsDirectory();
    QString target = chooser_(parent_, QDir(folder).filePath(pageName(*recording)));
    if (target.isEmpty())
        return;
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".html");
    defaults.setString(QString::fromLatin1(folderKey), QFileInfo(target).absolutePath());

    progress_ = new QProgressDialog(tr("Publishing “%1”…").arg(recording->name()), tr("Cancel"), 0,
                                    100, parent_);
    progress_->setWindowTitle(tr("Publish"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    connect(progress_, &QProgressDialog::canceled, this, [this] {
        *cancel_ = true;
        progress_->setLabelText(tr("Cancelling…"));
    });

    // The page is made on its own thread; what it reports comes back through the main queue,
    // and only while this flow is still there.
    QPointer<PublishFlow> self(this);
    auto percent = std::make_shared<std::atomic<int>>(0);
    worker_ = std::thread(
        [self, percent, cancel = cancel_, target, source = PublishSource::of(*recording, markers)] {
            const PublishResult result =
                PagePublisher::publish(source, {}, target, *cancel, [&](double fraction) {
                    const int now = int(fraction * 100);
                    if (percent->exchange(now) != now)
                        postToMainQueue([self, now] {
                            if (self && self->progress_)
                                self->progress_->setValue(now);
                        });
                });
            postToMainQueue([self, result] {
                if (self)
                    self->done(result);
            });
        });
}

void PublishFlow::done(const PublishResult &result)
{
    if (worker_.joinable())
        worker_.join();
    if (progress_)
        progress_->deleteLater();
    progress_ = nullptr;
    switch (result.status) {
    case PublishResult::Status::Published:
        showAlert(parent_, tr("Published"),
                  tr("The page is at “%1”.%2")
                      .arg(result.page, result.note.isEmpty()
                                            ? QString()
                                            : QStringLiteral("\n\n") + result.note));
        break;
    case PublishResult::Status::Failed:
        showAlert(parent_, tr("Cannot Publish"), result.error);
        break;
    case PublishResult::Status::Cancelled:
        break;
    }
    emit finished(result);
}

} // namespace murmelo
