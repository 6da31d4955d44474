// Address lists as people type them, and what is refused.
#include "mail/mime/MailAddress.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QStringList addressesOf(const QString &list)
{
    QStringList out;
    for (const Mailbox &mailbox : parseAddressList(list).mailboxes)
        out << mailbox.displayName + QLatin1Char('|') + mailbox.address();
    return out;
}

} // namespace

TEST(MailAddressTest, ListsAsMailProgramsWriteThem)
{
    EXPECT_EQ(addressesOf(QStringLiteral("a@x.org")), QStringList{"|a@x.org"});
    EXPECT_EQ(addressesOf(QStringLiteral("Ann <a@x.org>, b@y.org")),
              QStringList({"Ann|a@x.org", "|b@y.org"}));
    // Commas inside quotes separate nothing, in a name or in a local part.
    EXPECT_EQ(addressesOf(QStringLiteral("\"Smith, Ann\" <a@x.org>;\"john,doe\"@x.org")),
              QStringList({"Smith, Ann|a@x.org", "|\"john,doe\"@x.org"}));
    EXPECT_EQ(addressesOf(QStringLiteral("J. R. \"Bob\" Dobbs <bob@x.org>")),
              QStringList{"J. R. Bob Dobbs|bob@x.org"});
    EXPECT_EQ(addressesOf(QStringLiteral("<a@x.org> (work), \"a\\\"b\" <c@x.org>")),
              QStringList({"|a@x.org", "a\"b|c@x.org"}));
    EXPECT_EQ(addressesOf(QString::fromUtf8("Jörg Müller <jörg@exämple.org>")),
              QStringList{QString::fromUtf8("Jörg Müller|jörg@exämple.org")});
    // Empty items (a trailing comma, doubled separators) are skipped, not sent as "<>".
    EXPECT_EQ(addressesOf(QStringLiteral(" a@x.org ,, ; b@x.org, ")),
              QStringList({"|a@x.org", "|b@x.org"}));
    EXPECT_TRUE(parseAddressList(QStringLiteral(" , ")).ok());
    EXPECT_TRUE(parseAddressList(QStringLiteral(" , ")).mailboxes.isEmpty());
}

TEST(MailAddressTest, AnythingButOneMailboxPerItemIsRefusedAndNamed)
{
    const struct {
        const char *list;
        const char *offending;
    } cases[] = {
        {"a@x> NOTIFY=SUCCESS", "a@x> NOTIFY=SUCCESS"},
        {"ok@x.org, a@x.org ORCPT=rfc822;b@y", "a@x.org ORCPT=rfc822"},
        {"Ann <a@x.org> extra", "Ann <a@x.org> extra"},
        {"a@x.org b@y.org", "a@x.org b@y.org"},
        {"<>", "<>"},
        {"plain", "plain"},
        {"a@", "a@"},
        {"@x.org", "@x.org"},
        {"a..b@x.org", "a..b@x.org"},
        {"a@x..org", "a@x..org"},
        {"Ann <a@x.org", "Ann <a@x.org"},
        {"\"open@x.org", "\"open@x.org"},
        {"friends: a@x.org", "friends: a@x.org"},
        {"a@x.org (unclosed", "a@x.org (unclosed"},
        {"a@b@x.org", "a@b@x.org"},
    };
    for (const auto &c : cases) {
        const AddressList list = parseAddressList(QString::fromUtf8(c.list));
        EXPECT_FALSE(list.ok()) << c.list;
        EXPECT_TRUE(list.mailboxes.isEmpty()) << c.list;
        EXPECT_EQ(list.offending, QString::fromUtf8(c.offending)) << c.list;
    }
    EXPECT_FALSE(parseAddressList(QString(65, QLatin1Char('a')) + "@x.org").ok());
    EXPECT_FALSE(parseAddressList(QStringLiteral("a\t@x.org")).ok());

    // A sender is one mailbox and nothing more.
    EXPECT_EQ(parseMailbox(QStringLiteral("Murmelo <listen@murmelo.org>")).mailboxes.size(), 1);
    EXPECT_TRUE(parseMailbox(QStringLiteral("a@x.org, b@x.org")).mailboxes.isEmpty());
    EXPECT_TRUE(parseMailbox(QStringLiteral("   ")).mailboxes.isEmpty());
}

TEST(MailAddressTest, EnvelopeCarriesTheAsciiDomainAndMarksInternationalLocalParts)
{
    const Mailbox domainOnly =
        parseMailbox(QString::fromUtf8("ann@exämple.org")).mailboxes.value(0);
    EXPECT_FALSE(domainOnly.needsUtf8());
    EXPECT_EQ(domainOnly.envelopeAddress(), "ann@xn--exmple-cua.org");
    const Mailbox local = parseMailbox(QString::fromUtf8("jörg@exämple.org")).mailboxes.value(0);
    EXPECT_TRUE(local.needsUtf8());
    EXPECT_EQ(local.envelopeAddress(), QString::fromUtf8("jörg@xn--exmple-cua.org").toUtf8());
    const Mailbox quoted = parseMailbox(QStringLiteral("\"john doe\"@x.org")).mailboxes.value(0);
    EXPECT_EQ(quoted.envelopeAddress(), "\"john doe\"@x.org");
}
