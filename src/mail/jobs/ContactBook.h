#pragma once

#include "mail/jobs/VCard.h"

#include <QList>
#include <QString>

namespace murmelo {

// The user's address book: a folder in the vdir layout that desktop address books sync to
// (one folder per address book, one .vcf file per person), or a folder of .vcf files.
namespace ContactBook {

// The user default that names the folder.
inline constexpr char kFolderKey[] = "contactsFolder";

// The folder chosen on the settings screen, else $XDG_DATA_HOME/contacts.
QString folder();
void setFolder(const QString &folder);

// Everyone on the cards below `folder` (itself and its address-book subfolders), sorted by
// name. Unreadable or oversized files are skipped.
QList<Contact> readFolder(const QString &folder);

} // namespace ContactBook

} // namespace murmelo
