#include "StoreFixture.h"
#include "library/Library.h"
#include "platform/StandardPaths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>

using namespace murmelo;
using namespace murmelo::test;

namespace {
using RecordingTest = StoreFixture;

TEST_F(RecordingTest, PathsAreFreshUuidNamesAndNoFileIsMade)
{
    const QString temp = StandardPaths::temporaryDirectory();
    const QRegularExpression tempName(QRegularExpression::escape(temp) +
                                      QStringLiteral("murmelo\\|%1\\|[0-9A-F]{8}(-[0-9A-F]{4}){3}-"
                                                     "[0-9A-F]{12}\\.wav")
                                          .arg(QCoreApplication::applicationPid()));
    const QString a = Library::temporaryAudioPath();
    const QString b = Library::temporaryAudioPath();
    EXPECT_NE(a, b);
    EXPECT_TRUE(tempName.match(a).hasMatch()) << qPrintable(a);
    EXPECT_FALSE(QFileInfo::exists(a));

    const QString p = Recording::audioPath();
    EXPECT_NE(p, Recording::audioPath());
    EXPECT_EQ(QFileInfo(p).absolutePath(), StandardPaths::applicationSupportDirectory());
    EXPECT_EQ(QFileInfo(p).fileName().size(), 36 + 4);
    EXPECT_FALSE(QFileInfo::exists(p));
}

TEST_F(RecordingTest, AdoptionMovesTemporaryFilesKeepsPermanentOnesAndRemovesReplacedOnes)
{
    auto context = openContext();
    auto recording = Recording::insertInManagedObjectContext(*context);
    const QString forward = temporaryFile(1000);
    const QString reverse = temporaryFile(2000);
    recording->setAudioPath(forward, reverse);

    const QString savedForward = recording->currentAudioPath();
    const QString savedReverse = recording->reverseAudioPath();
    EXPECT_TRUE(savedForward.startsWith(StandardPaths::applicationSupportDirectory()));
    EXPECT_TRUE(savedForward.endsWith(QLatin1String(".wav")));
    EXPECT_NE(savedForward, savedReverse);
    EXPECT_FALSE(QFileInfo::exists(forward));
    EXPECT_FALSE(QFileInfo::exists(reverse));
    EXPECT_EQ(contents(savedForward), patternBytes(1000));
    EXPECT_EQ(contents(savedReverse), patternBytes(2000));
    ASSERT_TRUE(context->save());

    // Saving again with its own paths touches nothing.
    recording->setAudioPath(savedForward, savedReverse);
    ASSERT_TRUE(context->save());
    EXPECT_EQ(recording->currentAudioPath(), savedForward);
    EXPECT_EQ(contents(savedForward), patternBytes(1000));
    EXPECT_EQ(contents(savedReverse), patternBytes(2000));

    // A new forward file (a crop) replaces the old one, which goes once the save is done.
    recording->setAudioPath(temporaryFile(500), savedReverse);
    EXPECT_TRUE(QFileInfo::exists(savedForward)) << "still named by the saved record";
    ASSERT_TRUE(context->save());
    EXPECT_FALSE(QFileInfo::exists(savedForward));
    EXPECT_EQ(recording->reverseAudioPath(), savedReverse);
    EXPECT_EQ(contents(recording->currentAudioPath()), patternBytes(500));

    // A path outside the temporary folder is used as it is; an absent one gets a fresh name.
    const QString elsewhere = folder + QStringLiteral("/kept.wav");
    writePatternFile(elsewhere, 300);
    auto other = Recording::insertInManagedObjectContext(*context);
    other->setAudioPath(elsewhere, QString());
    EXPECT_EQ(other->currentAudioPath(), elsewhere);
    EXPECT_EQ(contents(elsewhere), patternBytes(300));
    EXPECT_TRUE(other->reverseAudioPath().startsWith(StandardPaths::applicationSupportDirectory()));

    // The saved record reads back with its adopted paths.
    const QUrl uri = recording->objectURI();
    context.reset();
    auto reopened = openContext();
    auto loaded = std::static_pointer_cast<Recording>(reopened->objectAtURI(uri));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->reverseAudioPath(), savedReverse);
    EXPECT_FALSE(reopened->objectAtURI(QUrl(QStringLiteral("murmelo-store://Recording/999"))));
    EXPECT_FALSE(reopened->objectAtURI(QUrl(QStringLiteral("file:///etc/passwd"))));
}

TEST_F(RecordingTest, IdentityOfADeletedRecordIsNeverHandedOutAgain)
{
    const auto insert = [](StoreContext &context, const char *name) {
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setName(QString::fromLatin1(name));
        return recording;
    };
    auto context = openContext();
    auto older = insert(*context, "older");
    auto newest = insert(*context, "newest");
    ASSERT_TRUE(context->save());
    const QUrl olderURI = older->objectURI();
    const QUrl newestURI = newest->objectURI();
    const qint64 newestID = newest->rowID();

    // The newest record goes and a new one comes in the same save, as a crop that replaces
    // its original does.
    newest->deleteObject();
    auto next = insert(*context, "next");
    ASSERT_TRUE(context->save());
    EXPECT_GT(next->rowID(), newestID);
    EXPECT_NE(next->objectURI(), newestURI);
    EXPECT_FALSE(context->objectAtURI(newestURI));
    EXPECT_EQ(context->objectAtURI(olderURI), older);

    // Deleted in its own save, then a restart: the file remembers what it handed out.
    const QUrl nextURI = next->objectURI();
    const qint64 nextID = next->rowID();
    next->deleteObject();
    ASSERT_TRUE(context->save());
    older.reset();
    newest.reset();
    next.reset();
    context.reset();
    context = openContext();
    auto afterRestart = insert(*context, "after restart");
    ASSERT_TRUE(context->save());
    EXPECT_GT(afterRestart->rowID(), nextID);
    EXPECT_FALSE(context->objectAtURI(nextURI));
    EXPECT_FALSE(context->objectAtURI(newestURI));

    // Nor does emptying the store start the count again.
    const qint64 lastID = afterRestart->rowID();
    for (const auto &object : context->fetchObjects(Recording::entityName()))
        std::static_pointer_cast<Recording>(object)->deleteObject();
    ASSERT_TRUE(context->save());
    ASSERT_TRUE(context->fetchObjects(Recording::entityName()).empty());
    auto first = insert(*context, "first of a new list");
    ASSERT_TRUE(context->save());
    EXPECT_GT(first->rowID(), lastID);
    EXPECT_FALSE(context->objectAtURI(olderURI));
    ASSERT_EQ(context->fetchObjects(Recording::entityName()).size(), 1u);
}

TEST_F(RecordingTest, DeleteRemovesBothFilesEvenUnsavedAndCopesWithFilesAlreadyGone)
{
    auto context = openContext();
    auto recording = Recording::insertInManagedObjectContext(*context);
    recording->setAudioPath(temporaryFile(), temporaryFile());
    ASSERT_TRUE(context->save());
    const QString forward = recording->currentAudioPath();
    const QString reverse = recording->reverseAudioPath();

    recording->deleteObject();
    EXPECT_FALSE(QFileInfo::exists(forward));
    EXPECT_FALSE(QFileInfo::exists(reverse));
    EXPECT_TRUE(recording->isDeleted());

    // Never saved, the deletion did not happen: the next start gives the files back.
    const QUrl uri = recording->objectURI();
    recording.reset();
    context.reset();
    context = openContext();
    Recording::recoverFiles(*context);
    recording = std::static_pointer_cast<Recording>(context->objectAtURI(uri));
    ASSERT_TRUE(recording);
    EXPECT_TRUE(QFileInfo::exists(forward));
    EXPECT_TRUE(QFileInfo::exists(reverse));

    // Saved, it is final.
    recording->deleteObject();
    ASSERT_TRUE(context->save());
    Recording::recoverFiles(*context);
    EXPECT_FALSE(QFileInfo::exists(forward));
    EXPECT_TRUE(QDir(StandardPaths::applicationSupportDirectory())
                    .entryList({QStringLiteral(".*.deleted")}, QDir::Hidden | QDir::Files)
                    .isEmpty());

    auto orphan = Recording::insertInManagedObjectContext(*context);
    orphan->setAudioPath(temporaryFile(), temporaryFile());
    ASSERT_TRUE(context->save());
    QFile::remove(orphan->currentAudioPath());
    QFile::remove(orphan->reverseAudioPath());
    orphan->deleteObject();
    ASSERT_TRUE(context->save());
    EXPECT_TRUE(context->fetchObjects(Recording::entityName()).empty());
}

TEST_F(RecordingTest, ScalarsReadFalseAndZeroWhenAbsentAndPrimitiveChangesAreSavedQuietly)
{
    auto context = openContext();
    auto recording = Recording::insertInManagedObjectContext(*context);
    EXPECT_FALSE(recording->isImportedValue());
    EXPECT_FALSE(recording->playingValue());
    EXPECT_EQ(recording->speedValue(), 0.0f);
    EXPECT_FALSE(recording->speed().isValid());
    ASSERT_TRUE(context->save());

    // Reloaded from the file, absent numbers are still absent.
    const QUrl uri = recording->objectURI();
    recording.reset();
    auto loaded = std::static_pointer_cast<Recording>(context->objectAtURI(uri));
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loaded->isImported().isValid());
    EXPECT_EQ(loaded->speedValue(), 0.0f);

    loaded->setSpeedValue(0.75f);
    loaded->setIsImportedValue(true);
    StoreChanges seen;
    QObject::connect(context.get(), &StoreContext::didSave,
                     [&](const StoreChanges &changes) { seen = changes; });
    ASSERT_TRUE(context->save());
    EXPECT_EQ(seen.updated.size(), 1u);

    loaded->setPrimitivePlayingValue(true);
    seen = {};
    ASSERT_TRUE(context->save());
    EXPECT_TRUE(seen.updated.empty()) << "a primitive change is not announced";

    loaded.reset();
    context.reset();
    auto reopened = openContext();
    auto again = std::static_pointer_cast<Recording>(reopened->objectAtURI(uri));
    ASSERT_TRUE(again);
    EXPECT_FLOAT_EQ(again->speedValue(), 0.75f);
    EXPECT_TRUE(again->isImportedValue());
    EXPECT_TRUE(again->playingValue()) << "but it is written";
}

TEST_F(RecordingTest, ValuesReadBackAsWrittenFromSavesOfOneRowAndOfMany)
{
    auto context = openContext();
    const QDateTime local = QDateTime(QDate(2025, 7, 1), QTime(23, 30), Qt::LocalTime);
    const QString accented = QStringLiteral("Grüße, 日本語 \U0001F3B5");
    const auto add = [&](const QString &name) {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(name);
        recording->setDate(local);
        recording->setWaveformImageData(QByteArray("\x89PNG\0\1\2", 7));
        return recording;
    };
    auto alone = add(accented);
    ASSERT_TRUE(context->save()) << "one row";
    auto first = add(QString(QLatin1String("")));
    auto second = add(accented + accented);
    ASSERT_TRUE(context->save()) << "two rows";
    // Identities are permanent once saved.
    const QList<QUrl> uris{alone->objectURI(), first->objectURI(), second->objectURI()};
    alone.reset();
    first.reset();
    second.reset();

    context.reset();
    auto reopened = openContext();
    const auto loaded = [&](const QUrl &uri) {
        return std::static_pointer_cast<Recording>(reopened->objectAtURI(uri));
    };
    for (const QUrl &uri : uris) {
        const auto recording = loaded(uri);
        ASSERT_TRUE(recording);
        EXPECT_EQ(recording->date(), local) << "the same instant";
        EXPECT_EQ(recording->date().toMSecsSinceEpoch(), local.toMSecsSinceEpoch());
        EXPECT_EQ(recording->waveformImageData(), QByteArray("\x89PNG\0\1\2", 7));
    }
    EXPECT_EQ(loaded(uris[0])->name(), accented);
    EXPECT_EQ(loaded(uris[2])->name(), accented + accented);
    EXPECT_TRUE(loaded(uris[1])->name().isEmpty());
    EXPECT_EQ(reopened->database()
                  .scalar(QStringLiteral("SELECT count(*) FROM recording WHERE name = ''"))
                  .toInt(),
              1);
}

TEST_F(RecordingTest, WaveformImageRoundTripsThroughPng)
{
    auto context = openContext();
    auto recording = Recording::insertInManagedObjectContext(*context);
    EXPECT_TRUE(recording->waveformImage().isNull());

    QImage image(225, 54, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(10, 5, 4, 40, QColor(200, 30, 30));
    recording->setWaveformImage(image);
    EXPECT_TRUE(recording->waveformImageData().startsWith("\x89PNG"));
    ASSERT_TRUE(context->save());

    const QUrl uri = recording->objectURI();
    recording.reset();
    context.reset();
    auto reopened = openContext();
    auto loaded = std::static_pointer_cast<Recording>(reopened->objectAtURI(uri));
    ASSERT_TRUE(loaded);
    const QImage back = loaded->waveformImage();
    EXPECT_EQ(back.size(), image.size());
    EXPECT_EQ(back.pixel(11, 20), image.pixel(11, 20));
    EXPECT_EQ(back.pixel(100, 20), image.pixel(100, 20));
}

TEST_F(RecordingTest, FilterValuesAreBoundNotPasted)
{
    auto context = openContext();
    const QStringList names{QStringLiteral("Robert'); DROP TABLE recording; --"),
                            QStringLiteral("50% \"quoted\" _x_"), QStringLiteral("plain")};
    for (const auto &name : names) {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(name);
        recording->setDate(QDateTime::fromSecsSinceEpoch(1000 + name.size(), QTimeZone::utc()));
    }
    ASSERT_TRUE(context->save());

    auto byName = [&](StoreFilter::Op op, const QString &value) {
        QStringList found;
        for (const auto &o :
             context->fetchObjects(Recording::entityName(), StoreFilter().where("name", op, value)))
            found << std::static_pointer_cast<Recording>(o)->name();
        return found;
    };
    EXPECT_EQ(byName(StoreFilter::Equal, names[0]), QStringList{names[0]});
    EXPECT_EQ(byName(StoreFilter::Contains, QStringLiteral("%")), QStringList{names[1]});
    EXPECT_EQ(byName(StoreFilter::BeginsWith, QStringLiteral("50% \"")), QStringList{names[1]});
    EXPECT_TRUE(byName(StoreFilter::Equal, QStringLiteral("x' OR '1'='1")).isEmpty());
    EXPECT_EQ(context->fetchObjects(Recording::entityName()).size(), 3u) << "table intact";

    const auto sorted =
        context->fetchObjects(Recording::entityName(), {}, {{QStringLiteral("date"), false}});
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(std::static_pointer_cast<Recording>(sorted[0])->name(), names[0]);

    StoreError error;
    EXPECT_TRUE(context
                    ->fetchObjects(Recording::entityName(),
                                   StoreFilter().where("name = name OR 1", StoreFilter::Equal, 1),
                                   {}, &error)
                    .empty());
    EXPECT_EQ(error.code, StoreError::BadRequest) << "attribute names come from the schema";
}

} // namespace
