#include "screens/playback/EditHistory.h"

namespace murmelo {

EditHistory::EditHistory(QObject *parent) : QObject(parent) {}

bool EditHistory::push(EditStep *step, QString *error)
{
    QString why;
    if (!step->apply(&why)) {
        if (error)
            *error = why;
        delete step;
        return false;
    }
    const QString text = step->text();
    stack_.push(step); // a step merged into the one before is deleted by the stack
    emit applied(text);
    return true;
}

void EditHistory::pushDone(EditStep *step)
{
    const QString text = step->text();
    stack_.push(step);
    emit recorded(text);
}

const EditStep *EditHistory::nextUndo() const
{
    return stack_.canUndo() ? static_cast<const EditStep *>(stack_.command(stack_.index() - 1))
                            : nullptr;
}

const EditStep *EditHistory::nextRedo() const
{
    return stack_.canRedo() ? static_cast<const EditStep *>(stack_.command(stack_.index()))
                            : nullptr;
}

QString EditHistory::run(bool undo)
{
    auto *step = const_cast<EditStep *>(undo ? nextUndo() : nextRedo());
    if (!step)
        return {};
    if (QString problem = undo ? step->undoProblem() : step->redoProblem(); !problem.isEmpty())
        return problem;
    QString why;
    if (!(undo ? step->revert(&why) : step->apply(&why)))
        return why;
    const QString text = step->text();
    if (undo)
        stack_.undo();
    else
        stack_.redo();
    emit applied(undo ? tr("Undone: %1").arg(text) : tr("Redone: %1").arg(text));
    return {};
}

QString EditHistory::undo()
{
    return run(true);
}

QString EditHistory::redo()
{
    return run(false);
}

QString EditHistory::undoText() const
{
    return stack_.canUndo() ? tr("Undo %1").arg(stack_.undoText()) : QString();
}

QString EditHistory::redoText() const
{
    return stack_.canRedo() ? tr("Redo %1").arg(stack_.redoText()) : QString();
}

} // namespace murmelo
