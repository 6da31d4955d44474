#include "toolkit/ViewController.h"

#include <QShowEvent>

namespace murmelo {

void Storyboard::registerSegue(const QString &identifier, Factory factory)
{
    factories_.insert(identifier, std::move(factory));
}

void Storyboard::setPresenter(Presenter presenter)
{
    presenter_ = std::move(presenter);
}

bool Storyboard::hasSegue(const QString &identifier) const
{
    return factories_.contains(identifier);
}

ViewController *Storyboard::perform(ViewController *source, const QString &identifier)
{
    const auto factory = factories_.find(identifier);
    if (factory == factories_.end())
        return nullptr;
    ViewController *destination = (*factory)();
    if (!destination)
        return nullptr;
    destination->setStoryboard(this);
    if (source) {
        destination->setSidebarViewController(source->sidebarViewController());
        source->prepareForSegue(identifier, destination);
    }
    if (presenter_)
        presenter_(source, destination);
    return destination;
}

namespace {
// A screen that takes the keyboard itself is announced by its title.
class TitleAsAccessibleName : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowTitleChange) {
            auto *screen = static_cast<QWidget *>(watched);
            screen->setAccessibleName(screen->windowTitle());
        }
        return false;
    }
};
} // namespace

ViewController::ViewController(QWidget *parent) : QWidget(parent)
{
    installEventFilter(new TitleAsAccessibleName(this));
}

void ViewController::prepareForSegue(const QString &, ViewController *) {}

ViewController *ViewController::performSegue(const QString &identifier)
{
    return storyboard_ ? storyboard_->perform(this, identifier) : nullptr;
}

SidebarSeam *ViewController::sidebarViewController() const
{
    if (sidebar_)
        return sidebar_;
    if (auto *self = dynamic_cast<SidebarSeam *>(const_cast<ViewController *>(this)))
        return self;
    for (QWidget *p = parentWidget(); p; p = p->parentWidget()) {
        if (auto *enclosing = qobject_cast<ViewController *>(p))
            return enclosing->sidebarViewController();
    }
    return nullptr;
}

void ViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        viewDidAppear();
}

} // namespace murmelo
