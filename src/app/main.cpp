#include "app/AppDelegate.h"
#include "app/Startup.h"
#include "cli/Cli.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    if (murmelo::cli::isCommandLine(argc, argv))
        return murmelo::cli::run(argc, argv);
    const bool offscreen = murmelo::chooseOffscreenWhenHeadless();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    QApplication::setApplicationVersion(QStringLiteral(MURMELO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.murmelo.Murmelo"));

    murmelo::AppDelegate delegate;
    delegate.run();
    if (offscreen) {
        std::fprintf(stderr, "murmelo: no display found, running offscreen.\n");
        QTimer::singleShot(0, &app, &QApplication::quit);
    }
    return app.exec();
}
