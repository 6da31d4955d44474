#include "screens/mail/ContactPicker.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace murmelo {

ContactPicker::ContactPicker(QList<Contact> people, QWidget *parent)
    : QDialog(parent), people_(std::move(people)), pages_(new QStackedWidget(this)),
      search_(new QLineEdit(this)), peopleList_(new QListWidget(this)),
      addressList_(new QListWidget(this)), personLabel_(new QLabel(this))
{
    setObjectName(QStringLiteral("ContactPicker"));
    setWindowTitle(tr("Choose a Recipient"));
    setWindowModality(Qt::WindowModal);
    resize(300, 420);
    auto *column = new QVBoxLayout(this);

    auto *peoplePage = new QWidget(this);
    auto *peopleColumn = new QVBoxLayout(peoplePage);
    peopleColumn->setContentsMargins(0, 0, 0, 0);
    search_->setObjectName(QStringLiteral("contactSearch"));
    search_->setPlaceholderText(tr("Search"));
    search_->setAccessibleName(tr("Search contacts"));
    search_->setClearButtonEnabled(true);
    peopleColumn->addWidget(search_);
    peopleList_->setObjectName(QStringLiteral("peopleList"));
    peopleList_->setAccessibleName(tr("Contacts"));
    for (const Contact &person : std::as_const(people_)) {
        auto *row = new QListWidgetItem(person.name, peopleList_);
        row->setToolTip(person.emails.join(QStringLiteral(", ")));
        if (person.emails.isEmpty())
            row->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
    }
    peopleColumn->addWidget(peopleList_, 1);
    if (people_.isEmpty()) {
        auto *none = new QLabel(tr("No contacts found. Choose the folder of your address book "
                                   "(vCard files) on the Settings screen."),
                                peoplePage);
        none->setObjectName(QStringLiteral("noContacts"));
        none->setWordWrap(true);
        peopleColumn->addWidget(none);
    }
    pages_->addWidget(peoplePage);

    auto *addressPage = new QWidget(this);
    auto *addressColumn = new QVBoxLayout(addressPage);
    addressColumn->setContentsMargins(0, 0, 0, 0);
    personLabel_->setStyleSheet(QStringLiteral("font-weight: bold;"));
    addressColumn->addWidget(personLabel_);
    addressList_->setObjectName(QStringLiteral("addressList"));
    addressList_->setAccessibleName(tr("Addresses"));
    addressColumn->addWidget(addressList_, 1);
    auto *back = new QPushButton(tr("All Contacts"), addressPage);
    addressColumn->addWidget(back);
    pages_->addWidget(addressPage);
    column->addWidget(pages_, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    column->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(search_, &QLineEdit::textChanged, this, &ContactPicker::filter);
    connect(peopleList_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *row) { selectPerson(peopleList_->row(row)); });
    connect(addressList_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *row) { selectAddress(addressList_->row(row)); });
    connect(back, &QPushButton::clicked, this, [this] { pages_->setCurrentIndex(0); });
}

void ContactPicker::filter(const QString &text)
{
    for (int i = 0; i < peopleList_->count(); ++i) {
        const Contact &person = people_[i];
        const bool match = text.isEmpty() || person.name.contains(text, Qt::CaseInsensitive) ||
                           person.emails.join(QLatin1Char(' ')).contains(text, Qt::CaseInsensitive);
        peopleList_->item(i)->setHidden(!match);
    }
}

void ContactPicker::selectPerson(int index)
{
    if (index < 0 || index >= people_.size())
        return;
    const Contact &person = people_[index];
    if (person.emails.isEmpty()) {
        // Nothing to add: the list stays as it was.
        reject();
        return;
    }
    person_ = index;
    personLabel_->setText(person.name);
    addressList_->clear();
    addressList_->addItems(person.emails);
    addressList_->setCurrentRow(0);
    pages_->setCurrentIndex(1);
    addressList_->setFocus();
}

void ContactPicker::selectAddress(int index)
{
    if (person_ < 0 || index < 0 || index >= people_[person_].emails.size()) {
        reject();
        return;
    }
    const QString address = people_[person_].emails[index];
    accept();
    emit addressChosen(address);
}

} // namespace murmelo
