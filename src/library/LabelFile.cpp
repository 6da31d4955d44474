#include "library/LabelFile.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <optional>

namespace murmelo {

namespace {
const QLatin1String reversedHeader("# Murmelo phrase markers: seconds on the reversed time line");
const QLatin1String forwardHeader("# Murmelo phrase markers: seconds on the forward time line");

QString seconds(qint64 frames, int sampleRate)
{
    return QString::number(secondsFromFrames(frames, sampleRate), 'f', 6);
}

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return text;
}

// Takes the next line off `rest`, whichever line end ends it: LF, CRLF, or a lone CR as some
// editors still write.
QByteArrayView nextLine(QByteArrayView &rest)
{
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
        ++end;
    const QByteArrayView line = rest.first(end);
    qsizetype next = end;
    if (next < rest.size())
        next += rest[next] == '\r' && next + 1 < rest.size() && rest[next + 1] == '\n' ? 2 : 1;
    rest = rest.sliced(next);
    return line;
}

// The first control character of a line other than the tabs that part its fields: a NUL would
// cut the text short wherever it is shown.
std::optional<ushort> controlCharacter(const QString &line)
{
    for (const QChar c : line) {
        if (c != u'\t' && c.category() == QChar::Other_Control)
            return c.unicode();
    }
    return std::nullopt;
}
} // namespace

QByteArray writeLabelFile(const QList<PhraseMarker> &markers, LabelTimeLine timeLine,
                          const LabelAudio &audio)
{
    QList<PhraseMarker> lines;
    for (const PhraseMarker &marker : markers)
        lines << (timeLine == LabelTimeLine::Forward ? forwardTwin(marker, audio.totalFrames)
                                                     : marker);
    // Editors list labels by start; on the forward line that is the reverse of the reversal's.
    std::stable_sort(lines.begin(), lines.end(), [](const auto &a, const auto &b) {
        return a.frames.start != b.frames.start ? a.frames.start < b.frames.start
                                                : a.frames.end < b.frames.end;
    });
    QString text =
        (timeLine == LabelTimeLine::Forward ? forwardHeader : reversedHeader) + QLatin1Char('\n');
    for (const PhraseMarker &marker : lines) {
        text += seconds(marker.frames.start, audio.sampleRate) + QLatin1Char('\t') +
                seconds(marker.frames.end, audio.sampleRate) + QLatin1Char('\t') +
                oneLine(marker.text) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

LabelFileContents readLabelFile(const QByteArray &bytes, LabelTimeLine assumed,
                                const LabelAudio &audio)
{
    LabelFileContents contents;
    contents.timeLine = assumed;
    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    // Times are read the same on every desktop: "1,500" is not a number, never 1500 s.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    int number = 0;
    while (!rest.isEmpty()) {
        ++number;
        const QByteArrayView raw = nextLine(rest);
        const auto refuse = [&](const QString &why) {
            contents.errors
                << QCoreApplication::translate("LabelFile", "line %1: %2").arg(number).arg(why);
        };
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = utf8.decode(raw);
        if (utf8.hasError()) {
            refuse(QCoreApplication::translate("LabelFile", "not UTF-8 text"));
            continue;
        }
        if (const auto control = controlCharacter(line)) {
            refuse(QCoreApplication::translate(
                       "LabelFile", "holds the control character U+%1, which is not text")
                       .arg(QString::number(*control, 16).toUpper().rightJustified(4, u'0')));
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        if (line.startsWith(u'#')) {
            if (line.contains(QLatin1String("forward time line")))
                contents.timeLine = LabelTimeLine::Forward;
            else if (line.contains(QLatin1String("reversed time line")))
                contents.timeLine = LabelTimeLine::Reversed;
            continue;
        }
        // Editors that mark frequency ranges write them on a line of their own under the label.
        if (line.startsWith(u'\\'))
            continue;
        const QStringList fields = line.split(u'\t');
        if (fields.size() < 2) {
            refuse(QCoreApplication::translate("LabelFile", "expected start<TAB>end<TAB>text"));
            continue;
        }
        bool ok = true;
        qint64 frames[2];
        for (int i = 0; i < 2 && ok; ++i) {
            bool parsed = false;
            const double value = c.toDouble(fields[i].trimmed(), &parsed);
            if (!parsed || !std::isfinite(value) || value < 0 ||
                value > double(std::numeric_limits<qint32>::max())) {
                refuse(QCoreApplication::translate("LabelFile", "“%1” is not a time in seconds")
                           .arg(fields[i]));
                ok = false;
                break;
            }
            frames[i] = framesFromSeconds(value, audio.sampleRate);
        }
        if (!ok)
            continue;
        if (frames[1] < frames[0]) {
            refuse(QCoreApplication::translate("LabelFile", "ends before it starts"));
            continue;
        }
        if (frames[1] > audio.totalFrames) {
            refuse(QCoreApplication::translate(
                       "LabelFile", "ends at %1 s, after the end of the recording (%2 s)")
                       .arg(fields[1].trimmed(), seconds(audio.totalFrames, audio.sampleRate)));
            continue;
        }
        PhraseMarker marker{0, {frames[0], frames[1]}, fields.mid(2).join(u' ')};
        contents.markers << marker;
    }
    if (contents.timeLine == LabelTimeLine::Forward) {
        for (PhraseMarker &marker : contents.markers)
            marker = forwardTwin(marker, audio.totalFrames);
    }
    return contents;
}

} // namespace murmelo
