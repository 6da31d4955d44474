#include "screens/playback/PublishFlow.h"

#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStandardPaths>

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
    : QObject(parent), m_context(context), m_parent(parent), m_chooser(saveDialog())
{
}

PublishFlow::~PublishFlow()
{
    if (m_cancel)
        *m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void PublishFlow::publish(const std::shared_ptr<Recording> &recording)
{
    if (!recording || isBusy())
        return;
    StoreError error;
    const QList<PhraseMarker> markers =
        PhraseMarkerStore(m_context).markers(recording->rowID(), &error);
    if (error) {
        showAlert(m_parent, tr("Cannot Publish"), error.description);
        return;
    }
    Defaults &defaults = Defaults::standard();
    QString folder = defaults.stringForKey(QString::fromLatin1(folderKey));
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString target = m_chooser(m_parent, QDir(folder).filePath(pageName(*recording)));
    if (target.isEmpty())
        return;
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".html");
    defaults.setString(QString::fromLatin1(folderKey), QFileInfo(target).absolutePath());

    m_progress = new QProgressDialog(tr("Publishing “%1”…").arg(recording->name()), tr("Cancel"), 0,
                                     100, m_parent);
    m_progress->setWindowTitle(tr("Publish"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setValue(0);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        *m_cancel = true;
        m_progress->setLabelText(tr("Cancelling…"));
    });

    // The page is made on its own thread; what it reports comes back through the main queue,
    // and only while this flow is still there.
    QPointer<PublishFlow> self(this);
    auto percent = std::make_shared<std::atomic<int>>(0);
    m_worker = std::thread([self, percent, cancel = m_cancel, target,
                            source = PublishSource::of(*recording, markers)] {
        const PublishResult result =
            PagePublisher::publish(source, {}, target, *cancel, [&](double fraction) {
                const int now = int(fraction * 100);
                if (percent->exchange(now) != now)
                    postToMainQueue([self, now] {
                        if (self && self->m_progress)
                            self->m_progress->setValue(now);
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
    if (m_worker.joinable())
        m_worker.join();
    if (m_progress)
        m_progress->deleteLater();
    m_progress = nullptr;
    switch (result.status) {
    case PublishResult::Status::Published:
        showAlert(m_parent, tr("Published"),
                  tr("The page is at “%1”.%2")
                      .arg(result.page, result.note.isEmpty()
                                            ? QString()
                                            : QStringLiteral("\n\n") + result.note));
        break;
    case PublishResult::Status::Failed:
        showAlert(m_parent, tr("Cannot Publish"), result.error);
        break;
    case PublishResult::Status::Cancelled:
        break;
    }
    emit finished(result);
}

} // namespace murmelo
