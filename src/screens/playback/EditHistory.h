#pragma once

#include <QObject>
#include <QString>
#include <QUndoCommand>
#include <QUndoStack>

namespace murmelo {

// One step of the history of the recording on screen. Each step changes the store in one
// transaction. A step that cannot be applied says why beforehand and is not tried; one the
// store refuses midway changes nothing and says why; the history then stays where it was.
class EditStep : public QUndoCommand {
public:
    explicit EditStep(const QString &text) : QUndoCommand(text) {}

    // Why undo() (redo()) cannot be done now, e.g. a file gone meanwhile; empty when it can.
    virtual QString undoProblem() const { return {}; }
    virtual QString redoProblem() const { return {}; }
    // The title of the deletion question asked before undo(), empty for none.
    virtual QString undoQuestion() const { return {}; }

    // The stack's own calls do nothing: the history runs each step itself before the stack
    // moves, so that a step the store refuses leaves the stack where it was.
    void undo() final {}
    void redo() final {}

protected:
    // The change itself and its reverse; false with the reason when the store refused and
    // nothing changed.
    virtual bool apply(QString *why) = 0;
    virtual bool revert(QString *why) = 0;

private:
    friend class EditHistory;
};

// The undo history of the recording on screen: what Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y go
// through. Another recording opened starts an empty one.
class EditHistory : public QObject {
    Q_OBJECT
public:
    explicit EditHistory(QObject *parent = nullptr);

    // Does the step and records it; false (the store's complaint in `error`) when it failed.
    bool push(EditStep *step, QString *error);
    // Records a step already done by other means: only undo and redo run it.
    void pushDone(EditStep *step);
    // The next step back or forward, or null.
    const EditStep *nextUndo() const;
    const EditStep *nextRedo() const;
    // Undoes (redoes) the next step; empty when done, else why nothing changed.
    QString undo();
    QString redo();
    void clear() { stack_.clear(); }
    // "Undo Move Marker", "Redo Change Title", or empty when there is nothing to undo (redo).
    QString undoText() const;
    QString redoText() const;
    const QUndoStack &stack() const { return stack_; }

signals:
    // After a step was done, undone or redone here: what the screen shows is to be read again.
    void applied(const QString &what);
    // After a step done elsewhere was recorded.
    void recorded(const QString &what);

private:
    QString run(bool undo);

    QUndoStack stack_;
};

} // namespace murmelo
