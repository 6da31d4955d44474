#pragma once

#include <QString>

namespace murmelo {

// The text of a problem report and the version block that tells support which build, machine and
// system it came from.
namespace BugReport {

// The description of a known device identifier; null for one not in the table.
QString hardwareDescription(const QString &identifier);

// The machine's model as its firmware names it ("LENOVO ThinkPad X1 Carbon Gen 9"), from the DMI
// tables or the device tree below `root` ("/" on a running system); empty when none says.
QString machineModel(const QString &root = QStringLiteral("/"));

// What the version block names the machine: the table's description of its model, else the
// model itself, else nothing.
QString deviceModelDescription(const QString &root = QStringLiteral("/"));

// The system line: the distribution's name and version from os-release ("Debian GNU/Linux 12"),
// else the kernel's name and release.
QString operatingSystemLine(const QString &root = QStringLiteral("/"));

// "version <version><description>\n<system>\n": the description follows the version directly.
QString versionBlock(const QString &version, const QString &description, const QString &systemLine);
// The version block of this build on this machine: "version 0.1.0 (1) on <machine>".
QString currentVersionBlock();

// "<user e-mail>\n<problem>\n<version block>".
QString reportText(const QString &userEmail, const QString &problem, const QString &versionBlock);

} // namespace BugReport

} // namespace murmelo
