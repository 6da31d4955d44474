#pragma once

#include "audio/SpeechRecogniser.h"

#include <QStyledItemDelegate>
#include <optional>

class QTreeWidgetItem;

namespace murmelo {

// The heard text of a marker in the list, with the words said forward under it drawn dimmed on
// a line of their own; hovering shows each word's forward time. Editing the text is as before.
class ForwardWordsDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kWordsRole = Qt::UserRole + 1;

    explicit ForwardWordsDelegate(QObject *parent = nullptr);

    // Whether rows keep a line for the words. The list's rows are all of one height (it may
    // hold many thousands), so the line is kept in every row or in none.
    void setWordsShown(bool shown) { wordsShown_ = shown; }
    bool wordsShown() const { return wordsShown_; }

    // Gives a row its marker's forward words; none yet: nothing is shown, or a word that they
    // are on their way while they are being recognised.
    static void describe(QTreeWidgetItem *item, int column,
                         const std::optional<QList<SpokenWord>> &words, bool recognising);
    // "the 0:01.03, quick 0:01.14, …" one word a line, for the hover.
    static QString timesText(const QList<SpokenWord> &words);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    bool wordsShown_ = false;
};

} // namespace murmelo
