// The recogniser on PocketSphinx, when Murmelo is built with it. It is driven the way
// PocketSphinx's own continuous listener drives it over a file: the samples go in blocks of
// 2048, the decoder's voice detector splits them into utterances, and each utterance's best
// path gives the words. Fillers (silence, breath, noise) are not words, and alternative
// pronunciations ("the(2)") are the same word.
#include "audio/SpeechRecogniser.h"

#include <QDir>
#include <QFileInfo>

#ifdef MURMELO_HAVE_POCKETSPHINX
#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/feat.h>
#endif

#include <vector>

namespace murmelo {

QString speechModelFolder()
{
    const QString chosen = qEnvironmentVariable("MURMELO_SPEECH_MODEL");
    return chosen.isEmpty() ? QStringLiteral("/usr/share/pocketsphinx/model/en-us") : chosen;
}

#ifdef MURMELO_HAVE_POCKETSPHINX

namespace {

constexpr size_t kBlockSamples = 2048;
// The decoder counts frames of 10 ms.
constexpr double kFrameSeconds = 0.01;

bool isFiller(const char *word)
{
    return word[0] == '<' || word[0] == '[' || word[0] == '+';
}

QString baseWord(const char *word)
{
    QString text = QString::fromUtf8(word);
    const qsizetype paren = text.indexOf(u'(');
    return paren > 0 && text.endsWith(u')') ? text.left(paren) : text;
}

// The cepstral mean the decoder normalises by, which it keeps learning from all it hears. Taken
// as the model starts it, and put back before each stretch, so that a stretch is heard the same
// whatever was recognised before it.
class CepstralMean {
public:
    explicit CepstralMean(ps_decoder_t *decoder) : cmn_(ps_get_feat(decoder)->cmn_struct)
    {
        if (!cmn_)
            return;
        mean_.assign(cmn_->cmn_mean, cmn_->cmn_mean + cmn_->veclen);
        sum_.assign(cmn_->sum, cmn_->sum + cmn_->veclen);
        frames_ = cmn_->nframe;
    }
    void restore() const
    {
        if (!cmn_)
            return;
        std::copy(mean_.begin(), mean_.end(), cmn_->cmn_mean);
        std::copy(sum_.begin(), sum_.end(), cmn_->sum);
        cmn_->nframe = frames_;
    }

private:
    cmn_t *cmn_;
    std::vector<mfcc_t> mean_;
    std::vector<mfcc_t> sum_;
    int32 frames_ = 0;
};

class PocketSphinxRecogniser : public SpeechRecogniser {
public:
    explicit PocketSphinxRecogniser(ps_decoder_t *decoder) : decoder_(decoder), mean_(decoder) {}
    ~PocketSphinxRecogniser() override { ps_free(decoder_); }

    std::optional<QList<SpokenWord>> recognise(const std::vector<qint16> &samples,
                                               const std::atomic<bool> &cancel,
                                               QString &error) override
    {
        error.clear();
        // Each stretch starts as a fresh listener would: noise level, voice detector and
        // cepstral mean anew.
        mean_.restore();
        if (ps_start_stream(decoder_) < 0 || ps_start_utt(decoder_) < 0) {
            error = QStringLiteral("the speech recogniser could not start");
            return std::nullopt;
        }
        QList<SpokenWord> words;
        bool inUtterance = false;
        for (size_t at = 0; at < samples.size(); at += kBlockSamples) {
            if (cancel.load()) {
                ps_end_utt(decoder_);
                return std::nullopt;
            }
            const size_t count = std::min(kBlockSamples, samples.size() - at);
            if (ps_process_raw(decoder_, samples.data() + at, count, FALSE, FALSE) < 0) {
                ps_end_utt(decoder_);
                error = QStringLiteral("the speech recogniser failed on the audio");
                return std::nullopt;
            }
            const bool speech = ps_get_in_speech(decoder_);
            if (speech && !inUtterance)
                inUtterance = true;
            if (!speech && inUtterance) {
                ps_end_utt(decoder_);
                collect(words);
                ps_start_utt(decoder_);
                inUtterance = false;
            }
        }
        ps_end_utt(decoder_);
        if (inUtterance)
            collect(words);
        return words;
    }

private:
    void collect(QList<SpokenWord> &words)
    {
        for (ps_seg_t *seg = ps_seg_iter(decoder_); seg; seg = ps_seg_next(seg)) {
            const char *word = ps_seg_word(seg);
            if (!word || isFiller(word))
                continue;
            int first = 0;
            int last = 0;
            ps_seg_frames(seg, &first, &last);
            words << SpokenWord{baseWord(word), first * kFrameSeconds, (last + 1) * kFrameSeconds};
        }
    }

    ps_decoder_t *decoder_;
    const CepstralMean mean_;
};

std::unique_ptr<SpeechRecogniser> makePocketSphinx(QString &why)
{
    const QDir model(speechModelFolder());
    const QString acoustic = model.filePath(QStringLiteral("en-us"));
    const QString language = model.filePath(QStringLiteral("en-us.lm.bin"));
    const QString dictionary = model.filePath(QStringLiteral("cmudict-en-us.dict"));
    for (const QString &part : {acoustic, language, dictionary}) {
        if (!QFileInfo::exists(part)) {
            why = QStringLiteral("The US English speech model is not installed (%1 is missing; "
                                 "Debian's package pocketsphinx-en-us has it).")
                      .arg(part);
            return nullptr;
        }
    }
    // Its progress lines would fill the terminal: only failures matter, and those we report.
    static const bool quiet = [] {
        err_set_logfp(nullptr);
        return true;
    }();
    Q_UNUSED(quiet);
    cmd_ln_t *config =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", QFile::encodeName(acoustic).constData(),
                    "-lm", QFile::encodeName(language).constData(), "-dict",
                    QFile::encodeName(dictionary).constData(), nullptr);
    ps_decoder_t *decoder = config ? ps_init(config) : nullptr;
    if (config)
        cmd_ln_free_r(config); // the decoder keeps its own reference
    if (!decoder) {
        why = QStringLiteral("The speech model in %1 could not be loaded.").arg(model.path());
        return nullptr;
    }
    return std::make_unique<PocketSphinxRecogniser>(decoder);
}

} // namespace

SpeechRecogniserFactory defaultSpeechRecogniserFactory()
{
    return makePocketSphinx;
}

#else

SpeechRecogniserFactory defaultSpeechRecogniserFactory()
{
    return [](QString &why) -> std::unique_ptr<SpeechRecogniser> {
        why = QStringLiteral("This Murmelo was built without speech recognition (PocketSphinx).");
        return nullptr;
    };
}

#endif

} // namespace murmelo
