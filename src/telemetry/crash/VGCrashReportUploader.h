#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace murmelo {

// Sends the reports an earlier run left behind, over the ordinary HTTP(S) path, one after
// another: each file is POSTed unchanged with its length and deleted once the intake accepted
// it (any 2xx answer). A refused or failed upload leaves the file for a later launch.
class VGCrashReportUploader : public QObject {
    Q_OBJECT
public:
    explicit VGCrashReportUploader(QObject *parent = nullptr);

    void upload(const QStringList &paths, const QUrl &url);

signals:
    // Every file was tried; DELIVERED of them were accepted.
    void finished(int delivered);

private:
    void sendNext();

    QNetworkAccessManager network_;
    QStringList pending_;
    QUrl url_;
    int delivered_ = 0;
};

} // namespace murmelo
