#include "telemetry/crash/VGCrashReportUploader.h"

#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace murmelo {

VGCrashReportUploader::VGCrashReportUploader(QObject *parent) : QObject(parent) {}

void VGCrashReportUploader::upload(const QStringList &paths, const QUrl &url)
{
    pending_ = paths;
    url_ = url;
    delivered_ = 0;
    // Started from the event loop, so that finished() never fires before the caller listens.
    QMetaObject::invokeMethod(
        this, [this] { sendNext(); }, Qt::QueuedConnection);
}

void VGCrashReportUploader::sendNext()
{
    if (pending_.isEmpty()) {
        emit finished(delivered_);
        return;
    }
    const QString path = pending_.takeFirst();
    auto *file = new QFile(path, this);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        sendNext();
        return;
    }
    QNetworkRequest request(url_);
    request.setHeader(QNetworkRequest::ContentLengthHeader, file->size());
    // Qt would otherwise label the body as a form.
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-msgpack"));
    request.setTransferTimeout(60000);
    QNetworkReply *reply = network_.post(request, file);
    file->setParent(reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply, path] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299) {
            QFile::remove(path);
            ++delivered_;
        }
        sendNext();
    });
}

} // namespace murmelo
