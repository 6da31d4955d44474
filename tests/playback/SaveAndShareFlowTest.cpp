// Saving, cropping, deleting and sending a reversal through the playback screen's flows, without
// a screen around them.
#include "PlaybackFixture.h"
#include "library/Library.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/Defaults.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "screens/playback/SaveCropFlow.h"
#include "screens/playback/ShareFlow.h"
#include "support/TestSupport.h"
#include "support/WavSizeClaim.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

constexpr int kRate = 8000;

QStringList audioFilesIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.wav")}, QDir::Files);
}

class SaveCropFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        const QString folder =
            scratchRoot() +
            QStringLiteral("/stores/SaveCropFlow.%1").arg(QLatin1String(info->name()));
        QDir().mkpath(folder);
        ASSERT_TRUE(store.open(folder + QStringLiteral("/dbv3.sql")));
        Defaults::standard().remove(QStringLiteral("defaultName"));
        for (const QString &name : audioFilesIn(StandardPaths::temporaryDirectory()))
            QFile::remove(StandardPaths::temporaryDirectory() + name);
    }
    void TearDown() override { SerialQueue::waitForAllQueues(); }

    // Ten seconds of a fresh reversal, its files in the temporary folder as a job leaves them.
    Reversal freshReversal()
    {
        Reversal reversal;
        reversal.audioPath = Library::temporaryAudioPath();
        reversal.reverseAudioPath = Library::temporaryAudioPath();
        writeRampWav(reversal.audioPath, 10 * kRate, kRate);
        writeRampWav(reversal.reverseAudioPath, 10 * kRate, kRate, true);
        reversal.waveformImage = QImage(225, 54, QImage::Format_ARGB32);
        reversal.waveformImage.fill(Qt::red);
        return reversal;
    }
    std::shared_ptr<Recording> savedRecording(const QString &name, const QString &message,
                                              std::optional<float> speed)
    {
        SaveCropFlow flow(store);
        flow.reversal() = freshReversal();
        EXPECT_TRUE(flow.save({name, message, speed}, nullptr));
        return flow.recording();
    }
    std::optional<SaveCropFlow::CropOutcome> cropAndWait(SaveCropFlow &flow, float min, float max,
                                                         const QString &name = {})
    {
        std::optional<SaveCropFlow::CropOutcome> outcome;
        flow.crop(min, max, name, [&](const SaveCropFlow::CropOutcome &done) { outcome = done; });
        EXPECT_TRUE(waitUntil([&] { return outcome.has_value(); }));
        return outcome;
    }

    StoreContext store;
};

} // namespace

TEST_F(SaveCropFlowTest, AFreshReversalIsAdoptedIntoTheRecordingsFolderAndNamedByTheCounter)
{
    SaveCropFlow flow(store);
    const Reversal fresh = freshReversal();
    flow.reversal() = fresh;
    EXPECT_TRUE(flow.hasUnsavedReversal());

    StoreError error;
    ASSERT_TRUE(flow.save({{}, QStringLiteral("backwards"), 1.5f}, &error));
    const std::shared_ptr<Recording> saved = flow.recording();
    ASSERT_TRUE(saved);
    EXPECT_FALSE(flow.hasUnsavedReversal());
    EXPECT_EQ(saved->name(), "Reversal 1");
    EXPECT_EQ(saved->message(), "backwards");
    EXPECT_FLOAT_EQ(saved->speedValue(), 1.5f);
    EXPECT_NE(saved->rowID(), 0);
    EXPECT_FALSE(saved->waveformImage().isNull());
    // The files moved out of the temporary folder, and the flow plays them where they are now.
    const QString recordings = StandardPaths::applicationSupportDirectory();
    for (const QString &path : {flow.reversal().audioPath, flow.reversal().reverseAudioPath}) {
        EXPECT_TRUE(path.startsWith(recordings)) << path.toStdString();
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_EQ(flow.reversal().audioPath, saved->currentAudioPath());
    EXPECT_FALSE(QFile::exists(fresh.audioPath));
    EXPECT_FALSE(QFile::exists(fresh.reverseAudioPath));
    EXPECT_EQ(readFrames(flow.reversal().reverseAudioPath)[0], (10 * kRate - 1) % 32768);

    // Saved again: a typed title renames it, an empty one keeps the name, the counter stays.
    ASSERT_TRUE(flow.save({QStringLiteral("Mine"), QStringLiteral("heard"), std::nullopt}, &error));
    EXPECT_EQ(saved->name(), "Mine");
    EXPECT_EQ(saved->message(), "heard");
    EXPECT_FLOAT_EQ(saved->speedValue(), 1.5f);
    ASSERT_TRUE(flow.save({{}, {}, std::nullopt}, &error));
    EXPECT_EQ(saved->name(), "Mine");
    EXPECT_EQ(savedRecording({}, {}, std::nullopt)->name(), "Reversal 2");
}

TEST_F(SaveCropFlowTest, ARefusedSaveKeepsTheRecordAndItsFilesAndSaysWhy)
{
    SaveCropFlow flow(store);
    flow.reversal() = freshReversal();
    StoreContext closed; // no store file: every save is refused
    SaveCropFlow refused(closed);
    refused.reversal() = flow.reversal();
    StoreError error;
    EXPECT_FALSE(refused.save({QStringLiteral("Lost?"), {}, std::nullopt}, &error));
    EXPECT_TRUE(error);
    ASSERT_TRUE(refused.recording());
    EXPECT_FALSE(refused.hasUnsavedReversal());
    // Not a byte of audio is lost: the files are wherever the record names them.
    EXPECT_EQ(readFrames(refused.reversal().audioPath).size(), size_t(10 * kRate));
    EXPECT_EQ(readFrames(refused.reversal().reverseAudioPath).size(), size_t(10 * kRate));
}

TEST_F(SaveCropFlowTest, ACropIsANewSavedRecordingWithTheOldDetailsAndTheOldOneStays)
{
    const auto old = savedRecording(QStringLiteral("Song"), QStringLiteral("hidden"), 0.8f);
    SaveCropFlow flow(store);
    flow.openRecording(old);
    EXPECT_EQ(flow.reversal().audioPath, old->currentAudioPath());
    EXPECT_FALSE(flow.reversal().waveformImage.isNull());

    const auto outcome = cropAndWait(flow, 0.25f, 0.75f);
    ASSERT_TRUE(outcome && outcome->cropped) << (outcome ? outcome->error.toStdString() : "");
    EXPECT_TRUE(outcome->stored());
    // The reversal's kept frames are the same audio: its middle half.
    EXPECT_EQ(outcome->kept, (FrameRange{qint64(2.5 * kRate), qint64(7.5 * kRate)}));
    const std::shared_ptr<Recording> cropped = flow.recording();
    ASSERT_NE(cropped, old);
    EXPECT_EQ(cropped->name(), "Song Cropped");
    EXPECT_EQ(cropped->message(), "hidden");
    EXPECT_FLOAT_EQ(cropped->speedValue(), 0.8f);
    EXPECT_NE(cropped->rowID(), 0);
    EXPECT_TRUE(flow.reversal().audioPath.startsWith(StandardPaths::applicationSupportDirectory()));
    EXPECT_EQ(readFrames(flow.reversal().audioPath).size(), size_t(5 * kRate));
    EXPECT_EQ(readFrames(flow.reversal().reverseAudioPath).size(), size_t(5 * kRate));
    EXPECT_TRUE(QFile::exists(old->currentAudioPath()));
    EXPECT_EQ(readFrames(old->currentAudioPath()).size(), size_t(10 * kRate));

    // A typed name names the next crop; the counter is not touched by crops.
    const auto named = cropAndWait(flow, 0.0f, 0.5f, QStringLiteral("Short"));
    ASSERT_TRUE(named && named->cropped);
    EXPECT_EQ(flow.recording()->name(), "Short");
    EXPECT_EQ(Defaults::standard().integerForKey(QStringLiteral("defaultName")), 0);
}

TEST_F(SaveCropFlowTest, ACropThatFailsOrIsNoLongerAwaitedLeavesNoFilesBehind)
{
    const QString temporary = StandardPaths::temporaryDirectory();
    {
        SaveCropFlow flow(store);
        const auto unsaved = cropAndWait(flow, 0.2f, 0.8f);
        ASSERT_TRUE(unsaved);
        EXPECT_FALSE(unsaved->cropped);
        EXPECT_FALSE(unsaved->error.isEmpty());
    }
    const auto song = savedRecording(QStringLiteral("Damaged"), {}, std::nullopt);
    {
        QFile damaged(song->reverseAudioPath());
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("not audio");
    }
    SaveCropFlow flow(store);
    flow.openRecording(song);
    const auto failed = cropAndWait(flow, 0.2f, 0.8f);
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->cropped);
    EXPECT_FALSE(failed->error.isEmpty());
    EXPECT_EQ(flow.recording(), song);
    EXPECT_EQ(audioFilesIn(temporary), QStringList());

    // A flow gone before its crop ends (the screen closed): nobody is told, nothing is adopted.
    const auto whole = savedRecording(QStringLiteral("Whole"), {}, std::nullopt);
    bool told = false;
    {
        SaveCropFlow leaving(store);
        leaving.openRecording(whole);
        leaving.crop(0.1f, 0.9f, {}, [&](const SaveCropFlow::CropOutcome &) { told = true; });
    }
    SerialQueue::waitForAllQueues();
    drainEvents();
    EXPECT_FALSE(told);
    EXPECT_EQ(audioFilesIn(temporary), QStringList());
}

TEST_F(SaveCropFlowTest, DeletingRemovesTheRecordAndItsFilesAndLeavesNothingToSave)
{
    const auto song = savedRecording(QStringLiteral("Gone"), {}, std::nullopt);
    const QString forward = song->currentAudioPath();
    SaveCropFlow flow(store);
    flow.openRecording(song);
    StoreError error;
    ASSERT_TRUE(flow.deleteRecording(&error));
    EXPECT_FALSE(flow.recording());
    EXPECT_FALSE(flow.hasUnsavedReversal());
    EXPECT_TRUE(flow.reversal().audioPath.isEmpty());
    EXPECT_FALSE(QFile::exists(forward));
    // Nothing left: a second delete does nothing.
    EXPECT_TRUE(flow.deleteRecording(&error));
}

namespace {

class ShareFlowTest : public SaveCropFlowTest {
protected:
    void SetUp() override
    {
        SaveCropFlowTest::SetUp();
        Defaults::standard().remove(ShareFlow::senderNameKey());
        flow.setSender([this](const QString &path, const QString &message, const QString &name,
                              const QString &to) {
            sent.push_back({path, message, name, to, QFile::exists(path)});
        });
        flow.setAttachmentBuilder([this](const QString &forward, const QString &, float factor) {
            factors.push_back(factor);
            const QString path = StandardPaths::temporaryDirectory() + QStringLiteral("mail.wav");
            QFile::copy(forward, path);
            return path;
        });
        reversal = freshReversal();
    }
    ShareFlow::Sending send(bool *merged = nullptr)
    {
        return flow.send(reversal.audioPath, reversal.reverseAudioPath, 1.2f,
                         QStringLiteral("hidden"), [merged] {
                             if (merged)
                                 *merged = true;
                         });
    }

    struct Sent {
        QString path, message, name, to;
        bool fileThere;
    };
    ShareFlow flow;
    Reversal reversal;
    std::vector<Sent> sent;
    std::vector<float> factors;
};

} // namespace

TEST_F(ShareFlowTest, WhatCannotGoOutIsRefusedBeforeAnyAudioIsMerged)
{
    EXPECT_EQ(send().kind, ShareFlow::Sending::Nobody);
    flow.setRecipients(QStringLiteral("  "));
    EXPECT_EQ(send().kind, ShareFlow::Sending::Nobody);
    flow.setRecipients(QStringLiteral("ann@work.org, not an address"));
    ShareFlow::Sending refused = send();
    EXPECT_EQ(refused.kind, ShareFlow::Sending::Refused);
    EXPECT_TRUE(refused.refusal.contains(QLatin1String("not an address")));
    // Too large for a message: said from the two headers, with nothing merged.
    flow.setRecipients(QStringLiteral("ann@work.org"));
    claimAudioBytes({reversal.audioPath, reversal.reverseAudioPath}, 15'000'000);
    refused = send();
    EXPECT_EQ(refused.kind, ShareFlow::Sending::Refused);
    EXPECT_TRUE(refused.refusal.contains(QLatin1String("too large")));
    SerialQueue::waitForAllQueues();
    drainEvents();
    EXPECT_TRUE(factors.empty());
    EXPECT_TRUE(sent.empty());
}

TEST_F(ShareFlowTest, ASendMergesOnAWorkerHandsTheJobTheFileAndRemovesItsCopy)
{
    flow.addRecipient(QStringLiteral("ann@work.org"));
    flow.addRecipient(QStringLiteral("Bob <bob@y.org>"));
    EXPECT_EQ(flow.recipients(), "ann@work.org,Bob <bob@y.org>");
    flow.toggleSendToSpeech();
    flow.setSenderName(QStringLiteral("Cleo"));
    bool merged = false;
    EXPECT_EQ(send(&merged).kind, ShareFlow::Sending::Started);
    ASSERT_TRUE(waitUntil([&] { return !sent.empty(); }));
    EXPECT_TRUE(merged);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, QStringLiteral("ann@work.org,Bob <bob@y.org>,") +
                              QLatin1String(MailDeployment::kCollectingMailbox));
    EXPECT_EQ(sent[0].message, "hidden");
    EXPECT_EQ(sent[0].name, "Cleo");
    EXPECT_TRUE(sent[0].fileThere);
    EXPECT_FALSE(QFile::exists(sent[0].path));
    EXPECT_EQ(factors, std::vector<float>{1.2f});

    // The name is offered again by the next share, in a later run too, but not over a typed one.
    ShareFlow later;
    later.recallSenderName();
    EXPECT_EQ(later.senderName(), "Cleo");
    later.setSenderName(QStringLiteral("Dora"));
    later.recallSenderName();
    EXPECT_EQ(later.senderName(), "Dora");
}

TEST_F(ShareFlowTest, AMergeStillRunningWhenTheFlowGoesIsSentAllTheSame)
{
    bool merged = false;
    {
        ShareFlow leaving;
        leaving.setSender([this](const QString &path, const QString &message, const QString &name,
                                 const QString &to) {
            sent.push_back({path, message, name, to, QFile::exists(path)});
        });
        leaving.setAttachmentBuilder([](const QString &forward, const QString &, float) {
            const QString path = StandardPaths::temporaryDirectory() + QStringLiteral("gone.wav");
            QFile::copy(forward, path);
            return path;
        });
        leaving.setRecipients(QStringLiteral("ann@work.org"));
        EXPECT_EQ(leaving
                      .send(reversal.audioPath, reversal.reverseAudioPath, 1.0f, {},
                            [&merged] { merged = true; })
                      .kind,
                  ShareFlow::Sending::Started);
    }
    ASSERT_TRUE(waitUntil([&] { return !sent.empty(); }));
    EXPECT_FALSE(merged);
    EXPECT_TRUE(sent[0].fileThere);
    EXPECT_FALSE(QFile::exists(sent[0].path));
}
