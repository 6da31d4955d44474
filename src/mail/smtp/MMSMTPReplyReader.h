#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace murmelo {

// Frames what a server sends into reply lines and replies, within bounds a hostile server
// cannot stretch: a line longer than kMaxLine, or a (multi-line) reply longer than
// kMaxReplyBytes, is refused as soon as it is seen, before it is held whole.
class MMSMTPReplyReader {
public:
    static constexpr qsizetype kMaxLine = 4096;
    static constexpr qsizetype kMaxReplyBytes = 65536;

    enum class Read { Line, NeedMore, Oversized };

    // "250-..." continues a reply; anything else ends it.
    static bool isReplyEnd(const QByteArray &line);
    // The reply code of a line, or 0 when it does not begin with three digits.
    static int replyCode(const QByteArray &line);

    void append(const QByteArray &bytes);
    // The next line whose line break has arrived (a line split across reads is still one
    // line), without the blank lines and spaces before it.
    Read next(QByteArray &line);
    // Adds a line to the text of the reply being read; true when the line ends the reply.
    bool addToReply(const QByteArray &line);
    // The reply's lines joined by blanks, until endReply().
    QString replyText() const { return replyText_.join(QLatin1Char(' ')); }
    void endReply() { replyText_.clear(); }
    // Drops what has arrived but was not read yet.
    void discardUnread();
    // Forgets everything but the peak, for a new connection or the start of TLS.
    void reset();
    // The most input held unconsumed at once.
    qsizetype peak() const { return peak_; }

private:
    QByteArray buffer_;
    qsizetype position_ = 0;
    qsizetype replyBytes_ = 0;
    qsizetype peak_ = 0;
    QStringList replyText_;
};

} // namespace murmelo
