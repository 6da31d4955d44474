#include "audio/SoxLibrary.h"

#include "audio/OutputPath.h"
#include "audio/WavFile.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <QFileInfo>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace murmelo {

namespace {

constexpr double maximumSampleRate = 768000;
// libsox's 8 Ki-sample default makes every effect and file access small; 128 Ki samples
// (512 KiB per buffer) cuts the per-call overhead while keeping memory flat.
constexpr size_t bufferSamples = 128 * 1024;

thread_local std::string lastErrorText;

void onSoxMessage(unsigned level, const char *, const char *format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    // Failures reach the user through the job's result; warnings (a short final block, an odd
    // header field) are only worth a line in the system log, never the terminal.
    if (level <= 1)
        lastErrorText = text;
    systemLog(QStringLiteral("libsox: ") + QString::fromLocal8Bit(text));
}

} // namespace

namespace SoxLibrary {

void ensureInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] {
        sox_globals_t *globals = sox_get_globals();
        globals->output_message_handler = onSoxMessage;
        globals->verbosity = 2;
        if (sox_init() != SOX_SUCCESS)
            systemLog(QStringLiteral("libsox: initialisation failed"));
        globals->bufsiz = bufferSamples * sizeof(sox_sample_t);
        globals->input_bufsiz = globals->bufsiz;
    });
}

QString lastError()
{
    return QString::fromLocal8Bit(lastErrorText.c_str());
}

void clearLastError()
{
    lastErrorText.clear();
}

} // namespace SoxLibrary

bool addSoxEffect(sox_effects_chain_t *chain, const char *name, int argc, char **argv,
                  sox_signalinfo_t *in, const sox_signalinfo_t *out, QString &error)
{
    const sox_effect_handler_t *handler = sox_find_effect(name);
    sox_effect_t *effect = handler ? sox_create_effect(handler) : nullptr;
    bool added = effect && sox_effect_options(effect, argc, argv) == SOX_SUCCESS &&
                 sox_add_effect(chain, effect, in, out) == SOX_SUCCESS;
    if (effect && !added)
        free(effect->priv);
    free(effect); // sox_add_effect keeps its own copy
    if (!added) {
        const QString reason = SoxLibrary::lastError();
        error = QStringLiteral("the audio effect \"%1\" could not be set up%2")
                    .arg(QLatin1String(name), reason.isEmpty() ? QString() : ": " + reason);
    }
    return added;
}

SoxFormat openAudioInput(const QString &path, QString &error, WavLayout *layoutOut)
{
    SoxLibrary::ensureInitialised();
    if (error = inputProblem(path); !error.isEmpty())
        return nullptr;
    WavLayout layout;
    // Only WAV files reach libsox: everything the application reverses or joins is a WAV it
    // wrote itself, and libsox's readers of other formats can hang on a damaged file. Songs come
    // in through the FFmpeg import instead.
    if (WavFile::checkInput(path, layout, error) != WavFile::Kind::Valid)
        return nullptr;
    if (layoutOut)
        *layoutOut = layout;
    SoxLibrary::clearLastError();
    SoxFormat input(sox_open_read(QFile::encodeName(path).constData(), nullptr, nullptr, "wav"));
    const QString reason = SoxLibrary::lastError();
    if (!input) {
        error = QStringLiteral("“%1” cannot be read as audio%2")
                    .arg(path, reason.isEmpty() ? QString() : ": " + reason);
        return nullptr;
    }
    const sox_signalinfo_t &signal = input->signal;
    if (signal.channels < 1 || signal.channels > unsigned(WavFile::maximumChannels) ||
        !(signal.rate >= 1) || signal.rate > maximumSampleRate) {
        error = QStringLiteral("“%1” has an impossible format (%2 channels at %3 Hz)")
                    .arg(path)
                    .arg(signal.channels)
                    .arg(signal.rate);
        return nullptr;
    }
    return input;
}

} // namespace murmelo
