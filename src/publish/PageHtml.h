#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace murmelo {

// One audio element of the page: where its audio comes from (a data: URI, or a file name beside
// the page) and which stretch of the waveform's width (0..PageHtml::waveWidth) it plays across:
// a reversal runs left to right, a forward twin right to left over the same stretch.
struct PageClip {
    QString id;
    QByteArray source;
    double seconds = 0;
    double x0 = 0;
    double x1 = 0;
};

// A stretch with its two clips and what was heard there.
struct PagePhrase {
    QString heading; // "Phrase 2", "The whole recording"
    QString where;   // its times, or empty
    QString heard;   // shown only when the visitor asks
    PageClip forward;
    PageClip reversed;
};

struct PageContent {
    QString title;
    QDateTime date;
    QString version;
    QString audioSha256;
    std::vector<float> peaks; // one per column of the waveform, 0..1
    std::vector<PagePhrase> phrases;
    double slowFactor = 0.7;
    bool clipsBeside = false; // clips are files next to the page rather than data: URIs
    QString note;             // a remark under the title (e.g. what was left out), or empty
    QString message;          // the hidden message behind its own reveal, when no clip has it
};

// Renders the published page: HTML5 with the waveform as inline SVG, one inline style sheet and
// one inline script, both allowed by their hashes in a Content-Security-Policy that forbids every
// network fetch. Every text of the user's is escaped.
namespace PageHtml {

constexpr int waveWidth = 1000;
constexpr int waveHeight = 100;

QByteArray render(const PageContent &content);

// Text safe in an element or a quoted attribute; characters HTML does not allow in a document
// (controls other than tab and line breaks, noncharacters, lone surrogates) become U+FFFD.
QString escaped(const QString &text);

// "sha256-<base64>" of the text, as a Content-Security-Policy source.
QByteArray cspHash(const QByteArray &text);

} // namespace PageHtml

} // namespace murmelo
