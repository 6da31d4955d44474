#include "cli/SuggestCommand.h"

#include "audio/PlayerAudio.h"
#include "cli/CommandSupport.h"
#include "cli/Interruption.h"
#include "library/LabelFile.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "playback/PhraseSegmenter.h"

#include <QCommandLineParser>
#include <cstdio>

namespace murmelo::cli {

void declareSuggestOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("forward"),
                      QStringLiteral("Seconds on the forward audio's time line instead of the "
                                     "reversal's")});
}

int suggestCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return usage("suggest", QStringLiteral("suggest takes one recording ID"));
    StoreContext context;
    const auto recording = openSavedRecording(context, args[0]);
    if (!recording)
        return Failure;

    // The reversal is where markers are made, so that is what is split.
    const QString path = recording->reverseAudioPath();
    QString error;
    QString why;
    const auto audio = PlayerAudio::open(path, why);
    const auto phrases =
        audio ? suggestPhrases(
                    path, std::nullopt, [](double) { return !Interruption::flag(); }, error)
              : std::nullopt;
    if (!phrases) {
        if (audio && error.isEmpty())
            return Interruption::exitCode();
        return fail(QStringLiteral("the reversal of %1 cannot be read: %2")
                        .arg(recording->objectURI().toString(), audio ? error : why));
    }
    QList<PhraseMarker> markers;
    for (const FrameRange &phrase : *phrases)
        markers << PhraseMarker{0, phrase, {}};
    const QByteArray labels = writeLabelFile(
        markers,
        parser.isSet(QStringLiteral("forward")) ? LabelTimeLine::Forward : LabelTimeLine::Reversed,
        LabelAudio{audio->sampleRate(), audio->frames()});
    std::fwrite(labels.constData(), 1, size_t(labels.size()), stdout);
    return Ok;
}

} // namespace murmelo::cli
