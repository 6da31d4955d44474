#include "app/AppDelegate.h"
#include "app/DemoWalk.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "app/Translations.h"
#include "cli/Cli.h"
#include "platform/StandardPaths.h"
#include "toolkit/AccessibleValue.h"
#include "toolkit/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

void printLine(std::FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// Walks the window through its screens and prints where the pictures and the library are.
int runWalk(QApplication &app, murmelo::AppDelegate &delegate, const QString &folder)
{
    murmelo::DemoWalk walk(delegate, folder);
    QObject::connect(&walk, &murmelo::DemoWalk::narrated, &walk, [](const QString &line) {
        printLine(stderr, QStringLiteral("murmelo: walk: ") + line);
    });
    QObject::connect(&walk, &murmelo::DemoWalk::finished, &app, [&](bool succeeded) {
        if (!succeeded) {
            printLine(stderr, QStringLiteral("murmelo: walk failed at ") + walk.error());
            app.exit(1);
            return;
        }
        for (const QString &path : walk.screenshots())
            printLine(stdout, path);
        printLine(stdout, murmelo::StandardPaths::libraryDirectory());
        printLine(stdout, murmelo::StandardPaths::applicationSupportDirectory());
        app.exit(0);
    });
    walk.start();
    return app.exec();
}

// The file to open: the first argument that is not an option. Qt has taken its own options
// out by now, and a command name never gets here.
QString fileArgument(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--walk")) {
            ++i;
            continue;
        }
        if (argument == QLatin1String("--"))
            return arguments.value(i + 1);
        if (!argument.startsWith(QLatin1Char('-')))
            return argument;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    if (murmelo::cli::isCommandLine(argc, argv))
        return murmelo::cli::run(argc, argv);
    const bool offscreen = murmelo::chooseOffscreenWhenHeadless();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    QApplication::setApplicationVersion(QStringLiteral(MURMELO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.murmelo.Murmelo"));
    murmelo::installTranslations();
    murmelo::useMessageBoxAlerts();
    murmelo::installAccessibleValueFactory();

    const std::optional<QString> walkFolder =
        murmelo::DemoWalk::folderFromArguments(QApplication::arguments());
    if (walkFolder && walkFolder->isEmpty()) {
        printLine(stderr, QStringLiteral("murmelo: --walk needs a folder for its pictures"));
        return 2;
    }

    // One window per session: a later start hands its file to the first and ends. The walk and a
    // headless start stand alone.
    const QString fileArgumentText = fileArgument(QApplication::arguments());
    const QString file = murmelo::SingleInstance::localPath(fileArgumentText);
    if (!fileArgumentText.isEmpty() && file.isEmpty()) {
        printLine(
            stderr,
            QStringLiteral("murmelo: %1 is not a file on this computer").arg(fileArgumentText));
        return 2;
    }
    std::unique_ptr<murmelo::SingleInstance> instance;
    if (!walkFolder && !offscreen) {
        instance = std::make_unique<murmelo::SingleInstance>();
        if (instance->claim() == murmelo::SingleInstance::Claim::Taken) {
            QString error;
            if (instance->handOver(file, &error))
                return 0;
            printLine(stderr,
                      QStringLiteral("murmelo: the Murmelo already running did not answer (%1); "
                                     "opening a window of its own")
                          .arg(error));
        }
    }

    murmelo::AppDelegate delegate;
    delegate.run();
    if (instance) {
        QObject::connect(instance.get(), &murmelo::SingleInstance::activated, &delegate,
                         [&delegate] { delegate.raiseWindow(); });
        QObject::connect(instance.get(), &murmelo::SingleInstance::openRequested, &delegate,
                         [&delegate](const QString &path) { delegate.openFile(path); });
    }
    if (!file.isEmpty() && !walkFolder)
        delegate.openFile(file);
    if (walkFolder) {
        if (offscreen)
            printLine(stderr, QStringLiteral("murmelo: no display found, walking offscreen."));
        return runWalk(app, delegate, *walkFolder);
    }
    if (offscreen) {
        std::fprintf(stderr, "murmelo: no display found, running offscreen.\n");
        QTimer::singleShot(0, &app, &QApplication::quit);
    }
    return app.exec();
}
