#pragma once

#include "publish/PagePublisher.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QWidget;

namespace murmelo {

class Recording;
class StoreContext;

// Publishing a saved recording as a web page from a screen: a save dialog that remembers its
// folder, the page made on a worker thread behind a progress dialog that can cancel it, and an
// alert that says where the page is or why there is none.
class PublishFlow : public QObject {
    Q_OBJECT
public:
    // Asks where to write the page, suggesting a path; empty when the user cancels. The
    // application shows a save dialog; tests answer directly.
    using TargetChooser = std::function<QString(QWidget *parent, const QString &suggested)>;
    static TargetChooser saveDialog();
    // The folder the save dialog opened last, kept in the defaults.
    static constexpr const char *folderKey = "publishFolder";

    PublishFlow(StoreContext &context, QWidget *parent);
    // Cancels a page being made and waits for its thread.
    ~PublishFlow() override;

    void setTargetChooser(TargetChooser chooser) { chooser_ = std::move(chooser); }
    // Asks where, then makes the page. Ignored while a page is being made.
    void publish(const std::shared_ptr<Recording> &recording);
    bool isBusy() const { return worker_.joinable(); }
    QProgressDialog *progressDialog() const { return progress_; }

signals:
    void finished(const murmelo::PublishResult &result);

private:
    void done(const PublishResult &result);

    StoreContext &context_;
    QWidget *parent_;
    TargetChooser chooser_;
    QPointer<QProgressDialog> progress_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::thread worker_;
};

} // namespace murmelo
