#include "EngineSound.h"

#include "support/TestSupport.h"
#include "support/TestWav.h"

#include <QDir>

namespace murmelo::test {

using namespace std::chrono_literals;

QString EngineSound::writeMono(const QString &name, const std::vector<qint16> &frames)
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString folder = scratchRoot() + QStringLiteral("/engine-sound/%1.%2")
                                               .arg(QLatin1String(info->test_suite_name()),
                                                    QLatin1String(info->name()));
    QDir().mkpath(folder);
    return writeFileBytes(folder + QLatin1Char('/') + name, monoWav(frames, kRate));
}

void EngineSound::open(const QString &forwardPath, const QString &reversePath, qint64 lag)
{
    engine = std::make_unique<PlaybackEngine>([this, lag](const QString &path, QString &error) {
        auto output = std::make_unique<LaggingOutput>(lag);
        Track *track = tracks.emplace_back(std::make_unique<Track>()).get();
        track->output = output.get();
        output->setSink([this, track](const float *frames, qint64 count, int) {
            const size_t at = size_t(now + track->written);
            mix.resize(std::max(mix.size(), at + size_t(count)));
            for (qint64 i = 0; i < count; ++i)
                mix[at + i] += frames[i];
            track->written += count;
            track->heard.insert(track->heard.end(), frames, frames + count);
        });
        return Player::open(path, error, std::move(output));
    });
    ASSERT_TRUE(engine->openForward(forwardPath, std::nullopt).isEmpty());
    ASSERT_TRUE(engine->openReverse(reversePath, std::nullopt).isEmpty());
}

void EngineSound::play(int ms)
{
    for (int i = 0; i < ms; ++i) {
        for (auto &track : tracks) {
            track->written = 0;
            track->output->advance(1ms);
        }
        now += kRate / 1000;
        // What no output played in this step was silence.
        mix.resize(std::max(mix.size(), size_t(now)));
        drainEvents();
    }
}

float EngineSound::largestStep() const
{
    float largest = mix.empty() ? 0 : std::abs(mix.front());
    for (size_t i = 1; i < mix.size(); ++i)
        largest = std::max(largest, std::abs(mix[i] - mix[i - 1]));
    return largest;
}

} // namespace murmelo::test
