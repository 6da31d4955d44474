#pragma once

#include "toolkit/ViewController.h"

#include <functional>

class QLineEdit;
class QPushButton;
class QTextEdit;
class QVBoxLayout;

namespace murmelo {

// Where the user describes a problem and sends it to support with their address and the version
// block. Sending is possible once both a description and an address are there; the address is
// only required to be there, its form is not checked.
class ReportProblemViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr int kMenuPosition = 3;
    static constexpr int kMargin = 18;
    static constexpr int kMaxColumnWidth = 640;
    static QString placeholder()
    {
        return tr("Please describe the problem you're encountered\u2026");
    }
    // What sending does: the application's bug-report job unless a test puts something else.
    using Sender = std::function<void(const QString &problem, const QString &userEmail)>;

    explicit ReportProblemViewController(QWidget *parent = nullptr);

    void setSender(Sender sender) { sender_ = std::move(sender); }

    void send();
    void done();
    void textViewDidBeginEditing();
    void textViewDidEndEditing();
    void textFieldDidEndEditing();

    QString problem() const { return problem_; }
    QTextEdit *textView() const { return textView_; }
    QLineEdit *emailTextField() const { return emailTextField_; }
    QPushButton *sendButton() const { return sendButton_; }
    QPushButton *doneButton() const { return doneButton_; }

protected:
    void viewDidAppear() override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void viewDidLoad();
    void updateSendButton();
    // The description as typed now; the placeholder is not a description.
    QString typedProblem() const;

    QVBoxLayout *column_;
    QTextEdit *textView_;
    QLineEdit *emailTextField_;
    QPushButton *sendButton_;
    QPushButton *doneButton_;
    QString problem_; // null when none is committed
    Sender sender_;
};

} // namespace murmelo
