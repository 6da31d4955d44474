// The forward twin's words on the playback screen: recognised in the background for each
// marker that has none yet, stored with the marker, and shown dimmed under its heard text.
#include "screens/playback/PlaybackViewController.h"

#include "library/MarkerWordsStore.h"
#include "library/Recording.h"
#include "platform/AlertPresenter.h"
#include "platform/SystemLog.h"
#include "playback/ForwardWords.h"
#include "screens/playback/ForwardWordsDelegate.h"
#include "screens/playback/MarkerListView.h"

namespace murmelo {

void PlaybackViewController::setUpForwardWords()
{
    forwardWords_ = new ForwardWords(defaultSpeechRecogniserFactory(), this);
    connect(forwardWords_, &ForwardWords::recognised, this,
            &PlaybackViewController::forwardWordsRecognised);
    connect(forwardWords_, &ForwardWords::unavailable, this, [this](const QString &why) {
        showAlert(this, tr("No Forward Words"),
                  tr("%1 Everything else works as before; the forward words can be switched off "
                     "in Settings.")
                      .arg(why));
    });
    // The marker keeps no words and is tried again when the reversal is next opened.
    connect(forwardWords_, &ForwardWords::failed, this, [this](FrameRange, const QString &reason) {
        systemLog(QStringLiteral("forward words not recognised: %1").arg(reason));
        refreshMarkers();
    });
}

void PlaybackViewController::setSpeechRecogniserFactory(SpeechRecogniserFactory factory)
{
    forwardWords_->setFactory(std::move(factory));
}

ForwardWords &PlaybackViewController::forwardWords() const
{
    return *forwardWords_;
}

std::optional<QList<SpokenWord>> PlaybackViewController::forwardWordsOf(int index) const
{
    if (!markerEditor_.contains(index))
        return std::nullopt;
    return forwardWords_->wordsFor(markerEditor_.markers()[index].frames);
}

void PlaybackViewController::describeForwardWords(QTreeWidgetItem *item, int index) const
{
    ForwardWordsDelegate::describe(
        item, MarkerListView::TextColumn, forwardWordsOf(index),
        markerEditor_.contains(index) &&
            forwardWords_->isPending(markerEditor_.markers()[index].frames));
}

void PlaybackViewController::requestForwardWords()
{
    const ReversalFrames frames = reversalFrames();
    if (!frames.isValid() || audioPath().isEmpty())
        return;
    ForwardWordsDelegate *delegate = view_.markerList->wordsDelegate();
    bool anyKnown = false;
    const qint64 recordingID = recording() ? recording()->rowID() : 0;
    std::optional<QHash<qint64, QList<SpokenWord>>> stored;
    MarkerWordsStore store(store_);
    for (const PhraseMarker &marker : markerEditor_.markers()) {
        const auto known = forwardWords_->wordsFor(marker.frames);
        if (marker.id != 0 && recordingID != 0) {
            // Words kept in the store are read, not recognised again; those recognised before
            // the marker was stored (a reversal saved since) go in now.
            if (!stored)
                stored = store.words(recordingID);
            if (const auto found = stored->constFind(marker.id); found != stored->constEnd()) {
                if (!known)
                    forwardWords_->remember(marker.frames, *found);
                anyKnown = true;
                continue;
            }
            if (known) {
                store.setWords(marker.id, marker.frames, *known);
                anyKnown = true;
                continue;
            }
        }
        anyKnown = anyKnown || known;
        // Only the forward audio is recognised: the reversal would give word salad.
        if (!known && ForwardWords::enabled())
            forwardWords_->request(audioPath(), marker.frames, frames.frames);
    }
    // Switched off, rows keep their one line unless some words were kept from before.
    delegate->setWordsShown(ForwardWords::enabled() || anyKnown);
}

void PlaybackViewController::forwardWordsRecognised(FrameRange stretch,
                                                    const QList<SpokenWord> &words)
{
    MarkerWordsStore store(store_);
    for (const PhraseMarker &marker : markerEditor_.markers()) {
        StoreError error;
        if (marker.frames == stretch && marker.id != 0 &&
            !store.setWords(marker.id, stretch, words, &error))
            systemLog(QStringLiteral("forward words not stored: %1").arg(error.description));
    }
    refreshMarkers();
}

} // namespace murmelo
