#include "cli/CommandSupport.h"

#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QFileInfo>
#include <cstdio>

namespace murmelo::cli {

namespace {

std::shared_ptr<Recording> findRecording(StoreContext &context, const QString &id)
{
    bool isRowID = false;
    const qint64 rowID = id.toLongLong(&isRowID);
    const auto object = isRowID ? context.objectWithID(Recording::entityName(), rowID)
                                : context.objectAtURI(QUrl(id));
    if (!object || object->entity().name != Recording::entityName())
        return nullptr;
    return std::static_pointer_cast<Recording>(object);
}

} // namespace

void printError(const QString &message)
{
    std::fprintf(stderr, "murmelo: %s\n", message.toLocal8Bit().constData());
}

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
}

int fail(const QString &message)
{
    printError(message);
    return Failure;
}

int usage(const char *command, const QString &message)
{
    printError(message);
    std::fprintf(stderr, "Try 'murmelo %s --help'.\n", command);
    return Usage;
}

std::shared_ptr<Recording> openSavedRecording(StoreContext &context, const QString &id)
{
    const QString path = StoreContext::defaultStorePath();
    if (QFileInfo(path).size() <= 0) {
        printError(QStringLiteral("no saved recording %1").arg(id));
        return nullptr;
    }
    if (!context.open(path)) {
        printError(context.openError().description);
        return nullptr;
    }
    Recording::recoverFiles(context);
    auto recording = findRecording(context, id);
    if (!recording)
        printError(QStringLiteral("no saved recording %1").arg(id));
    return recording;
}

} // namespace murmelo::cli
