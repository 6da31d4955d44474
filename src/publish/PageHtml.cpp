#include "publish/PageHtml.h"

#include <QCryptographicHash>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace murmelo::PageHtml {

namespace {

// The page's look: light and dark, one column on a phone, forward and reversal side by side
// wider. Everything has its size before the audio loads, so nothing moves when it does.
const char *const styleSheet = R"css(
:root{color-scheme:light dark;--bg:#f5f3ee;--fg:#1c1e23;--muted:#5a5f6e;--card:#fff;--line:#d9d5cb;--accent:#6b3fd4;--on-accent:#fff;--wave:#7a8295;--region:rgba(107,63,212,.16);--head:#c62a1e}
@media (prefers-color-scheme:dark){:root{--bg:#14161b;--fg:#e9e7e2;--muted:#a4aab9;--card:#1e222a;--line:#343947;--accent:#b597ff;--on-accent:#14161b;--wave:#8b94a8;--region:rgba(181,151,255,.2);--head:#ff6f61}}
*{box-sizing:border-box}
html{scrollbar-gutter:stable}
body{margin:0;background:var(--bg);color:var(--fg);font:16px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,Cantarell,"Noto Sans",sans-serif}
main{max-width:60rem;margin:0 auto;padding:1.5rem 1rem 2rem}
h1{font-size:1.8rem;line-height:1.2;margin:0 0 .4rem;overflow-wrap:anywhere}
.lead,.note{color:var(--muted);margin:0 0 1rem}
.wave{display:block;width:100%;height:7rem;background:var(--card);border:1px solid var(--line);border-radius:.6rem}
.bars{fill:var(--wave)}
.region{fill:var(--region)}
.playhead{stroke:var(--head);stroke-width:2;visibility:hidden}
.playhead.on{visibility:visible}
.clip{background:var(--card);border:1px solid var(--line);border-radius:.8rem;padding:1rem;margin:1rem 0}
.clip h2{font-size:1.15rem;margin:0 0 .75rem;display:flex;flex-wrap:wrap;gap:.25rem .75rem;align-items:baseline}
.clip h2 small{font-size:.85rem;font-weight:400;color:var(--muted);font-variant-numeric:tabular-nums}
.pair{display:grid;gap:1rem;grid-template-columns:1fr 1fr}
@media (max-width:40rem){.pair{grid-template-columns:1fr}}
.side h3{font-size:.8rem;letter-spacing:.06em;text-transform:uppercase;color:var(--muted);margin:0 0 .4rem;display:flex;justify-content:space-between;font-variant-numeric:tabular-nums}
.buttons{display:flex;flex-wrap:wrap;gap:.5rem}
button{font:inherit;min-height:2.75rem;min-width:2.75rem;padding:.4rem .9rem;border-radius:.5rem;border:1px solid var(--line);background:var(--bg);color:var(--fg);cursor:pointer}
button:hover{border-color:var(--accent)}
button[aria-pressed=true]{background:var(--accent);border-color:var(--accent);color:var(--on-accent)}
button:focus-visible,summary:focus-visible{outline:3px solid var(--accent);outline-offset:2px}
details{margin-top:1rem}
summary{cursor:pointer;font-weight:600;color:var(--accent);min-height:2.75rem;display:flex;align-items:center}
.heard{font-size:1.3rem;margin:.25rem 0 0;white-space:pre-wrap;overflow-wrap:anywhere}
footer{color:var(--muted);font-size:.85rem;border-top:1px solid var(--line);margin-top:2rem;padding-top:1rem;overflow-wrap:anywhere}
footer p{margin:.25rem 0}
code{font-size:.8rem}
)css";

// Play buttons: one clip at a time, at normal speed or slowed with the pitch kept, once or
// repeated; the playhead over the waveform follows the clip playing.
const char *const script = R"js(
"use strict";
const head = document.getElementById("playhead");
let playing = null, button = null, left = 0, frame = 0;
function place(audio) {
  const x0 = +audio.dataset.x0, x1 = +audio.dataset.x1, d = audio.duration;
  const f = d > 0 ? Math.min(audio.currentTime / d, 1) : 0;
  const x = String(x0 + (x1 - x0) * f);
  head.setAttribute("x1", x);
  head.setAttribute("x2", x);
}
function follow() {
  if (!playing) return;
  place(playing);
  frame = requestAnimationFrame(follow);
}
function stop() {
  if (playing) playing.pause();
  if (button) button.setAttribute("aria-pressed", "false");
  playing = button = null;
  cancelAnimationFrame(frame);
}
document.addEventListener("click", (event) => {
  const pressed = event.target.closest("button[data-clip]");
  if (!pressed) return;
  const again = pressed === button;
  stop();
  if (again) return;
  const audio = document.getElementById(pressed.dataset.clip);
  playing = audio;
  button = pressed;
  left = +pressed.dataset.times - 1;
  audio.preservesPitch = true;
  audio.playbackRate = +pressed.dataset.rate;
  audio.currentTime = 0;
  pressed.setAttribute("aria-pressed", "true");
  head.classList.add("on");
  audio.play().catch(stop);
  follow();
});
for (const audio of document.querySelectorAll("audio")) {
  audio.addEventListener("ended", () => {
    if (audio !== playing) return;
    if (left > 0) {
      left -= 1;
      audio.currentTime = 0;
      audio.play().catch(stop);
    } else {
      place(audio);
      stop();
    }
  });
}
)js";

QString clock(double seconds)
{
    const int tenths = int(std::lround(seconds * 10));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

QString number(double value)
{
    return QString::number(value, 'f', 2);
}

QString factorText(double factor)
{
    return QString::number(factor, 'g', 3) + QStringLiteral("×");
}

QString wavePath(const std::vector<float> &peaks)
{
    if (peaks.empty())
        return {};
    const double column = double(waveWidth) / double(peaks.size());
    const double bar = std::max(column * 0.7, 0.5);
    const double middle = waveHeight / 2.0;
    QString path;
    path.reserve(int(peaks.size()) * 40);
    for (size_t i = 0; i < peaks.size(); ++i) {
        // Silence still shows as a thin line, so the waveform's length reads at a glance.
        const double half = std::max(0.5, std::clamp(double(peaks[i]), 0.0, 1.0) * (middle - 2));
        path += QStringLiteral("M%1 %2h%3v%4h-%3z")
                    .arg(number(i * column), number(middle - half), number(bar), number(2 * half));
    }
    return path;
}

// A clip's address as an attribute value. A data: URI's base64 holds nothing HTML reads as
// markup and is written as it is (it is most of the page); anything else is escaped.
QString sourceAttribute(const QByteArray &source)
{
    const bool plain = std::all_of(source.begin(), source.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               (c != '\0' && std::strchr("+/=:;,-._", c) != nullptr);
    });
    return plain ? QString::fromLatin1(source) : escaped(QString::fromUtf8(source));
}

QString side(const PageClip &clip, const QString &what, const QString &audio, const QString &whose,
             double slow)
{
    const QString name = escaped(audio + QStringLiteral(" of ") + whose);
    const QString id = escaped(clip.id);
    QString html = QStringLiteral("<div class=\"side\"><h3><span>%1</span><span>%2</span></h3>\n")
                       .arg(escaped(what), clock(clip.seconds));
    html += QStringLiteral("<audio id=\"%1\" preload=\"auto\" src=\"%2\" data-x0=\"%3\" "
                           "data-x1=\"%4\"></audio>\n")
                .arg(id, sourceAttribute(clip.source), number(clip.x0), number(clip.x1));
    html += QStringLiteral("<div class=\"buttons\" role=\"group\" aria-label=\"%1\">\n").arg(name);
    const auto button = [&](const QString &rate, int times, const QString &label,
                            const QString &accessible) {
        html += QStringLiteral("<button type=\"button\" data-clip=\"%1\" data-rate=\"%2\" "
                               "data-times=\"%3\" aria-pressed=\"false\" aria-label=\"%4\">%5"
                               "</button>\n")
                    .arg(id, rate)
                    .arg(times)
                    .arg(accessible, escaped(label));
    };
    button(QStringLiteral("1"), 1, QStringLiteral("Play"), QStringLiteral("Play the ") + name);
    button(QString::number(slow, 'g', 3), 1, QStringLiteral("Slowed ") + factorText(slow),
           QStringLiteral("Play the ") + name + QStringLiteral(" slowed to ") +
               escaped(factorText(slow)));
    button(QStringLiteral("1"), 3, QStringLiteral("Repeat 3×"),
           QStringLiteral("Play the ") + name + QStringLiteral(" three times"));
    html += QStringLiteral("</div></div>\n");
    return html;
}

QString reveal(const QString &heard)
{
    return QStringLiteral("<details><summary>What do you hear?</summary>"
                          "<p class=\"heard\">%1</p></details>\n")
        .arg(escaped(heard));
}

QString phraseSection(const PagePhrase &phrase, double slow)
{
    const QString whose = phrase.heading.left(1).toLower() + phrase.heading.mid(1);
    QString html = QStringLiteral("<section class=\"clip\"><h2>%1").arg(escaped(phrase.heading));
    if (!phrase.where.isEmpty())
        html += QStringLiteral(" <small>%1</small>").arg(escaped(phrase.where));
    html += QStringLiteral("</h2>\n<div class=\"pair\">\n");
    html += side(phrase.forward, QStringLiteral("Forward"), QStringLiteral("forward audio"), whose,
                 slow);
    html +=
        side(phrase.reversed, QStringLiteral("Reversed"), QStringLiteral("reversal"), whose, slow);
    html += QStringLiteral("</div>\n");
    if (!phrase.heard.trimmed().isEmpty())
        html += reveal(phrase.heard);
    html += QStringLiteral("</section>\n");
    return html;
}

QString waveform(const PageContent &content)
{
    QString html = QStringLiteral("<svg class=\"wave\" viewBox=\"0 0 %1 %2\" "
                                  "preserveAspectRatio=\"none\" role=\"img\" "
                                  "aria-label=\"Waveform of the reversal%3\">\n")
                       .arg(waveWidth)
                       .arg(waveHeight)
                       .arg(content.phrases.size() > 1 || (content.phrases.size() == 1 &&
                                                           !content.phrases[0].where.isEmpty())
                                ? QStringLiteral(", with the marked phrases shaded")
                                : QString());
    for (const PagePhrase &phrase : content.phrases) {
        if (phrase.where.isEmpty())
            continue; // the whole recording spans everything: no region to shade
        const double left = std::min(phrase.reversed.x0, phrase.reversed.x1);
        const double right = std::max(phrase.reversed.x0, phrase.reversed.x1);
        html += QStringLiteral("<rect class=\"region\" x=\"%1\" y=\"0\" width=\"%2\" "
                               "height=\"%3\"/>\n")
                    .arg(number(left), number(std::max(right - left, 1.0)))
                    .arg(waveHeight);
    }
    html += QStringLiteral("<path class=\"bars\" d=\"%1\"/>\n").arg(wavePath(content.peaks));
    html += QStringLiteral("<line id=\"playhead\" class=\"playhead\" x1=\"0\" y1=\"0\" x2=\"0\" "
                           "y2=\"%1\" vector-effect=\"non-scaling-stroke\"/>\n</svg>\n")
                .arg(waveHeight);
    return html;
}

} // namespace

QString escaped(const QString &text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QString out;
    out.reserve(lines.size() + 16);
    for (char32_t c : lines.toUcs4()) {
        const bool control =
            (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x7f && c <= 0x9f);
        const bool nonCharacter = (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
        const bool surrogate = c >= 0xd800 && c <= 0xdfff;
        if (control || nonCharacter || surrogate) {
            out += QChar(0xfffd);
            continue;
        }
        switch (c) {
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        case '\'':
            out += QStringLiteral("&#39;");
            break;
        case '\r':
            out += QLatin1Char('\n');
            break;
        default:
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

QByteArray cspHash(const QByteArray &text)
{
    return "sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64();
}

QByteArray render(const PageContent &content)
{
    const QByteArray style = QByteArray(styleSheet);
    const QByteArray code = QByteArray(script);
    // Nothing may be fetched from anywhere: the audio is inside the page (or, for a hosted
    // folder, beside it), and the style and script run only because their hashes match.
    const QString policy =
        QStringLiteral("default-src 'none'; media-src %1; style-src '%2'; script-src '%3'; "
                       "img-src data:; base-uri 'none'; form-action 'none'")
            .arg(content.clipsBeside ? QStringLiteral("'self'") : QStringLiteral("data:"),
                 QString::fromLatin1(cspHash(style)), QString::fromLatin1(cspHash(code)));
    const QString title =
        content.title.trimmed().isEmpty() ? QStringLiteral("Untitled reversal") : content.title;

    QString html;
    html += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                           "<meta http-equiv=\"Content-Security-Policy\" content=\"%1\">\n"
                           "<meta name=\"viewport\" content=\"width=device-width, "
                           "initial-scale=1\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"
                           "<meta name=\"generator\" content=\"Murmelo %2\">\n"
                           "<title>%3</title>\n<style>")
                .arg(escaped(policy), escaped(content.version), escaped(title));
    html += QString::fromUtf8(style);
    html += QStringLiteral("</style>\n</head>\n<body>\n<main>\n<h1>%1</h1>\n").arg(escaped(title));
    html += QStringLiteral(
        "<p class=\"lead\">Listen to the forward audio first, then to the same stretch played "
        "backwards. Open “What do you hear?” only after you have listened.</p>\n");
    if (!content.note.isEmpty())
        html += QStringLiteral("<p class=\"note\">%1</p>\n").arg(escaped(content.note));
    html += waveform(content);
    if (!content.message.trimmed().isEmpty())
        html += reveal(content.message);
    for (const PagePhrase &phrase : content.phrases)
        html += phraseSection(phrase, content.slowFactor);
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    html += QStringLiteral("<footer>\n<p>Recorded %1. Published with Murmelo %2.</p>\n"
                           "<p>SHA-256 of the recorded audio (the forward WAV file as saved): "
                           "<code>%3</code></p>\n</footer>\n</main>\n<script>")
                .arg(escaped(english.toString(content.date, QStringLiteral("d MMMM yyyy, HH:mm"))),
                     escaped(content.version), escaped(content.audioSha256));
    html += QString::fromUtf8(code);
    html += QStringLiteral("</script>\n</body>\n</html>\n");
    return html.toUtf8();
}

} // namespace murmelo::PageHtml
