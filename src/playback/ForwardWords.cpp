#include "playback/ForwardWords.h"

#include "platform/Defaults.h"
#include "platform/MainQueue.h"

#include <QPointer>

namespace murmelo {

namespace {
// Said once for the whole run, whichever screen asked first.
std::atomic<bool> toldUnavailable{false};
const QString kEnabledKey = QStringLiteral("recogniseForwardWords");
} // namespace

bool ForwardWords::enabled()
{
    const Defaults &defaults = Defaults::standard();
    return !defaults.hasKey(kEnabledKey) || defaults.boolForKey(kEnabledKey);
}

void ForwardWords::setEnabled(bool on)
{
    Defaults::standard().setBool(kEnabledKey, on);
}

// Lives on the queue's thread; only that thread touches the recogniser.
struct ForwardWords::Worker {
    SpeechRecogniserFactory factory;
    std::unique_ptr<SpeechRecogniser> recogniser;
    bool missing = false;
    QString why;
};

ForwardWords::ForwardWords(SpeechRecogniserFactory factory, QObject *parent)
    : QObject(parent), worker_(std::make_shared<Worker>()),
      stop_(std::make_shared<std::atomic<bool>>(false))
{
    worker_->factory = std::move(factory);
}

ForwardWords::~ForwardWords()
{
    cancel();
}

void ForwardWords::request(const QString &forwardPath, FrameRange stretch, qint64 totalFrames)
{
    if (pending_.contains(stretch) || failed_.contains(stretch) || stretch.length() <= 0)
        return;
    pending_ << stretch;
    QPointer<ForwardWords> self(this);
    const FrameRange twin = mirrored(stretch, totalFrames);
    queue_.async([self, worker = worker_, stop = stop_, forwardPath, stretch, twin] {
        const auto done = [self, stop, stretch](std::function<void(ForwardWords &)> report) {
            postToMainQueue([self, stop, stretch, report] {
                if (!self || stop->load())
                    return;
                self->pending_.removeOne(stretch);
                report(*self);
            });
        };
        if (stop->load())
            return;
        if (!worker->recogniser && !worker->missing) {
            worker->recogniser = worker->factory(worker->why);
            worker->missing = !worker->recogniser;
        }
        if (worker->missing) {
            const bool first = !toldUnavailable.exchange(true);
            done([stretch, why = worker->why, first](ForwardWords &words) {
                if (first)
                    emit words.unavailable(why);
                words.failed_ << stretch;
                emit words.failed(stretch, why);
            });
            return;
        }
        QString error;
        int rate = 0;
        const auto samples = speechSamples(forwardPath, twin.start, twin.length(), error, &rate);
        const auto words =
            samples ? worker->recogniser->recognise(*samples, *stop, error) : std::nullopt;
        if (stop->load())
            return;
        if (!words) {
            done([stretch, error](ForwardWords &self) {
                self.failed_ << stretch;
                emit self.failed(stretch, error);
            });
            return;
        }
        // Counted from the start of the forward file, where the twin lies.
        const double offset = double(twin.start) / rate;
        QList<SpokenWord> placed = *words;
        for (SpokenWord &word : placed) {
            word.start += offset;
            word.end += offset;
        }
        done([stretch, placed](ForwardWords &self) {
            self.remember(stretch, placed);
            emit self.recognised(stretch, placed);
        });
    });
}

void ForwardWords::setFactory(SpeechRecogniserFactory factory)
{
    queue_.async([worker = worker_, factory = std::move(factory)] {
        worker->factory = factory;
        worker->recogniser.reset();
        worker->missing = false;
    });
}

void ForwardWords::cancel()
{
    stop_->store(true);
    stop_ = std::make_shared<std::atomic<bool>>(false);
    pending_.clear();
}

void ForwardWords::clear()
{
    cancel();
    known_.clear();
    failed_.clear();
}

std::optional<QList<SpokenWord>> ForwardWords::wordsFor(FrameRange stretch) const
{
    const auto found = known_.constFind({stretch.start, stretch.end});
    return found == known_.constEnd() ? std::nullopt : std::optional(*found);
}

void ForwardWords::remember(FrameRange stretch, const QList<SpokenWord> &words)
{
    known_.insert({stretch.start, stretch.end}, words);
}

} // namespace murmelo
