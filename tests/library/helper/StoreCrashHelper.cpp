// Adopts and saves recordings in a loop until it is killed: new records, replaced forward
// files and deletions, each with real files of checkable content.
#include "helper/PatternFile.h"
#include "library/Library.h"
#include "library/Recording.h"
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
