#pragma once

#include "mail/jobs/VCard.h"

#include <QDialog>
#include <QList>

class QLineEdit;
class QListWidget;
class QStackedWidget;
class QLabel;

namespace murmelo {

// The address-book picker, showing only e-mail addresses: choosing a person continues into that
// person's addresses, choosing an address reports it and closes the picker. A person without
// addresses closes it without a choice.
class ContactPicker : public QDialog {
    Q_OBJECT
public:
    explicit ContactPicker(QList<Contact> people, QWidget *parent = nullptr);

    // The picker's steps, also what a double click or Enter on a row does.
    void selectPerson(int index);
    void selectAddress(int index);

    const QList<Contact> &people() const { return people_; }
    QListWidget *peopleList() const { return peopleList_; }
    QListWidget *addressList() const { return addressList_; }
    QLineEdit *searchField() const { return search_; }

signals:
    void addressChosen(const QString &address);

private:
    void filter(const QString &text);

    QList<Contact> people_;
    int person_ = -1;
    QStackedWidget *pages_;
    QLineEdit *search_;
    QListWidget *peopleList_;
    QListWidget *addressList_;
    QLabel *personLabel_;
};

} // namespace murmelo
