#pragma once

#include <QHash>
#include <QString>
#include <QWidget>
#include <functional>

namespace murmelo {

// What a screen asks of the container that holds it (the sidebar of the shell).
class SidebarSeam {
public:
    virtual ~SidebarSeam() = default;
    // The menu button is disabled while a job's overlay is up.
    virtual void setSidebarButtonEnabled(bool enabled) = 0;
    // Marks the menu entry of the screen on show.
    virtual void selectIndex(int index) = 0;
};

class ViewController;

// Stands in for the storyboard: makes the destination screen of a named segue and presents it.
class Storyboard {
public:
    using Factory = std::function<ViewController *()>;
    using Presenter = std::function<void(ViewController *source, ViewController *destination)>;

    void registerSegue(const QString &identifier, Factory factory);
    void setPresenter(Presenter presenter);
    bool hasSegue(const QString &identifier) const;

    // Makes the destination, lets the source prepare it, then presents it. Returns the
    // destination, or null for an unknown identifier.
    ViewController *perform(ViewController *source, const QString &identifier);

private:
    QHash<QString, Factory> factories_;
    Presenter presenter_;
};

// A screen. Segues and the sidebar are reached through seams that its container sets.
class ViewController : public QWidget {
    Q_OBJECT
public:
    explicit ViewController(QWidget *parent = nullptr);

    // Called on the source before a segue presents `destination`.
    virtual void prepareForSegue(const QString &identifier, ViewController *destination);
    ViewController *performSegue(const QString &identifier);

    void setStoryboard(Storyboard *storyboard) { storyboard_ = storyboard; }
    Storyboard *storyboard() const { return storyboard_; }
    void setSidebarViewController(SidebarSeam *sidebar) { sidebar_ = sidebar; }
    // The container this screen lives in: the one set explicitly, else the screen itself when it
    // is the container, else the nearest enclosing screen's; null outside any container.
    SidebarSeam *sidebarViewController() const;

protected:
    // Called each time the screen is shown.
    virtual void viewDidAppear() {}
    void showEvent(QShowEvent *event) override;

private:
    Storyboard *storyboard_ = nullptr;
    SidebarSeam *sidebar_ = nullptr;
};

} // namespace murmelo
