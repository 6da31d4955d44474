#include "library/Library.h"

#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/Defaults.h"
#include "platform/TemporaryFiles.h"

namespace murmelo {

namespace {
const QString kDefaultNameKey = QStringLiteral("defaultName");
} // namespace

Library::Library(StoreContext &store) : store_(store) {}

QString Library::temporaryAudioPath()
{
    return TemporaryFiles::newPath(QStringLiteral(".wav"));
}

std::shared_ptr<Recording> Library::adopt(const Reversal &reversal, const Details &details,
                                          StoreError *error)
{
    auto recording = Recording::insertInManagedObjectContext(store_);
    recording->setIsImportedValue(reversal.imported);
    recording->setDate(details.date);
    recording->setAudioPath(reversal.audioPath, reversal.reverseAudioPath);
    recording->setWaveformImage(reversal.waveformImage);
    if (details.speed)
        recording->setSpeedValue(*details.speed);
    if (!details.name.isEmpty())
        recording->setName(details.name);
    recording->setMessage(details.message);
    nameIfUnnamed(*recording);
    store_.save(error);
    return recording;
}

void Library::nameIfUnnamed(Recording &recording)
{
    if (!recording.name().isEmpty())
        return;
    Defaults &settings = Defaults::standard();
    const qint64 next = settings.integerForKey(kDefaultNameKey) + 1;
    recording.setName(QStringLiteral("Reversal %1").arg(next));
    settings.setInteger(kDefaultNameKey, next);
    settings.synchronize();
}

} // namespace murmelo
