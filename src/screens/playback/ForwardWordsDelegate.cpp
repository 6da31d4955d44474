#include "screens/playback/ForwardWordsDelegate.h"

#include "playback/TimeText.h"

#include <QApplication>
#include <QPainter>
#include <QTreeWidgetItem>

namespace murmelo {

namespace {
const QColor kDimmed(150, 156, 170);
constexpr int kGap = 2;

QString wordsOf(const QModelIndex &index)
{
    return index.data(ForwardWordsDelegate::kWordsRole).toString();
}
} // namespace

ForwardWordsDelegate::ForwardWordsDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

void ForwardWordsDelegate::describe(QTreeWidgetItem *item, int column,
                                    const std::optional<QList<SpokenWord>> &words, bool recognising)
{
    QStringList texts;
    for (const SpokenWord &word : words.value_or(QList<SpokenWord>{}))
        texts << word.text;
    item->setData(column, kWordsRole,
                  !words && recognising ? tr("recognising the forward words…") : texts.join(u' '));
    item->setToolTip(column, words && !words->isEmpty() ? timesText(*words) : QString());
}

QString ForwardWordsDelegate::timesText(const QList<SpokenWord> &words)
{
    QStringList lines{tr("Said forward:")};
    for (const SpokenWord &word : words)
        lines << QStringLiteral("%1  %2").arg(preciseTimeText(word.start), word.text);
    return lines.join(u'\n');
}

void ForwardWordsDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    const QString words = wordsOf(index);
    if (!wordsShown_) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The heard text keeps the first line as it always had; the forward words go under it.
    const int line = option.fontMetrics.height();
    QStyleOptionViewItem top = option;
    initStyleOption(&top, index);
    QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &top, painter, option.widget);
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &top, option.widget);
    painter->save();
    painter->setPen(top.palette.color(
        option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect first(text.left(), text.top(), text.width(), line);
    painter->drawText(first, Qt::AlignLeft | Qt::AlignVCenter,
                      top.fontMetrics.elidedText(top.text, Qt::ElideRight, first.width()));
    QFont small = option.font;
    small.setItalic(true);
    painter->setFont(small);
    painter->setPen(kDimmed);
    const QRect second(text.left(), first.bottom() + kGap, text.width(), line);
    painter->drawText(second, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(small).elidedText(words, Qt::ElideRight, second.width()));
    painter->restore();
}

QSize ForwardWordsDelegate::sizeHint(const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (wordsShown_)
        size.rheight() += option.fontMetrics.height() + kGap;
    return size;
}

void ForwardWordsDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                const QModelIndex &index) const
{
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    // The text is typed on its own line, above the forward words.
    if (wordsShown_)
        editor->setGeometry(editor->x(), option.rect.top(), editor->width(),
                            option.rect.height() - option.fontMetrics.height() - kGap);
}

} // namespace murmelo
