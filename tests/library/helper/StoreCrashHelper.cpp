// Adopts and saves recordings in a loop until it is killed: new records, replaced forward
// files and deletions, each with real files of checkable content. With --holds it deletes
// recordings into holds for an undo instead, and restores or lets go of them.
#include "helper/PatternFile.h"
#include "library/Library.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/RecordingHold.h"
#include "library/StoreContext.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <cstdio>

using namespace murmelo;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo"));
    StoreContext context;
    if (!context.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(context.openError().description));
        return 2;
    }
    Recording::recoverFiles(context);
    if (argc > 2 && QByteArray(argv[2]) == "--recover-only")
        return 0;
    QRandomGenerator random(argc > 1 ? QByteArray(argv[1]).toUInt() : 1);
    const auto newFile = [&] {
        const QString path = Library::temporaryAudioPath();
        test::writePatternFile(path, 8 + random.bounded(200 * 1024));
        return path;
    };
    if (argc > 2 && QByteArray(argv[2]) == "--holds") {
        // Each recording's name says how many markers it has, so a check can tell a whole one.
        // It is named so only once its markers are in: one killed while it was being made is
        // "making", and no hold was begun on it.
        PhraseMarkerStore markers(context);
        for (;;) {
            auto recording = Recording::insertInManagedObjectContext(context);
            const int count = random.bounded(4);
            recording->setDate(QDateTime::currentDateTimeUtc());
            recording->setName(QStringLiteral("making"));
            recording->setAudioPath(newFile(), newFile());
            if (!context.save())
                return 3;
            for (int i = 0; i < count; ++i)
                markers.addMarker(recording->rowID(), PhraseMarker{0, {i * 10, i * 10 + 5}, {}});
            recording->setName(QStringLiteral("markers %1").arg(count));
            if (!context.save())
                return 3;
            StoreError error;
            auto hold = RecordingHold::hold(context, recording, &error);
            if (!hold) {
                std::fprintf(stderr, "%s\n", qPrintable(error.description));
                return 4;
            }
            std::puts("held");
            std::fflush(stdout);
            if (random.bounded(2) && !hold->restore(context, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error.description));
                return 5;
            }
        }
    }
    for (;;) {
        const int action = random.bounded(10);
        StoreObjectList all = context.fetchObjects(Recording::entityName());
        if (action < 7 || all.empty()) {
            auto recording = Recording::insertInManagedObjectContext(context);
            recording->setDate(QDateTime::currentDateTimeUtc());
            recording->setName(QStringLiteral("Reversal %1").arg(all.size() + 1));
            recording->setAudioPath(newFile(), newFile());
        } else {
            auto recording =
                std::static_pointer_cast<Recording>(all[random.bounded(int(all.size()))]);
            if (action < 9)
                recording->setAudioPath(newFile(), recording->reverseAudioPath());
            else
                recording->deleteObject();
        }
        if (!context.save())
            return 3;
        // Each whole save is told, so a test can kill the writer at a point of its choosing.
        std::puts("saved");
        std::fflush(stdout);
    }
}
