#include "cli/WordsCommand.h"

#include "audio/SpeechRecogniser.h"
#include "audio/WavFile.h"
#include "cli/CommandSupport.h"
#include "cli/Interruption.h"
#include "library/MarkerWordsStore.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>

namespace murmelo::cli {

void declareWordsOptions(QCommandLineParser &) {}

namespace {
QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}
} // namespace

int wordsCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.size() > 2)
        return usage("words", QStringLiteral("words takes a recording ID and maybe a marker ID"));
    bool numeric = true;
    const qint64 only = args.size() == 2 ? args[1].toLongLong(&numeric) : 0;
    if (!numeric || (args.size() == 2 && only <= 0))
        return usage("words", QStringLiteral("“%1” is not a marker ID").arg(args[1]));

    StoreContext context;
    const auto recording = openSavedRecording(context, args[0]);
    if (!recording)
        return Failure;
    PhraseMarkerStore store(context);
    StoreError error;
    QList<PhraseMarker> markers = store.markers(recording->rowID(), &error);
    if (error)
        return fail(error.description);
    if (only != 0) {
        markers.removeIf([only](const PhraseMarker &marker) { return marker.id != only; });
        if (markers.isEmpty())
            return fail(QStringLiteral("%1 has no marker %2")
                            .arg(recording->objectURI().toString())
                            .arg(only));
    }
    WavLayout layout;
    QString reason;
    if (WavFile::inspect(recording->reverseAudioPath(), layout, reason) != WavFile::Kind::Valid)
        return fail(QStringLiteral("the reversal “%1” cannot be read%2")
                        .arg(recording->reverseAudioPath(),
                             reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    // In the order they were said.
    std::sort(markers.begin(), markers.end(), [](const PhraseMarker &a, const PhraseMarker &b) {
        return a.frames.end > b.frames.end;
    });

    MarkerWordsStore wordsStore(context);
    QHash<qint64, QList<SpokenWord>> stored = wordsStore.words(recording->rowID(), &error);
    if (error)
        return fail(error.description);
    std::unique_ptr<SpeechRecogniser> recogniser;
    QString unavailable;
    int status = Ok;
    for (const PhraseMarker &marker : markers) {
        const FrameRange twin = mirrored(marker.frames, layout.frames);
        if (!stored.contains(marker.id)) {
            if (!recogniser && unavailable.isEmpty())
                recogniser = defaultSpeechRecogniserFactory()(unavailable);
            if (!recogniser) {
                printError(QStringLiteral("marker %1: %2").arg(marker.id).arg(unavailable));
                status = Failure;
                continue;
            }
            QString why;
            int rate = 0;
            const auto samples =
                speechSamples(recording->currentAudioPath(), twin.start, twin.length(), why, &rate);
            auto words =
                samples ? recogniser->recognise(*samples, Interruption::flag(), why) : std::nullopt;
            if (Interruption::signalNumber())
                return Interruption::exitCode();
            if (!words) {
                printError(QStringLiteral("marker %1: %2").arg(marker.id).arg(why));
                status = Failure;
                continue;
            }
            for (SpokenWord &word : *words) {
                word.start += double(twin.start) / rate;
                word.end += double(twin.start) / rate;
            }
            if (!wordsStore.setWords(marker.id, marker.frames, *words, &error))
                printError(error.description);
            stored.insert(marker.id, *words);
        }
        const double rate = layout.sampleRate;
        printOut(QStringLiteral("# marker %1, forward %2-%3: %4")
                     .arg(marker.id)
                     .arg(seconds(twin.start / rate), seconds(twin.end / rate),
                          QString(marker.text).replace(u'\n', u' ')));
        for (const SpokenWord &word : stored.value(marker.id))
            printOut(QStringLiteral("%1\t%2\t%3")
                         .arg(seconds(word.start), seconds(word.end), word.text));
    }
    return status;
}

} // namespace murmelo::cli
