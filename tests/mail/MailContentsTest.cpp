#include "mail/jobs/MailContents.h"
#include "mail/jobs/BugReport.h"
#include "mail/mime/MMSMTPComposer.h"
#include "platform/Localized.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

TEST(ReversalMail, BodyFillsMessageThenNameAndLeavesBothEmptyWhenMissing)
{
    const QString format = localized("message");
    ASSERT_EQ(format.count(QLatin1String("%@")), 2);
    const QString empty = reversalBody(QString(), QString());
    EXPECT_FALSE(empty.contains(QLatin1String("%@")));
    EXPECT_EQ(empty.size(), format.size() - 4);
    const QString filled = reversalBody(QStringLiteral("run %@ away"), QStringLiteral("Ann"));
    const qsizetype message = filled.indexOf(QLatin1String("run %@ away"));
    EXPECT_GE(message, 0);
    // What a message brings in is not filled again: the name lands after it.
    EXPECT_GT(filled.indexOf(QLatin1String("Ann")), message);
    EXPECT_EQ(fillPlaceholders(QStringLiteral("%@-%@-%@"), {QStringLiteral("a")}),
              QStringLiteral("a--"));
}

TEST(ReversalMail, TextPartThenAttachmentIn64ColumnBase64)
{
    QByteArray wav(1000, '\0');
    for (int i = 0; i < wav.size(); ++i)
        wav[i] = char(i * 7);
    const MailContents mail =
        reversalMail(QStringLiteral("a@x.org,b@y.org"), QStringLiteral("hi"), wav);
    EXPECT_EQ(mail.toEmail, QStringLiteral("a@x.org,b@y.org"));
    EXPECT_EQ(mail.subject, QStringLiteral("I've discovered a hidden message!"));
    ASSERT_EQ(mail.parts.size(), 2);
    EXPECT_EQ(mail.parts[0].contentType, QStringLiteral("text/plain; charset=UTF-8"));
    EXPECT_EQ(mail.parts[0].contentTransferEncoding, QStringLiteral("8bit"));
    EXPECT_TRUE(mail.parts[0].contentDisposition.isEmpty());
    EXPECT_EQ(mail.parts[0].message.toString(), QStringLiteral("hi"));
    const MailPart &attachment = mail.parts[1];
    EXPECT_EQ(attachment.contentType, QStringLiteral("audio/wave"));
    EXPECT_EQ(attachment.contentDisposition,
              QStringLiteral("attachment;\r\n\tfilename=\"murmelo.wav\""));
    EXPECT_EQ(attachment.contentTransferEncoding, QStringLiteral("base64"));
    const QList<QByteArray> lines = attachment.message.toByteArray().split('\n');
    ASSERT_EQ(lines.size(), 21); // 1336 characters
    for (int i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i], lines[i].left(64) + "\r") << i;
    EXPECT_EQ(QByteArray::fromBase64(attachment.message.toByteArray()), wav);
}

TEST(BugReport, ReportTextAndVersionBlock)
{
    const QString block = BugReport::versionBlock(QStringLiteral("1.2"), QStringLiteral("iPad 3"),
                                                  QStringLiteral("Debian GNU/Linux 12"));
    EXPECT_EQ(block, QStringLiteral("version 1.2iPad 3\nDebian GNU/Linux 12\n"));
    EXPECT_EQ(BugReport::reportText(QStringLiteral("me@x.org"), QStringLiteral("It hangs"), block),
              QStringLiteral("me@x.org\nIt hangs\n") + block);
    // Without an address the report starts with an empty line.
    EXPECT_TRUE(BugReport::reportText(QString(), QStringLiteral("p"), block)
                    .startsWith(QLatin1String("\np\nversion 1.2")));
    const MailContents mail = bugReportMail(QStringLiteral("support@x.org"), QStringLiteral("t"));
    EXPECT_EQ(mail.subject, QStringLiteral("Murmelo Bug Report"));
    ASSERT_EQ(mail.parts.size(), 1);
    EXPECT_EQ(mail.parts[0].contentTransferEncoding, QStringLiteral("8bit"));
}

TEST(BugReport, MachineDescriptionFromTheTableTheModelOrNull)
{
    EXPECT_EQ(BugReport::hardwareDescription(QStringLiteral("iPhone5,2")),
              QStringLiteral("iPhone 5 (GSM+CDMA)"));
    EXPECT_TRUE(BugReport::hardwareDescription(QStringLiteral("iPhone9,9")).isNull());

    const QString root = test::scratchRoot() + QStringLiteral("/machine");
    // Nothing names the machine: nothing is said of it (no "(null)" after the version).
    EXPECT_TRUE(BugReport::deviceModelDescription(root).isEmpty());
    // This build's block names its version and build.
    EXPECT_TRUE(BugReport::currentVersionBlock().startsWith(
        QStringLiteral("version %1 (%2)")
            .arg(QLatin1String(MURMELO_VERSION), QLatin1String(MURMELO_BUILD_NUMBER))));
    EXPECT_FALSE(BugReport::currentVersionBlock().contains(QLatin1String("(null)")));
    // A board that names itself in the device tree, with its trailing NUL.
    writeFile(root + QStringLiteral("/proc/device-tree/model"),
              QByteArray("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    EXPECT_EQ(BugReport::deviceModelDescription(root),
              QStringLiteral("Raspberry Pi 4 Model B Rev 1.4"));
    // DMI wins, with the vendor in front; firmware placeholders name nothing.
    writeFile(root + QStringLiteral("/sys/devices/virtual/dmi/id/product_name"), "20XW0055GE\n");
    writeFile(root + QStringLiteral("/sys/devices/virtual/dmi/id/sys_vendor"), "LENOVO\n");
    EXPECT_EQ(BugReport::machineModel(root), QStringLiteral("LENOVO 20XW0055GE"));
    writeFile(root + QStringLiteral("/sys/devices/virtual/dmi/id/product_name"),
              "To be filled by O.E.M.\n");
    EXPECT_EQ(BugReport::machineModel(root), QStringLiteral("Raspberry Pi 4 Model B Rev 1.4"));
    // A model that is in the table reads as its description.
    writeFile(root + QStringLiteral("/sys/devices/virtual/dmi/id/product_name"), "iPad2,5\n");
    writeFile(root + QStringLiteral("/sys/devices/virtual/dmi/id/sys_vendor"), "\n");
    EXPECT_EQ(BugReport::deviceModelDescription(root), QStringLiteral("iPad Mini (WiFi)"));
}

TEST(BugReport, SystemLineFromOsRelease)
{
    const QString root = test::scratchRoot() + QStringLiteral("/system");
    writeFile(root + QStringLiteral("/etc/os-release"),
              "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
              "VERSION_ID=\"12\"\nID=debian\n");
    EXPECT_EQ(BugReport::operatingSystemLine(root), QStringLiteral("Debian GNU/Linux 12"));
    writeFile(root + QStringLiteral("/etc/os-release"), "NAME=Arch Linux\nID=arch\n");
    EXPECT_EQ(BugReport::operatingSystemLine(root), QStringLiteral("Arch Linux"));
    // No os-release at all: the kernel's name and release.
    EXPECT_TRUE(BugReport::operatingSystemLine(root + QStringLiteral("/none"))
                    .startsWith(QLatin1String("Linux ")));
}

TEST(ReversalMail, FoldedDispositionIsAcceptedButOtherLineBreaksInPartHeadersAreNot)
{
    MMSMTPParts parts;
    for (const MailPart &part :
         reversalMail(QStringLiteral("a@x.org"), QStringLiteral("hi"), QByteArray("RIFF")).parts) {
        MMSMTPPart entry;
        entry.insert(QLatin1String(kMMSMTPPartContentTypeKey), part.contentType);
        if (!part.contentDisposition.isEmpty())
            entry.insert(QLatin1String(kMMSMTPPartContentDispositionKey), part.contentDisposition);
        entry.insert(QLatin1String(kMMSMTPPartContentTransferEncodingKey),
                     part.contentTransferEncoding);
        parts << entry;
    }
    const MMSMTPHeaderFields fields{};
    EXPECT_TRUE(mmsmtpUnsafeField(fields, QString(), parts).isEmpty());
    for (const QString &hostile :
         {QStringLiteral("attachment;\r\nBcc: eve@x.org"), QStringLiteral("attachment;\n\tx"),
          QStringLiteral("attachment;\r\n\t"), QStringLiteral("attachment;\r\n \r\n x"),
          QStringLiteral("attachment;\r")}) {
        parts[1].insert(QLatin1String(kMMSMTPPartContentDispositionKey), hostile);
        EXPECT_EQ(mmsmtpUnsafeField(fields, QString(), parts),
                  QLatin1String(kMMSMTPPartContentDispositionKey))
            << hostile.toStdString();
    }
}
