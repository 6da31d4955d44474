#include "library/Library.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "support/TestSupport.h"
#include "support/TestWav.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace murmelo {
namespace {

using Outcome = test::ProcessOutcome;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each test has its own library: XDG_DATA_HOME points at a fresh folder for this process and
// for the `murmelo` it starts.
class LibraryCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder =
            test::scratchRoot() + QStringLiteral("/library-") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QDir().mkpath(folder + QStringLiteral("/data"));
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (folder + QStringLiteral("/data")).toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", savedDataHome); }

    Outcome murmelo(const QStringList &arguments)
    {
        const Outcome outcome =
            test::runMurmelo(QStringList{QStringLiteral("library")} + arguments);
        EXPECT_NE(outcome.exitCode, -1) << "murmelo crashed or hung";
        return outcome;
    }

    std::unique_ptr<StoreContext> openStore()
    {
        auto context = std::make_unique<StoreContext>();
        EXPECT_TRUE(context->open());
        return context;
    }

    static QString audioFile(const QByteArray &bytes)
    {
        const QString path = Library::temporaryAudioPath();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }

    std::shared_ptr<Recording> add(StoreContext &context, const QString &name, int hour)
    {
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setName(name);
        recording->setMessage(QStringLiteral("message of ") + name);
        recording->setDate(QDateTime(QDate(2024, 5, 1), QTime(hour, 30), QTimeZone::utc()));
        recording->setAudioPath(audioFile("forward " + name.toUtf8()),
                                audioFile("reverse " + name.toUtf8()));
        return recording;
    }

    QString folder;
    QByteArray savedDataHome;
};

TEST_F(LibraryCommand, ListsEveryRecordNewestFirstAsTextAndJson)
{
    auto context = openStore();
    auto older = add(*context, QStringLiteral("older"), 8);
    auto newer = add(*context, QStringLiteral("Grüße"), 9);
    newer->setIsImportedValue(true);
    newer->setSpeedValue(1.5f);
    newer->setMessage(QStringLiteral("two\nlines"));
    ASSERT_TRUE(context->save());

    const Outcome json = murmelo({QStringLiteral("list"), QStringLiteral("--json")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 2);
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first[QStringLiteral("id")].toString(), newer->objectURI().toString());
    EXPECT_EQ(first[QStringLiteral("rowId")].toInteger(), newer->rowID());
    EXPECT_EQ(first[QStringLiteral("name")].toString(), QStringLiteral("Grüße"));
    EXPECT_EQ(first[QStringLiteral("message")].toString(), QStringLiteral("two\nlines"));
    EXPECT_EQ(QDateTime::fromString(first[QStringLiteral("date")].toString(), Qt::ISODate),
              newer->date());
    EXPECT_EQ(first[QStringLiteral("audioPath")].toString(), newer->currentAudioPath());
    EXPECT_EQ(first[QStringLiteral("reverseAudioPath")].toString(), newer->reverseAudioPath());
    EXPECT_DOUBLE_EQ(first[QStringLiteral("speed")].toDouble(), 1.5);
    EXPECT_TRUE(first[QStringLiteral("imported")].toBool());
    EXPECT_FALSE(rows[1].toObject()[QStringLiteral("imported")].toBool());
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("name")].toString(), QStringLiteral("older"));

    const Outcome text = murmelo({QStringLiteral("list")});
    ASSERT_EQ(text.exitCode, 0);
    const qsizetype newerAt = text.out.indexOf(newer->objectURI().toString());
    const qsizetype olderAt = text.out.indexOf(older->objectURI().toString());
    EXPECT_GE(newerAt, 0);
    EXPECT_GT(olderAt, newerAt);
    EXPECT_TRUE(text.out.contains(older->reverseAudioPath()));
}

TEST_F(LibraryCommand, ListWithoutALibraryIsEmptyAndMakesNoStoreFile)
{
    const Outcome run = murmelo({QStringLiteral("list"), QStringLiteral("--json")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(QJsonDocument::fromJson(run.out.toUtf8()).array().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(StoreContext::defaultStorePath()));
    EXPECT_EQ(murmelo({QStringLiteral("delete"), QStringLiteral("1")}).exitCode, 1);
}

TEST_F(LibraryCommand, ExportWritesBothWavFilesAndTheMessageWithoutReplacingAnything)
{
    auto context = openStore();
    auto recording = add(*context, QStringLiteral("../.hidden/name"), 9);
    ASSERT_TRUE(context->save());
    const QString out = folder + QStringLiteral("/out/nested");

    const Outcome run =
        murmelo({QStringLiteral("export"), QString::number(recording->rowID()), out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList written = run.out.trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(written.size(), 3);
    for (const QString &file : written)
        EXPECT_EQ(QFileInfo(file).absolutePath(), out) << "nothing escapes the folder";
    EXPECT_EQ(contents(written[0]), contents(recording->currentAudioPath()));
    EXPECT_EQ(contents(written[1]), contents(recording->reverseAudioPath()));
    EXPECT_TRUE(written[0].endsWith(QStringLiteral(".wav")));
    EXPECT_TRUE(written[1].endsWith(QStringLiteral(".wav")));
    EXPECT_EQ(contents(written[2]), "message of ../.hidden/name\n");
    EXPECT_FALSE(QFileInfo(written[0]).fileName().startsWith(QLatin1Char('.')));

    // Again into the same folder, by identity URI: refused, the first export untouched.
    QFile::remove(written[2]);
    const Outcome again =
        murmelo({QStringLiteral("export"), recording->objectURI().toString(), out});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already there")));
    EXPECT_FALSE(QFileInfo::exists(written[2]));
}

TEST_F(LibraryCommand, ExportOfARecordWhoseFileIsGoneSaysSoAndWritesNothing)
{
    auto context = openStore();
    auto recording = add(*context, QStringLiteral("broken"), 9);
    ASSERT_TRUE(context->save());
    QFile::remove(recording->reverseAudioPath());
    const QString out = folder + QStringLiteral("/out");

    const Outcome run = murmelo({QStringLiteral("export"), QStringLiteral("1"), out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(recording->reverseAudioPath())) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(LibraryCommand, DeleteRemovesFilesAndRecordWhileTheStoreIsOpenElsewhere)
{
    // The context stays open through the runs, as the application's would.
    auto context = openStore();
    auto keep = add(*context, QStringLiteral("keep"), 8);
    auto gone = add(*context, QStringLiteral("gone"), 9);
    ASSERT_TRUE(context->save());
    const QStringList files = {gone->currentAudioPath(), gone->reverseAudioPath()};
    const QString uri = gone->objectURI().toString();
    gone.reset();

    const Outcome run = murmelo({QStringLiteral("delete"), uri});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(uri));
    for (const QString &file : files)
        EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_TRUE(QFileInfo::exists(keep->reverseAudioPath()));

    const auto keys =
        context->fetchSortKeys(Recording::entityName(), QStringLiteral("date"), false);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].rowID, keep->rowID());
    const Outcome twice = murmelo({QStringLiteral("delete"), uri});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(twice.err.contains(QStringLiteral("no saved recording")));
    add(*context, QStringLiteral("after"), 10);
    EXPECT_TRUE(context->save()) << "the application goes on saving";
}

TEST_F(LibraryCommand, BadArgumentsAreUsageErrors)
{
    auto context = openStore();
    add(*context, QStringLiteral("one"), 9);
    ASSERT_TRUE(context->save());
    for (const QStringList &arguments :
         {QStringList{}, QStringList{QStringLiteral("rename")}, QStringList{"export", "1"},
          QStringList{"delete"}, QStringList{"list", "extra"},
          QStringList{"delete", "1", "--json"}}) {
        const Outcome run = murmelo(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("murmelo library --help")));
    }
    for (const QString &id : {QStringLiteral("999"), QStringLiteral("murmelo-store://Recording/7"),
                              QStringLiteral("not an id"), QStringLiteral("0")}) {
        const Outcome run = murmelo({QStringLiteral("delete"), id});
        EXPECT_EQ(run.exitCode, 1) << id.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("no saved recording"))) << id.toStdString();
    }
    EXPECT_EQ(context->fetchSortKeys(Recording::entityName(), QStringLiteral("date"), false).size(),
              1u);
}

QByteArray checksum(const QString &path)
{
    return QCryptographicHash::hash(contents(path), QCryptographicHash::Sha256);
}

TEST_F(LibraryCommand, DamagedOrEmptyStoreIsReportedAndNeverWritten)
{
    const QString store = StoreContext::defaultStorePath();
    {
        auto context = openStore();
        for (int i = 0; i < 300; ++i) {
            auto recording = Recording::insertInManagedObjectContext(*context);
            recording->setMessage(QString(200, QLatin1Char('a' + i % 26)));
            recording->setWaveformImageData(QByteArray(1000, char(i)));
        }
        ASSERT_TRUE(context->save());
    }
    // Pages in the middle overwritten, the header page sound: the file opens and reads its
    // version, and only the page check finds the damage.
    {
        QFile file(store);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_GT(file.size(), 16 * 4096);
        file.seek(5 * 4096);
        file.write(QByteArray(3 * 4096, '\xff'));
    }
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(store.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA user_version", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    const QByteArray before = checksum(store);
    for (const QStringList &arguments :
         {QStringList{"list"}, QStringList{"list", "--json"}, QStringList{"delete", "1"},
          QStringList{"export", "1", folder + QStringLiteral("/out")}}) {
        const Outcome run = murmelo(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("is damaged"))) << run.err.toStdString();
        EXPECT_EQ(checksum(store), before) << arguments.join(' ').toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(store + QStringLiteral("-wal")));

    // An empty file (a crash before the first save) is an empty library, left empty.
    QFile::resize(store, 0);
    const Outcome list = murmelo({QStringLiteral("list")});
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.isEmpty());
    EXPECT_EQ(QFileInfo(store).size(), 0);
    EXPECT_FALSE(QFileInfo::exists(store + QStringLiteral("-wal")));
}

TEST_F(LibraryCommand, EveryCommandFinishesWhatAKilledOneLeftAndSweepsUnnamedAudio)
{
    auto context = openStore();
    auto kept = add(*context, QStringLiteral("kept"), 8);
    ASSERT_TRUE(context->save());
    const QStringList files = {kept->currentAudioPath(), kept->reverseAudioPath()};
    const QString uri = kept->objectURI().toString();
    kept.reset();
    context.reset();

    // `library delete` killed after setting the files aside and before its commit.
    for (const QString &file : files) {
        const QFileInfo info(file);
        ASSERT_TRUE(QFile::rename(file, info.absolutePath() + QStringLiteral("/.") +
                                            info.fileName() + QStringLiteral(".deleted")));
    }
    // A save killed after moving its file in and before its commit.
    const QString recordings = QFileInfo(files[0]).absolutePath();
    const QString orphan = recordings + QStringLiteral("/0A6F3A2C-1111-4222-8333-444455556666.wav");
    QFile(orphan).open(QIODevice::WriteOnly);
    // A save in progress in another process right now: its file is not named yet either.
    context = openStore();
    auto saving = add(*context, QStringLiteral("saving"), 9);
    const QString inFlight = saving->currentAudioPath();
    ASSERT_TRUE(inFlight.startsWith(recordings));

    const Outcome list = murmelo({QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.contains(uri));
    for (const QString &file : files)
        EXPECT_TRUE(QFileInfo::exists(file)) << "the unsaved deletion is undone";
    EXPECT_TRUE(QFileInfo::exists(inFlight)) << "a save in progress keeps its file";
    EXPECT_TRUE(QFileInfo::exists(orphan)) << "nothing is swept while a save is in progress";

    ASSERT_TRUE(context->save());
    ASSERT_EQ(murmelo({QStringLiteral("list")}).exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(orphan));
    EXPECT_TRUE(QFileInfo::exists(inFlight));
    for (const QString &file : files)
        EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(LibraryCommand, DeleteNeverRemovesFilesOutsideTheLibrary)
{
    auto context = openStore();
    auto recording = add(*context, QStringLiteral("edited"), 9);
    ASSERT_TRUE(context->save());
    const QString own = recording->reverseAudioPath();
    // A store edited by hand: the forward path names a file of the user's elsewhere, once
    // directly and once through the recordings folder's parent.
    const QString outside = folder + QStringLiteral("/precious.wav");
    QFile file(outside);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
    file.close();
    const QString sneaky = QFileInfo(own).absolutePath() + QStringLiteral("/../../../precious.wav");
    ASSERT_TRUE(QFileInfo(sneaky).exists());
    auto second = add(*context, QStringLiteral("edited too"), 10);
    ASSERT_TRUE(context->save());
    const qint64 firstID = recording->rowID();
    const qint64 secondID = second->rowID();
    recording.reset();
    second.reset();
    context.reset();
    for (const auto &[rowID, path] : {std::pair{firstID, outside}, {secondID, sneaky}}) {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(StoreContext::defaultStorePath().toUtf8().constData(), &db),
                  SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "UPDATE recording SET audioPath = ? WHERE id = ?", -1, &stmt,
                           nullptr);
        const QByteArray bytes = path.toUtf8();
        sqlite3_bind_text(stmt, 1, bytes.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 2, rowID);
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }

    for (const qint64 rowID : {firstID, secondID}) {
        const Outcome run = murmelo({QStringLiteral("delete"), QString::number(rowID)});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    }
    EXPECT_EQ(contents(outside), "mine");
    EXPECT_FALSE(QFileInfo::exists(own)) << "its own file still goes";
    EXPECT_EQ(murmelo({QStringLiteral("list")}).out, QString());
}

TEST_F(LibraryCommand, TitlesAreShownHarmlessAndBecomeWholeSafeFileNames)
{
    auto context = openStore();
    const QString escape = QStringLiteral("Red\x1b[31m alert\u202Egnp.wav");
    auto shown = add(*context, escape, 8);
    auto euros = add(*context, QString(100, QChar(0x20AC)), 9);
    auto emoji =
        add(*context,
            QString(60, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(40), 10);
    ASSERT_TRUE(context->save());

    const Outcome list = murmelo({QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0);
    EXPECT_FALSE(list.out.contains(QChar(0x1b))) << "no escape sequence reaches the terminal";
    EXPECT_FALSE(list.out.contains(QChar(0x202E)));
    EXPECT_TRUE(list.out.contains(QStringLiteral("Red\\x1b[31m alert\\u202egnp.wav")))
        << list.out.toStdString();
    // JSON keeps the exact title for programs.
    const Outcome json = murmelo({QStringLiteral("list"), QStringLiteral("--json")});
    EXPECT_TRUE(json.out.contains(QStringLiteral("\\u001b"))) << json.out.toStdString();

    for (const auto &recording : {shown, euros, emoji}) {
        const QString out = folder + QStringLiteral("/out-%1").arg(recording->rowID());
        const Outcome run =
            murmelo({QStringLiteral("export"), QString::number(recording->rowID()), out});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        for (const QString &file : run.out.trimmed().split(QLatin1Char('\n'))) {
            const QString name = QFileInfo(file).fileName();
            EXPECT_LE(name.toUtf8().size(), 255);
            EXPECT_FALSE(name.contains(QChar(0xFFFD))) << "cut inside a character";
            EXPECT_FALSE(name.contains(QChar(0x202E)));
            EXPECT_FALSE(name.contains(QChar(0x1b)));
            EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        }
    }
    // 100 euro signs are 300 bytes: cut to whole signs that fit.
    const QString euroFile = murmelo({QStringLiteral("export"), QString::number(euros->rowID()),
                                      folder + QStringLiteral("/again")})
                                 .out.section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(QFileInfo(euroFile).completeBaseName().startsWith(QString(60, QChar(0x20AC))));
}

TEST_F(LibraryCommand, ExportNeverWritesThroughALinkInTheFolder)
{
    auto context = openStore();
    auto recording = add(*context, QStringLiteral("note"), 9);
    ASSERT_TRUE(context->save());
    const QString out = folder + QStringLiteral("/out");
    QDir().mkpath(out);
    const QString victim = folder + QStringLiteral("/victim.txt");
    ASSERT_TRUE(QFile::link(victim, out + QStringLiteral("/note.txt")));

    const Outcome run =
        murmelo({QStringLiteral("export"), QString::number(recording->rowID()), out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("already there"))) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(victim));
    EXPECT_EQ(
        QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System),
        QStringList{QStringLiteral("note.txt")})
        << "nothing half written is left";
}

} // namespace
} // namespace murmelo

namespace murmelo {
namespace {

// Mono 16-bit PCM of silence: enough for the labels to take their rate and length from.
QByteArray silentWav(quint32 rate, quint32 frames)
{
    return test::monoWav(std::vector<qint16>(frames), int(rate));
}

TEST_F(LibraryCommand, LabelsExportAndImportMarkersAndRefuseBadFilesWhole)
{
    auto context = openStore();
    auto recording = Recording::insertInManagedObjectContext(*context);
    recording->setAudioPath(audioFile(silentWav(8000, 80000)), audioFile(silentWav(8000, 80000)));
    ASSERT_TRUE(context->save());
    const QString id = QString::number(recording->rowID());
    PhraseMarkerStore(*context).replaceMarkers(recording->rowID(),
                                               {{0, {8000, 16000}, QStringLiteral("heard it")}});
    const auto labels = [&](const QStringList &arguments) {
        const Outcome outcome = test::runMurmelo(QStringList{QStringLiteral("labels")} + arguments);
        EXPECT_NE(outcome.exitCode, -1) << "murmelo crashed or hung";
        return outcome;
    };

    const QString forward = folder + QStringLiteral("/forward.txt");
    Outcome run = labels({QStringLiteral("export"), id, forward, QStringLiteral("--forward")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(contents(forward).endsWith("\n8.000000\t9.000000\theard it\n"));
    run = labels({QStringLiteral("export"), id, forward});
    EXPECT_EQ(run.exitCode, 1) << "an existing file is not replaced";

    // Edited elsewhere: CRLF, no header, forward seconds as the option says.
    const QString edited = folder + QStringLiteral("/edited.txt");
    QFile file(edited);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0.5\t1\tone\r\n2\t3\tzwei\r\n");
    file.close();
    run = labels({QStringLiteral("import"), id, edited, QStringLiteral("--forward")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<PhraseMarker> imported = PhraseMarkerStore(*context).markers(recording->rowID());
    ASSERT_EQ(imported.size(), 2);
    EXPECT_EQ(imported[0].frames, (FrameRange{56000, 64000}));
    EXPECT_EQ(imported[0].text, QStringLiteral("zwei"));
    EXPECT_EQ(imported[1].frames, (FrameRange{72000, 76000}));

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1\t2\tfine\n2\t1\tbackwards\n1\t20\ttoo long\n");
    file.close();
    run = labels({QStringLiteral("import"), id, edited});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("line 2:"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String("line 3:")));
    EXPECT_EQ(PhraseMarkerStore(*context).markers(recording->rowID()), imported);

    EXPECT_EQ(labels({QStringLiteral("import"), QStringLiteral("999"), edited}).exitCode, 1);
    EXPECT_EQ(labels({QStringLiteral("rename"), id, edited}).exitCode, 2);
}

} // namespace
} // namespace murmelo
