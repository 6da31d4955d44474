// The manual page and the shell completions against the commands as `murmelo help` lists them,
// so neither falls behind when a command or an option is added.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

struct Finished {
    int exitCode = -1;
    QString out;
    QString err;
};

Finished run(const QString &program, const QStringList &arguments, const QString &folder = {},
             const QHash<QString, QString> &variables = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = variables.begin(); it != variables.end(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString murmelo()
{
    return qEnvironmentVariable("MURMELO_BINARY_DIR") + QStringLiteral("/src/app/murmelo");
}

QString dataFile(const QString &name)
{
    return QStringLiteral(MURMELO_SOURCE_DIR "/data/") + name;
}

// The commands of `murmelo help`, by name.
QStringList commands()
{
    const Finished help = run(murmelo(), {QStringLiteral("help")});
    const qsizetype from = help.out.indexOf(QStringLiteral("Commands:"));
    const qsizetype to = help.out.indexOf(QStringLiteral("Options:"), from);
    QStringList names;
    const QRegularExpression line(QStringLiteral("^  ([a-z]+)  "),
                                  QRegularExpression::MultilineOption);
    for (const auto &match : line.globalMatch(help.out.mid(from, to - from)))
        names << match.captured(1);
    return names;
}

// The long options of `murmelo help COMMAND`, less the ones every Qt program has.
QStringList longOptions(const QString &command)
{
    const Finished help = run(murmelo(), {QStringLiteral("help"), command});
    QStringList options;
    const QRegularExpression option(QStringLiteral("(--[a-z][a-z-]*)"));
    for (const auto &match : option.globalMatch(help.out)) {
        const QString name = match.captured(1);
        if (name != QStringLiteral("--help-all") && !options.contains(name))
            options << name;
    }
    return options;
}

// The option as a whole word of `text`: "--slow" is not found in "--slower".
bool mentions(const QString &text, const QString &option)
{
    return text.contains(
        QRegularExpression(QRegularExpression::escape(option) + QStringLiteral("(?![a-z-])")));
}

bool have(const char *tool)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

class ManualAndCompletion : public ::testing::Test {
protected:
    void SetUp() override
    {
        names = commands();
        ASSERT_GE(names.size(), 10) << "murmelo help lists its commands";
        ASSERT_TRUE(names.contains(QStringLiteral("publish")));
        // A folder with one song, one other file and one folder, for file names to complete.
        folder = murmelo::test::scratchRoot() + QStringLiteral("/completion");
        QDir().mkpath(folder + QStringLiteral("/sub"));
        for (const char *name : {"song.mp3", "notes.txt"}) {
            QFile file(folder + QLatin1Char('/') + QLatin1String(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }

    // What bash offers for the words typed so far (the last one may be partial or empty).
    QStringList bashOffers(const QStringList &words)
    {
        QString quoted;
        for (const QString &word : words)
            quoted += QStringLiteral(" '%1'").arg(word);
        const QString script =
            QStringLiteral("source '%1' && COMP_WORDS=(%2) && COMP_CWORD=%3 && _murmelo && "
                           "printf '%s\\n' \"${COMPREPLY[@]}\"")
                .arg(dataFile(QStringLiteral("completions/murmelo.bash")), quoted)
                .arg(words.size() - 1);
        const Finished bash = run(QStringLiteral("bash"), {QStringLiteral("-c"), script}, folder);
        EXPECT_EQ(bash.exitCode, 0) << qPrintable(bash.err);
        EXPECT_TRUE(bash.err.isEmpty()) << qPrintable(bash.err);
        QStringList offers = bash.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        offers.sort();
        return offers;
    }

    QStringList names;
    QString folder;
};

TEST_F(ManualAndCompletion, TheManualPageRendersWithoutWarningsAndNamesEveryCommandAndOption)
{
    if (!have("man"))
        GTEST_SKIP() << "man is not installed";
    const Finished page = run(
        QStringLiteral("man"),
        {QStringLiteral("--warnings"), QStringLiteral("-l"), dataFile(QStringLiteral("murmelo.1"))},
        {},
        {{QStringLiteral("MANWIDTH"), QStringLiteral("80")},
         {QStringLiteral("MANPAGER"), QStringLiteral("cat")}});
    ASSERT_EQ(page.exitCode, 0) << qPrintable(page.err);
    EXPECT_TRUE(page.err.isEmpty()) << qPrintable(page.err);
    // Words man split at a line end come back whole.
    const QString text = QString(page.out).replace(QStringLiteral("\u2010\n"), QString());
    for (const QString &section : {QStringLiteral("SYNOPSIS"), QStringLiteral("COMMANDS"),
                                   QStringLiteral("EXIT STATUS"), QStringLiteral("ENVIRONMENT")})
        EXPECT_TRUE(text.contains(section)) << qPrintable(section);
    for (const QString &command : names) {
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(command))))
            << qPrintable(command);
        for (const QString &option : longOptions(command))
            EXPECT_TRUE(mentions(text, option)) << qPrintable(command + QLatin1Char(' ') + option);
    }
    for (const char *code : {"130", "Usage error"})
        EXPECT_TRUE(text.contains(QLatin1String(code))) << code;
}

TEST_F(ManualAndCompletion, BashCompletesCommandsTheirOptionsActionsAndFiles)
{
    // The first word: every command, and the audio files and folders to open in the window.
    QStringList first = names;
    first << QStringLiteral("song.mp3") << QStringLiteral("sub");
    first.sort();
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QString()}), first);
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QStringLiteral("pu")}),
              QStringList{QStringLiteral("publish")});
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QStringLiteral("--v")}),
              QStringList{QStringLiteral("--version")});

    // Every option each command takes, and nothing else.
    for (const QString &command : names) {
        if (command == QStringLiteral("help"))
            continue;
        QStringList options = longOptions(command);
        options << QStringLiteral("--help");
        options.removeDuplicates();
        options.sort();
        EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), command, QStringLiteral("--")}), options)
            << qPrintable(command);
    }

    EXPECT_EQ(
        bashOffers({QStringLiteral("murmelo"), QStringLiteral("library"), QString()}),
        (QStringList{QStringLiteral("delete"), QStringLiteral("export"), QStringLiteral("list")}));
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QStringLiteral("labels"),
                          QStringLiteral("--forward"), QStringLiteral("im")}),
              QStringList{QStringLiteral("import")});
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QStringLiteral("help"), QStringLiteral("sh")}),
              QStringList{QStringLiteral("share")});
    // An option's value: any file for --output, folders only for --folder, nothing for a number.
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QStringLiteral("reverse"),
                          QStringLiteral("-o"), QString()}),
              (QStringList{QStringLiteral("notes.txt"), QStringLiteral("song.mp3"),
                           QStringLiteral("sub")}));
    EXPECT_EQ(bashOffers({QStringLiteral("murmelo"), QStringLiteral("publish"),
                          QStringLiteral("--folder"), QString()}),
              QStringList{QStringLiteral("sub")});
    EXPECT_TRUE(bashOffers({QStringLiteral("murmelo"), QStringLiteral("merge"),
                            QStringLiteral("--factor"), QString()})
                    .isEmpty());
}

TEST_F(ManualAndCompletion, FishCompletesCommandsAndOptionsAndZshReadsItsScript)
{
    if (!have("fish") || !have("zsh"))
        GTEST_SKIP() << "fish or zsh is not installed";
    const auto fishOffers = [&](const QString &line) {
        const Finished fish =
            run(QStringLiteral("fish"),
                {QStringLiteral("--no-config"), QStringLiteral("-c"),
                 QStringLiteral("source '%1'; complete -C'%2'")
                     .arg(dataFile(QStringLiteral("completions/murmelo.fish")), line)},
                folder);
        EXPECT_EQ(fish.exitCode, 0) << qPrintable(fish.err);
        QStringList offers;
        for (const QString &row : fish.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            offers << row.section(QLatin1Char('\t'), 0, 0);
        offers.sort();
        return offers;
    };
    EXPECT_EQ(fishOffers(QStringLiteral("murmelo pub")), QStringList{QStringLiteral("publish")});
    for (const QString &command : names) {
        if (command == QStringLiteral("help"))
            continue;
        const QStringList offered = fishOffers(QStringLiteral("murmelo %1 --").arg(command));
        for (const QString &option : longOptions(command))
            EXPECT_TRUE(offered.contains(option))
                << qPrintable(command + QLatin1Char(' ') + option);
    }

    const Finished zsh =
        run(QStringLiteral("zsh"),
            {QStringLiteral("-n"), dataFile(QStringLiteral("completions/_murmelo"))});
    EXPECT_EQ(zsh.exitCode, 0) << qPrintable(zsh.err);
    QFile script(dataFile(QStringLiteral("completions/_murmelo")));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    const QString zshText = QString::fromUtf8(script.readAll());
    for (const QString &command : names) {
        EXPECT_TRUE(zshText.contains(QStringLiteral("'%1:").arg(command)) ||
                    zshText.contains(QStringLiteral("\"%1:").arg(command)))
            << qPrintable(command);
        for (const QString &option : longOptions(command))
            EXPECT_TRUE(mentions(zshText, option))
                << qPrintable(command + QLatin1Char(' ') + option);
    }
}

} // namespace
