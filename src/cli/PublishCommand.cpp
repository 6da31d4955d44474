#include "cli/PublishCommand.h"

#include "cli/CommandSupport.h"
#include "cli/Interruption.h"
#include "cli/TerminalProgress.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "publish/PagePublisher.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

namespace murmelo::cli {

namespace {

int usage(const QString &message)
{
    return cli::usage("publish", message);
}

// "<title>.html" in the current folder, in letters, digits and dashes only.
QString defaultPageName(const Recording &recording)
{
    static const QRegularExpression others(QStringLiteral("[^a-z0-9]+"));
    QString stem = recording.name().normalized(QString::NormalizationForm_KD).toLower();
    stem.replace(others, QStringLiteral("-"));
    stem = stem.mid(0, 60);
    while (stem.startsWith(QLatin1Char('-')))
        stem.remove(0, 1);
    while (stem.endsWith(QLatin1Char('-')))
        stem.chop(1);
    if (stem.isEmpty())
        stem = QStringLiteral("reversal-%1").arg(recording.rowID());
    return stem + QStringLiteral(".html");
}

} // namespace

void declarePublishOptions(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("The page to write (default: <title>.html here; a page "
                                     "given here is replaced)"),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("folder"),
                      QStringLiteral("Write DIR/index.html with the clips as MP3 files beside "
                                     "it, for a web server"),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("slow"),
                      QStringLiteral("Speed of the slowed buttons (default 0.7, from 0.25 to "
                                     "below 1)"),
                      QStringLiteral("FACTOR")});
}

int publishCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return usage(QStringLiteral("expected the ID of one saved recording"));
    const bool folder = parser.isSet(QStringLiteral("folder"));
    if (folder && parser.isSet(QStringLiteral("output")))
        return usage(QStringLiteral("give either -o FILE or --folder DIR, not both"));
    PublishOptions options;
    options.folder = folder;
    if (parser.isSet(QStringLiteral("slow"))) {
        bool ok = false;
        options.slowFactor = parser.value(QStringLiteral("slow")).toDouble(&ok);
        if (!ok ||
            !(options.slowFactor >= PagePublisher::minimumSlowFactor && options.slowFactor < 1.0))
            return usage(QStringLiteral("--slow must be a number from 0.25 to below 1"));
    }

    StoreContext context;
    const auto recording = openSavedRecording(context, args[0]);
    if (!recording)
        return Failure;
    StoreError error;
    const QList<PhraseMarker> markers =
        PhraseMarkerStore(context).markers(recording->rowID(), &error);
    if (error)
        return fail(error.description);

    QString target;
    if (folder) {
        target = parser.value(QStringLiteral("folder"));
        if (QFileInfo(target).exists() && !QFileInfo(target).isDir())
            return fail(QStringLiteral("“%1” is a file, not a folder").arg(target));
    } else if (parser.isSet(QStringLiteral("output"))) {
        target = parser.value(QStringLiteral("output"));
        if (QFileInfo(target).isDir())
            return fail(
                QStringLiteral("“%1” is a folder; give a file name, or --folder").arg(target));
    } else {
        target = defaultPageName(*recording);
        if (QFileInfo::exists(target))
            return fail(
                QStringLiteral("“%1” is already there; give -o %1 to replace it").arg(target));
    }

    PublishResult result;
    {
        TerminalProgress bar(QStringLiteral("Publishing"));
        result = PagePublisher::publish(PublishSource::of(*recording, markers), options, target,
                                        Interruption::flag(),
                                        [&bar](double fraction) { bar.update(fraction); });
    }
    switch (result.status) {
    case PublishResult::Status::Cancelled:
        fail(QStringLiteral("interrupted"));
        return Interruption::exitCode();
    case PublishResult::Status::Failed:
        return fail(result.error);
    case PublishResult::Status::Published:
        break;
    }
    if (!result.note.isEmpty())
        printError(result.note);
    printOut(result.page);
    return Ok;
}

} // namespace murmelo::cli
