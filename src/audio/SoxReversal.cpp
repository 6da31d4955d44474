#include "audio/SoxReversal.h"

#include "audio/OutputPath.h"
#include "audio/SoxLibrary.h"

#include <QFile>
#include <QFileInfo>

namespace murmelo {

namespace {

struct FlowState {
    const std::atomic<bool> &cancelled;
    const std::function<void(double)> &progress;
    const sox_format_t *input;
    quint64 inputBytes;
    double lastReported = -1;
};

int onFlow(sox_bool, void *data)
{
    auto *state = static_cast<FlowState *>(data);
    if (state->progress && state->inputBytes > 0) {
        const quint64 start = state->input->data_start;
        const quint64 read = state->input->tell_off > start ? state->input->tell_off - start : 0;
        const double fraction = qMin(1.0, double(read) / double(state->inputBytes));
        if (fraction - state->lastReported >= 0.001) {
            state->lastReported = fraction;
            state->progress(fraction);
        }
    }
    return state->cancelled.load() ? SOX_EOF : SOX_SUCCESS;
}

// The reverse effect parks every sample as a 32-bit sox_sample_t.
quint64 scratchBytesFor(const sox_format_t &input, qint64 fileBytes)
{
    if (input.signal.length != SOX_UNKNOWN_LEN)
        return input.signal.length * sizeof(sox_sample_t);
    return quint64(fileBytes) * 8; // compressed input of unknown length: guess generously
}

AudioJobResult failed(OutputFile &output, const QString &error)
{
    output.discard();
    return {AudioJobStatus::Failed, error};
}

} // namespace

AudioJobResult reverseAudioFile(const QString &source, const QString &output,
                                const std::atomic<bool> &cancelled,
                                std::function<void(double fraction)> progress)
{
    SoxLibrary::ensureInitialised();
    const QFileInfo sourceInfo(source);
    if (const QString problem = inputProblem(source); !problem.isEmpty())
        return {AudioJobStatus::Failed, problem};
    if (wouldOverwrite(source, output))
        return {AudioJobStatus::Failed, QStringLiteral("the reversal would overwrite its source")};

    QString error;
    SoxFormat input = openAudioInput(source, error);
    if (!input)
        return {AudioJobStatus::Failed, error};

    OutputFile target(output);
    if (!target.create(error))
        return {AudioJobStatus::Failed, error};
    SoxLibrary::clearLastError();
    SoxFormat out(sox_open_write(QFile::encodeName(target.path()).constData(), &input->signal,
                                 nullptr, "wav", nullptr, nullptr));
    if (!out) {
        const QString reason = SoxLibrary::lastError();
        return failed(target, QStringLiteral("“%1” cannot be written%2")
                                  .arg(output, reason.isEmpty() ? QString() : ": " + reason));
    }

    SoxChain chain(sox_create_effects_chain(&input->encoding, &out->encoding));
    sox_signalinfo_t signal = input->signal;
    char *inputArg[] = {reinterpret_cast<char *>(input.get())};
    char *outputArg[] = {reinterpret_cast<char *>(out.get())};
    const qint64 sourceBytes = sourceInfo.size();
    if (!addSoxEffect(chain.get(), "input", 1, inputArg, &signal, &input->signal, error) ||
        !SoxLibrary::addReverseEffect(chain.get(), &signal, &input->signal,
                                      scratchBytesFor(*input, sourceBytes), error) ||
        !addSoxEffect(chain.get(), "output", 1, outputArg, &signal, &input->signal, error)) {
        chain.reset();
        out.reset();
        return failed(target, error);
    }

    FlowState state{cancelled, progress, input.get(),
                    quint64(qMax<qint64>(0, sourceBytes - qint64(input->data_start)))};
    SoxLibrary::clearLastError();
    sox_flow_effects(chain.get(), onFlow, &state);
    chain.reset();
    if (cancelled.load()) {
        out.reset();
        target.discard();
        return {AudioJobStatus::Cancelled, {}};
    }
    const int writeErrno = out->sox_errno;
    const int readErrno = input->sox_errno;
    const QString reason = SoxLibrary::lastError();
    const bool closed = sox_close(out.release()) == SOX_SUCCESS;
    if (writeErrno != 0 || readErrno != 0 || !closed || !reason.isEmpty())
        return failed(target, QStringLiteral("reversing “%1” failed%2")
                                  .arg(source, reason.isEmpty() ? QString() : ": " + reason));
    if (!target.commit(error))
        return {AudioJobStatus::Failed, error};
    if (progress)
        progress(1.0);
    return {AudioJobStatus::Finished, {}};
}

} // namespace murmelo
