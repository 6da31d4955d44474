#include "mail/smtp/MMSMTPReplyReader.h"

#include <QByteArrayView>

namespace murmelo {

bool MMSMTPReplyReader::isReplyEnd(const QByteArray &line)
{
    return !(line.size() >= 4 && line[3] == '-');
}

int MMSMTPReplyReader::replyCode(const QByteArray &line)
{
    if (line.size() < 3)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9')
            return 0;
    return line.left(3).toInt();
}

void MMSMTPReplyReader::append(const QByteArray &bytes)
{
    buffer_.remove(0, std::min(position_, buffer_.size()));
    position_ = 0;
    buffer_.append(bytes);
    peak_ = std::max(peak_, buffer_.size());
}

MMSMTPReplyReader::Read MMSMTPReplyReader::next(QByteArray &line)
{
    while (position_ < buffer_.size() && QByteArrayView(" \t\r\n").contains(buffer_[position_]))
        ++position_;
    qsizetype end = position_;
    while (end < buffer_.size() && buffer_[end] != '\r' && buffer_[end] != '\n')
        ++end;
    if (end - position_ > kMaxLine)
        return Read::Oversized;
    if (end == buffer_.size())
        return Read::NeedMore;
    line = buffer_.mid(position_, end - position_);
    position_ = end;
    replyBytes_ += line.size();
    return replyBytes_ > kMaxReplyBytes ? Read::Oversized : Read::Line;
}

bool MMSMTPReplyReader::addToReply(const QByteArray &line)
{
    replyText_ << QString::fromLatin1(line).trimmed();
    if (!isReplyEnd(line))
        return false;
    replyBytes_ = 0;
    return true;
}

void MMSMTPReplyReader::discardUnread()
{
    buffer_.clear();
    position_ = 0;
}

void MMSMTPReplyReader::reset()
{
    discardUnread();
    replyBytes_ = 0;
    replyText_.clear();
}

} // namespace murmelo
