// Files a hostile user or an unlucky machine hands every command: outputs that are the input
// under another name, links at output names, FIFOs, signals mid-way, and a corpus of broken and
// absurd audio run under a memory limit.
#include "audio/WavFile.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "support/TestSupport.h"
#include "support/TestWav.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {
namespace {

// Under the address sanitizer the program maps terabytes of shadow memory and runs a few times
// slower: the memory limit is left to the plain build and time limits are stretched.
#ifdef __SANITIZE_ADDRESS__
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
constexpr int slack = sanitized ? 3 : 1;

using test::chunk;
using test::fmtBody;
using test::le16;
using test::le32;
using test::riff;

QByteArray checksum(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

struct Outcome {
    int exitCode; // -1: crashed or killed by the time limit
    qint64 milliseconds;
    QString err;
};

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder =
            test::scratchRoot() + QStringLiteral("/hostile-") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        temporary = folder + QStringLiteral("-tmp");
        QDir().mkpath(folder);
        QDir().mkpath(temporary);
        good = write(QStringLiteral("good.wav"), riff(chunk("fmt ", fmtBody(1, 8000, 16)) +
                                                      chunk("data", QByteArray(16000, '\x11'))));
    }

    QString path(const QString &name) const { return folder + QLatin1Char('/') + name; }

    QString write(const QString &name, const QByteArray &bytes)
    {
        return test::writeFileBytes(path(name), bytes);
    }

    // A file of `size` bytes that costs no disk: `head`, then a hole that reads as zeros.
    QString sparse(const QString &name, const QByteArray &head, qint64 size)
    {
        const QString file = write(name, head);
        EXPECT_TRUE(QFile::resize(file, size));
        return file;
    }

    // The real `murmelo` in a child limited to 128 MiB of data (heap and stacks) and 64 MiB per
    // written file (unless asked not to), with its own temporary folder.
    Outcome murmelo(const QStringList &arguments, int timeLimitMs = 20000,
                    const std::function<void(QProcess &)> &whileRunning = {},
                    bool limitFileSize = true)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temporary);
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([limitFileSize] {
            if (!sanitized) {
                const rlimit data{128 << 20, 128 << 20};
                setrlimit(RLIMIT_DATA, &data);
            }
            if (limitFileSize) {
                const rlimit fileSize{64 << 20, 64 << 20};
                setrlimit(RLIMIT_FSIZE, &fileSize);
                signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing
            }
        });
        QElapsedTimer timer;
        timer.start();
        process.start(qEnvironmentVariable("MURMELO_BINARY_DIR") +
                          QStringLiteral("/src/app/murmelo"),
                      arguments);
        process.waitForStarted();
        if (whileRunning)
            whileRunning(process);
        const bool finished = process.waitForFinished(timeLimitMs * slack);
        if (!finished) {
            process.kill();
            process.waitForFinished();
        }
        return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                timer.elapsed(), QString::fromUtf8(process.readAllStandardError())};
    }

    // Everything in the folder that was not put there by the test: partial files, outputs.
    QStringList leftovers(const QStringList &inputs) const
    {
        QStringList left;
        for (const QString &name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                          QDir::NoDotAndDotDot | QDir::System)) {
            if (!inputs.contains(path(name)))
                left << name;
        }
        for (const QString &name : QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::NoDotAndDotDot | QDir::System)) {
            const QDir own(temporary + QLatin1Char('/') + name);
            if (!own.exists() ||
                !own.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System))
                left << temporary + QLatin1Char('/') + name;
        }
        return left;
    }

    // True once the process has a handler for the signal (its caught-signals mask says so).
    static bool catches(pid_t pid, int signal)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
        }
        return false;
    }

    // Every command that reads IN and writes OUT.
    static QList<QStringList> commandsFor(const QString &in, const QString &out,
                                          const QString &other)
    {
        return {
            {"reverse", in, "-o", out},      {"waveform", in, "-o", out},
            {"spectrogram", in, "-o", out},  {"clip", in, "--start", "0", "--end", "1", "-o", out},
            {"merge", in, other, "-o", out}, {"merge", other, in, "-o", out},
            {"import", in, "-o", out}};
    }

    QString folder;
    QString temporary;
    QString good;
};

TEST_F(HostileInput, OutputsThatAreTheInputUnderAnotherNameAreRefusedUntouched)
{
    const QByteArray before = checksum(good);
    const QString hard = path(QStringLiteral("hard.wav"));
    const QString soft = path(QStringLiteral("soft.wav"));
    ASSERT_EQ(::link(QFile::encodeName(good).constData(), QFile::encodeName(hard).constData()), 0);
    ASSERT_TRUE(QFile::link(good, soft));
    for (const QString &alias : {hard, soft}) {
        for (const QStringList &command : commandsFor(good, alias, good)) {
            const Outcome run = murmelo(command);
            EXPECT_EQ(run.exitCode, 2) << command.join(' ').toStdString() << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QStringLiteral("destroy the input")))
                << run.err.toStdString();
            EXPECT_EQ(checksum(good), before) << command.join(' ').toStdString();
        }
        const Outcome withPicture = murmelo({"reverse", good, "--waveform", alias});
        EXPECT_EQ(withPicture.exitCode, 2);
        EXPECT_EQ(checksum(good), before);
    }
    EXPECT_TRUE(QFileInfo(soft).isSymLink());
    EXPECT_EQ(QFileInfo(hard).size(), QFileInfo(good).size());
}

TEST_F(HostileInput, WritesReplaceLinksAtOutputNamesAndNeverGoThroughThem)
{
    const QString elsewhere = folder + QStringLiteral("-elsewhere");
    QDir().mkpath(elsewhere);
    const QString victim = elsewhere + QStringLiteral("/victim");

    // A dangling link at the name reverse picks itself: the next free name is used instead.
    const QString picked = path(QStringLiteral("good-reversed.wav"));
    ASSERT_TRUE(QFile::link(victim, picked));
    const Outcome reverse = murmelo({"reverse", good});
    ASSERT_EQ(reverse.exitCode, 0) << reverse.err.toStdString();
    EXPECT_TRUE(QFileInfo(picked).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("good-reversed-2.wav"))));
    EXPECT_FALSE(QFileInfo::exists(victim));

    // A link the user names as the output is replaced by the output, its target left alone.
    for (const QStringList &command : commandsFor(good, path(QStringLiteral("named.out")), good)) {
        QFile::remove(path(QStringLiteral("named.out")));
        ASSERT_TRUE(QFile::link(victim, path(QStringLiteral("named.out"))));
        const Outcome run = murmelo(command);
        EXPECT_EQ(run.exitCode, 0) << command.join(' ').toStdString() << run.err.toStdString();
        EXPECT_FALSE(QFileInfo(path(QStringLiteral("named.out"))).isSymLink());
        EXPECT_FALSE(QFileInfo::exists(victim)) << command.join(' ').toStdString();
    }

    // A failed command leaves an existing output as it was.
    const QString broken = write(QStringLiteral("broken.wav"), "RIFF\0\0\0\0WAVEjunk");
    const QByteArray kept = checksum(path(QStringLiteral("named.out")));
    for (const QStringList &command :
         commandsFor(broken, path(QStringLiteral("named.out")), good)) {
        EXPECT_EQ(murmelo(command).exitCode, 1) << command.join(' ').toStdString();
        EXPECT_EQ(checksum(path(QStringLiteral("named.out"))), kept);
    }
}

TEST_F(HostileInput, InputsThatAreNotRegularFilesAreRefusedAtOnce)
{
    const QString fifo = path(QStringLiteral("pipe.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString dangling = path(QStringLiteral("dangling.wav"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("nothing")), dangling));
    for (const QString &input : {fifo, folder, dangling, QStringLiteral("/dev/zero")}) {
        for (const QStringList &command : commandsFor(input, path(QStringLiteral("out")), good)) {
            const Outcome run = murmelo(command, 5000);
            EXPECT_EQ(run.exitCode, 1) << command.join(' ').toStdString() << run.err.toStdString();
            EXPECT_LT(run.milliseconds, 3000 * slack) << command.join(' ').toStdString();
            EXPECT_TRUE(run.err.contains(input)) << run.err.toStdString();
        }
    }
    EXPECT_EQ(leftovers({good, fifo, dangling}), QStringList());
}

TEST_F(HostileInput, SignalsEndEveryCommandWithinASecondAndRemoveThePartialOutput)
{
    // A gigabyte of silence that takes each command several seconds.
    const QString big = sparse(
        QStringLiteral("big.wav"),
        riff(chunk("fmt ", fmtBody(2, 44100, 16)) + chunk("data", {}, 1 << 30)), (1 << 30) + 44);
    const QString out = path(QStringLiteral("out"));
    int round = 0;
    QList<QStringList> commands = commandsFor(big, out, big);
    commands << QStringList{"reverse", big};
    for (const QStringList &command : std::as_const(commands)) {
        const int signal = round++ % 2 ? SIGTERM : SIGINT;
        qint64 signalledAt = 0;
        QElapsedTimer clock;
        clock.start();
        const auto run = murmelo(
            command, 20000,
            [&](QProcess &process) {
                // Once the command catches the signal and its work is under way: its partial
                // output is there, or it has been reading for a moment.
                const pid_t pid = pid_t(process.processId());
                EXPECT_TRUE(test::waitUntil([&] { return catches(pid, signal); }));
                test::waitUntil(
                    [&] {
                        return !QDir(folder)
                                    .entryList({QStringLiteral(".*.part")},
                                               QDir::Files | QDir::Hidden)
                                    .isEmpty();
                    },
                    std::chrono::milliseconds(500));
                signalledAt = clock.elapsed();
                ::kill(pid, signal);
            },
            false);
        EXPECT_EQ(run.exitCode, 128 + signal) << command.join(' ').toStdString();
        // A second, with room for a loaded machine's scheduling.
        EXPECT_LT(clock.elapsed() - signalledAt, 1500 * slack) << command.join(' ').toStdString();
        EXPECT_EQ(leftovers({good, big}), QStringList()) << command.join(' ').toStdString();
    }
}

TEST_F(HostileInput, CorpusOfBrokenAndAbsurdFilesGetsClearErrorsInBoundedMemoryAndTime)
{
    const QByteArray tone = QByteArray(16000, '\x11');
    QStringList inputs{good};
    const auto add = [&](const char *name, const QByteArray &bytes) {
        inputs << write(QLatin1String(name), bytes);
    };
    const QByteArray whole = riff(chunk("fmt ", fmtBody(1, 8000, 16)) + chunk("data", tone));
    // Truncations: inside the header, right after it, inside a frame.
    add("cut-in-riff.wav", whole.left(9));
    add("cut-in-fmt.wav", whole.left(30));
    add("cut-after-header.wav", whole.left(44));
    add("cut-in-frame.wav", whole.left(44 + 999));
    // Sizes that lie.
    add("data-claims-4g.wav",
        riff(chunk("fmt ", fmtBody(1, 8000, 16)) + chunk("data", tone, 0xFFFFFFF0ll)));
    add("fmt-claims-4g.wav",
        riff(chunk("fmt ", fmtBody(1, 8000, 16), 0xFFFFFFF0ll) + chunk("data", tone)));
    add("riff-claims-nothing.wav",
        "RIFF" + le32(0) + "WAVE" + chunk("fmt ", fmtBody(1, 8000, 16)) + chunk("data", tone));
    // Odd block aligns and absurd formats.
    add("align-0.wav", riff(chunk("fmt ", fmtBody(1, 8000, 16, 0)) + chunk("data", tone)));
    add("align-3.wav", riff(chunk("fmt ", fmtBody(1, 8000, 16, 3)) + chunk("data", tone)));
    add("align-65535.wav", riff(chunk("fmt ", fmtBody(2, 8000, 16, 65535)) + chunk("data", tone)));
    add("bits-12.wav", riff(chunk("fmt ", fmtBody(1, 8000, 12)) + chunk("data", tone)));
    add("rate-0.wav", riff(chunk("fmt ", fmtBody(1, 0, 16)) + chunk("data", tone)));
    add("rate-1.wav", riff(chunk("fmt ", fmtBody(1, 1, 16)) + chunk("data", QByteArray(8000, 1))));
    add("channels-0.wav", riff(chunk("fmt ", fmtBody(0, 8000, 16, 2)) + chunk("data", tone)));
    add("channels-32.wav", riff(chunk("fmt ", fmtBody(32, 8000, 16)) + chunk("data", tone)));
    add("data-before-fmt.wav", riff(chunk("data", tone) + chunk("fmt ", fmtBody(1, 8000, 16))));
    add("fmt-17.wav", riff(chunk("fmt ", fmtBody(1, 8000, 16) + '\0') + chunk("data", tone)));
    add("no-frames.wav", riff(chunk("fmt ", fmtBody(1, 8000, 16)) + chunk("data", {})));
    add("extensible-short.wav",
        riff(chunk("fmt ", le16(0xFFFE) + fmtBody(1, 8000, 16).mid(2)) + chunk("data", tone)));
    add("random.mp3", QByteArray::fromHex(QByteArray("fffb9064").repeated(5000)));
    // Gigabytes of nothing behind a song's header: probing must give up, not read it all.
    inputs << sparse(QStringLiteral("zeros.mp3"),
                     "ID3\x03\x00\x00\x00\x00\x00\x0a" + QByteArray(10, '\0'), qint64(1) << 31);
    // A song that claims 1 Hz: every second of it would become 44100 frames.
    const QString oneHertz =
        write(QStringLiteral("one-hertz-source.wav"),
              riff(chunk("fmt ", fmtBody(1, 1, 16)) + chunk("data", QByteArray(30000, 1))));
    ASSERT_EQ(test::runShell(QStringLiteral("ffmpeg -v quiet -i '%1' '%2'")
                                 .arg(oneHertz, path(QStringLiteral("one-hertz.flac")))),
              0);
    QFile::remove(oneHertz);
    inputs << path(QStringLiteral("one-hertz.flac"));

    const QString out = path(QStringLiteral("out"));
    for (const QString &input : std::as_const(inputs)) {
        QMap<QString, QString> reasons;
        for (const QStringList &command : commandsFor(input, out, good)) {
            QFile::remove(out);
            const Outcome run = murmelo(command, 15000);
            const std::string what = command.join(' ').toStdString();
            ASSERT_NE(run.exitCode, -1)
                << what << " crashed or ran out of time: " << run.err.toStdString();
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << what;
            EXPECT_LT(run.milliseconds, 10000 * slack) << what;
            if (run.exitCode != 0) {
                EXPECT_FALSE(QFileInfo::exists(out)) << what;
                EXPECT_TRUE(run.err.startsWith(QStringLiteral("murmelo: "))) << what;
                EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1)
                    << what << ": one line, no decoder chatter: " << run.err.toStdString();
            }
            EXPECT_EQ(leftovers(inputs + QStringList{out}), QStringList()) << what;
            reasons[command[0]] = run.err;
        }
        // One acceptance rule, one wording: the picture says why just as the reversal does.
        EXPECT_EQ(reasons[QStringLiteral("waveform")].toStdString(),
                  reasons[QStringLiteral("reverse")].toStdString())
            << input.toStdString();
        EXPECT_EQ(reasons[QStringLiteral("spectrogram")].toStdString(),
                  reasons[QStringLiteral("reverse")].toStdString())
            << input.toStdString();
        if (reasons[QStringLiteral("reverse")].contains(QStringLiteral("usable WAV file"))) {
            EXPECT_EQ(reasons[QStringLiteral("clip")].toStdString(),
                      reasons[QStringLiteral("reverse")].toStdString())
                << input.toStdString();
        }
    }
}

TEST_F(HostileInput, AWorkFolderOthersCanReachIsNeverWrittenInto)
{
    // Another user could make the shared name first, open to all, or point it elsewhere.
    const QString taken = temporary + QStringLiteral("/murmelo-%1").arg(getuid());
    const QString elsewhere = folder + QStringLiteral("-elsewhere");
    QDir().mkpath(elsewhere);
    const QString song = path(QStringLiteral("song.flac"));
    ASSERT_EQ(test::runShell(QStringLiteral("ffmpeg -v quiet -i '%1' '%2'").arg(good, song)), 0);
    for (const bool link : {false, true}) {
        QDir(taken).removeRecursively();
        QFile::remove(taken);
        if (link) {
            ASSERT_TRUE(QFile::link(elsewhere, taken));
        } else {
            ASSERT_TRUE(QDir().mkdir(taken));
            ::chmod(QFile::encodeName(taken).constData(), 0777);
        }
        // The import goes through the work folder on its way to the reversal.
        const Outcome run = murmelo({"reverse", song, "-o", path(QStringLiteral("out.wav"))});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(QDir(taken).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                        QDir::NoDotAndDotDot));
        EXPECT_TRUE(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                            QDir::NoDotAndDotDot));
        QFile::remove(path(QStringLiteral("out.wav")));
    }
}

TEST_F(HostileInput, LabelFilesThatAreNoLabelListChangeNoMarker)
{
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", (folder + QStringLiteral("/data")).toLocal8Bit());
    StoreContext context;
    ASSERT_TRUE(context.open());
    auto recording = Recording::insertInManagedObjectContext(context);
    recording->setAudioPath(good, good); // a second of audio at 8000 Hz
    ASSERT_TRUE(context.save());
    const QString id = QString::number(recording->rowID());
    const QList<PhraseMarker> kept{{0, {0, 4000}, QStringLiteral("kept")}};
    ASSERT_TRUE(PhraseMarkerStore(context).replaceMarkers(recording->rowID(), kept));
    const auto markers = [&] { return PhraseMarkerStore(context).markers(recording->rowID()); };
    const auto saved = markers();

    const QString fifo = path(QStringLiteral("labels.fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    static const char nul[] = "0\t0.5\tcut\0short\n";
    const QList<QPair<QString, QString>> refused{
        {QStringLiteral("/dev/zero"), QStringLiteral("is not a regular file")},
        {fifo, QStringLiteral("is not a regular file")},
        {folder, QStringLiteral("is a folder")},
        {write(QStringLiteral("empty.txt"), {}), QStringLiteral("no markers in")},
        {write(QStringLiteral("header.txt"),
               "# Murmelo phrase markers: seconds on the reversed time line\n"),
         QStringLiteral("no markers in")},
        {write(QStringLiteral("blank.txt"), "\r\n\r\n# nothing\r\n"),
         QStringLiteral("no markers in")},
        {write(QStringLiteral("nul.txt"), QByteArray(nul, sizeof nul - 1)),
         QStringLiteral("line 1: holds the control character U+0000")},
        {write(QStringLiteral("grouped.txt"), "0\t0.5\tfine\n0\t1,500\tgrouped\n"),
         QStringLiteral("line 2: “1,500” is not a time in seconds")},
        {sparse(QStringLiteral("huge.txt"), "0\t0.5\tx\n", 64 << 20),
         QStringLiteral("too large for a label file")}};
    for (const auto &[file, why] : refused) {
        const Outcome run = murmelo({"labels", "import", id, file}, 5000);
        EXPECT_EQ(run.exitCode, 1) << file.toStdString() << run.err.toStdString();
        EXPECT_LT(run.milliseconds, 3000 * slack) << file.toStdString();
        EXPECT_TRUE(run.err.contains(why)) << file.toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("nothing was changed")))
            << run.err.toStdString();
        EXPECT_EQ(markers(), saved) << file.toStdString();
    }

    // Line ends of an older Mac editor: every line is read.
    const QString mac = write(QStringLiteral("mac.txt"), "0\t0.25\tone\r0.5\t0.75\ttwo\r");
    const Outcome run = murmelo({"labels", "import", id, mac});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(markers().size(), 2);
    qputenv("XDG_DATA_HOME", savedDataHome);
}

} // namespace
} // namespace murmelo
