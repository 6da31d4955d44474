#include "PlaybackFixture.h"

#include "audio/WavFile.h"
#include "library/Library.h"
#include "platform/Defaults.h"
#include "platform/SerialQueue.h"
#include "playback/ForwardWords.h"
#include "support/TestWav.h"
#include "toolkit/AccessibleValue.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWindow>

namespace murmelo::test {

void writeRampWav(const QString &path, qint64 frames, int sampleRate, bool reversed)
{
    std::vector<qint16> samples(static_cast<size_t>(frames));
    for (qint64 i = 0; i < frames; ++i)
        samples[size_t(i)] = qint16((reversed ? frames - 1 - i : i) % 32768);
    writeFileBytes(path, monoWav(samples, sampleRate));
}

std::vector<qint16> readFrames(const QString &path)
{
    WavLayout layout;
    QString error;
    if (WavFile::inspect(path, layout, error) != WavFile::Kind::Valid)
        return {};
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    file.seek(layout.dataOffset);
    const QByteArray data = file.read(layout.frames * layout.blockAlign);
    std::vector<qint16> frames(size_t(data.size() / 2));
    memcpy(frames.data(), data.constData(), frames.size() * 2);
    return frames;
}

void PlaybackFixture::SetUp()
{
    // As at start-up: a screen reader asks our own interfaces for the controls that paint
    // themselves.
    installAccessibleValueFactory();
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString folder = scratchRoot() + QStringLiteral("/stores/%1.%2")
                                               .arg(QLatin1String(info->test_suite_name()),
                                                    QLatin1String(info->name()));
    QDir().mkpath(folder);
    storePath = folder + QStringLiteral("/dbv3.sql");
    store = std::make_unique<StoreContext>();
    ASSERT_TRUE(store->open(storePath));
    Defaults::standard().remove(QStringLiteral("defaultName"));
    Defaults::standard().remove(QStringLiteral("senderName"));
    // Recognising the forward words loads a speech model: only the tests about them switch it on.
    ForwardWords::setEnabled(false);
    storyboard.registerSegue(QStringLiteral("Record"), [this] {
        performed << QStringLiteral("Record");
        return new ViewController;
    });
    storyboard.setPresenter(
        [](ViewController *, ViewController *destination) { destination->deleteLater(); });
    screen = makeScreen();
}

void PlaybackFixture::TearDown()
{
    SerialQueue::waitForAllQueues();
    drainEvents();
    screen.reset();
    store.reset();
}

std::unique_ptr<PlaybackViewController> PlaybackFixture::makeScreen()
{
    PlayerFactory silent = [](const QString &path, QString &error) {
        return Player::open(path, error, std::make_unique<NullAudioOutput>());
    };
    auto made = std::make_unique<PlaybackViewController>(*store, silent);
    made->setStoryboard(&storyboard);
    made->setSidebarViewController(&sidebar);
    return made;
}

PlaybackFixture::Pair PlaybackFixture::makePair(double seconds)
{
    const Pair pair{Library::temporaryAudioPath(), Library::temporaryAudioPath()};
    const auto frames = qint64(seconds * kRate);
    writeRampWav(pair.forward, frames, kRate);
    writeRampWav(pair.reverse, frames, kRate, true);
    return pair;
}

void PlaybackFixture::openFresh(bool imported)
{
    const Pair pair = makePair();
    screen->setImported(imported);
    screen->setAudioPath(pair.forward);
    screen->setReverseAudioPath(pair.reverse);
    screen->setWaveformImage(QImage(225, 54, QImage::Format_ARGB32_Premultiplied));
    screen->show();
    drainEvents();
}

std::shared_ptr<Recording> PlaybackFixture::makeRecording(const QString &name,
                                                          const QString &message)
{
    const Pair pair = makePair();
    auto recording = Recording::insertInManagedObjectContext(*store);
    recording->setName(name);
    recording->setMessage(message);
    recording->setDate(QDateTime::currentDateTime());
    recording->setAudioPath(pair.forward, pair.reverse);
    EXPECT_TRUE(store->save());
    return recording;
}

void PlaybackFixture::openRecording(const std::shared_ptr<Recording> &recording)
{
    screen->setRecording(recording);
    screen->show();
    drainEvents();
}

void PlaybackFixture::advance(Player *player, int ms)
{
    static_cast<NullAudioOutput &>(player->output()).advance(std::chrono::milliseconds(ms));
    drainEvents();
    screen->updateTime();
}

std::vector<std::shared_ptr<Recording>> PlaybackFixture::storedRecordings()
{
    // A second context reads what the file holds, not what this one has in memory.
    StoreContext reader;
    EXPECT_TRUE(reader.open(storePath));
    std::vector<std::shared_ptr<Recording>> records;
    for (const auto &object : reader.fetchObjects(
             Recording::entityName(), {}, StoreSort{StoreSortKey{QStringLiteral("date"), true}}))
        records.push_back(std::static_pointer_cast<Recording>(object));
    return records;
}

void PlaybackFixture::key(int key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(window(), Qt::Key(key), modifiers);
    drainEvents();
}

void PlaybackFixture::showAtDeskSize()
{
    screen->resize(1024, 768);
    ASSERT_TRUE(waitUntil([&] { return screen->size() == QSize(1024, 768); }));
    screen->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
    drainEvents();
}

} // namespace murmelo::test
