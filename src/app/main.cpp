#include "app/AppDelegate.h"
#include "app/DemoWalk.h"
#include "app/Startup.h"
#include "cli/Cli.h"
#include "platform/StandardPaths.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

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

    const std::optional<QString> walkFolder =
        murmelo::DemoWalk::folderFromArguments(QApplication::arguments());
    if (walkFolder && walkFolder->isEmpty()) {
        printLine(stderr, QStringLiteral("murmelo: --walk needs a folder for its pictures"));
        return 2;
    }

    murmelo::AppDelegate delegate;
    delegate.run();
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
