// A one-hour WAV song from "Import" to its first sound: the record screen imports and reverses
// it, the playback screen is shown, Space is pressed on it at once, and the clock stops when the
// player hands its first frame to the output (the silent output a machine without a sound
// device plays into). Beside it, measured in the same run on the same file: the sox command
// that reverses it (what any tool that plays a reversal must do first) and cp of it (the copy
// floor).
#include "audio/AudioOutputNull.h"
#include "audio/Player.h"
#include "library/StoreContext.h"
#include "platform/SerialQueue.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/record/RecordViewController.h"
#include "support/ScratchFolders.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace murmelo;

namespace {

constexpr int kRounds = 3;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double commandSeconds(const std::string &command)
{
    QElapsedTimer timer;
    timer.start();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e9;
}

struct Times {
    double shown = 0;      // the playback screen shown
    double firstSound = 0; // its player's first frame handed to the output
};

Times importToFirstSound(StoreContext &store, const QString &song)
{
    QElapsedTimer clock;
    std::optional<double> shown, firstSound;
    PlayerFactory players = [&](const QString &path, QString &error) {
        auto output = std::make_unique<NullAudioOutput>();
        output->followWallClock();
        output->setSink([&](const float *, qint64, int) {
            if (!firstSound)
                firstSound = clock.nsecsElapsed() / 1e9;
        });
        return Player::open(path, error, std::move(output));
    };
    Storyboard storyboard;
    PlaybackViewController *playback = nullptr;
    storyboard.registerSegue(QStringLiteral("Playback"), [&] {
        playback = new PlaybackViewController(store, players);
        return playback;
    });
    storyboard.setPresenter([&](ViewController *, ViewController *destination) {
        destination->resize(320, 568);
        destination->show();
        shown = clock.nsecsElapsed() / 1e9;
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(destination, &space);
    });
    RecordViewController record;
    record.setStoryboard(&storyboard);
    record.resize(320, 568);
    record.show();
    QApplication::processEvents();

    clock.start();
    record.exportFromLibrary(song);
    while (!firstSound && clock.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const Times times{shown.value_or(-1), firstSound.value_or(-1)};
    delete playback;
    SerialQueue::waitForAllQueues();
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    const QString root = bench::useScratchFolders();
    if (root.isEmpty())
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    const std::string song = (root + QStringLiteral("/hour.wav")).toStdString();
    std::printf("making a one-hour 44.1 kHz 16-bit stereo WAV (635 MB)...\n");
    commandSeconds("sox -R -n -r 44100 -c 2 -b 16 '" + song +
                   "' synth 3600 pinknoise vol 0.3 2>/dev/null");

    StoreContext store;
    store.open(root + QStringLiteral("/store.sql"));
    std::vector<double> shown, sound, sox, copy;
    for (int round = 0; round < kRounds; ++round) {
        const Times t = importToFirstSound(store, QString::fromStdString(song));
        if (t.firstSound < 0) {
            std::fprintf(stderr, "no sound within two minutes\n");
            return 1;
        }
        shown.push_back(t.shown);
        sound.push_back(t.firstSound);
        // The flow's own files go before the next round, so the disk holds one copy at a time.
        for (const QString &name : QDir(root + QStringLiteral("/tmp")).entryList(QDir::Files))
            QFile::remove(root + QStringLiteral("/tmp/") + name);
        const std::string out = (root + QStringLiteral("/peer.wav")).toStdString();
        sox.push_back(commandSeconds("sox '" + song + "' '" + out + "' reverse"));
        std::remove(out.c_str());
        copy.push_back(commandSeconds("cp '" + song + "' '" + out + "'"));
        std::remove(out.c_str());
        std::printf("round %d: screen shown %.2f s, first sound %.2f s; sox reverse %.2f s, "
                    "cp %.2f s\n",
                    round + 1, t.shown, t.firstSound, sox.back(), copy.back());
    }
    std::printf("\nmedian of %d, one-hour WAV: import to first sound %.2f s (screen shown at "
                "%.2f s)   sox reverse %.2f s   cp %.2f s   ratio to sox %.2fx   (target <= 5 s)\n",
                kRounds, median(sound), median(shown), median(sox), median(copy),
                median(sound) / median(sox));
    QDir(root).removeRecursively();
    return 0;
}
