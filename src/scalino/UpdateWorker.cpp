#include "scalino/UpdateWorker.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "scalino/QtText.h"
#include "scalino/UpdateUrl.h"
#include "scalino/UpdateWorkerView.h"
#include "util/ReadRemoteUpdate.h"

namespace scalino {
namespace {

// Only the request for the document: no cookies, no stored credentials, and headers
// that would tell the user's locale or let content vary are pinned to neutral values (Qt fills
// Accept-Language from the system locale when it is left empty). Accept-Encoding identity keeps
// the size limit meaningful: a compressed document could inflate far beyond it.
QNetworkRequest documentRequest(const QUrl& url) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // HTTP/1.1 only: one plain exchange, whose progress signals the time-outs rely on.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // Redirects are followed here, each target checked like the first address (Qt's own
    // following sends some requests twice).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("Accept-Language", "*");
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Mozilla/5.0"));
    return request;
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

UpdateWorker::UpdateWorker(UpdateWorkerView& view, QString remoteUrl, QString currentVersion,
                           QString language, QObject* parent)
    : QObject(parent),
      view_(view),
      remoteUrl_(std::move(remoteUrl)),
      currentVersion_(std::move(currentVersion)),
      language_(std::move(language)),
      network_(new QNetworkAccessManager(this)) {
    // Coarse timers may fire up to 5 % early.
    for (QTimer* timer : {&timeout_, &totalTimeout_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&timeout_, &QTimer::timeout, this, &UpdateWorker::fail);
    connect(&totalTimeout_, &QTimer::timeout, this, &UpdateWorker::fail);
}

UpdateWorker::~UpdateWorker() {
    dropReply();
}

void UpdateWorker::start() {
    if (state_ != State::Idle) return;
    state_ = State::Started;
    QTimer::singleShot(0, this, &UpdateWorker::begin);
}

void UpdateWorker::begin() {
    view_.setText(windowText("checking.for.update"));
    totalTimeout_.start(kTotalTimeoutMs);
    request(QUrl(remoteUrl_));
}

void UpdateWorker::request(const QUrl& url) {
    if (!isPermittedUpdateUrl(url)) {
        fail();
        return;
    }
    document_.clear();
    reply_ = network_->get(documentRequest(url));
    connect(reply_, &QNetworkReply::metaDataChanged, this, &UpdateWorker::onMetaDataChanged);
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateWorker::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &UpdateWorker::onReplyFinished);
    // Until the request is out (name lookup, connect, TLS handshake) the connect time-out
    // applies; from then on the read time-out, restarted by every sign of progress.
    connect(reply_, &QNetworkReply::requestSent, this, [this] { restartTimer(kReadTimeoutMs); });
    connect(reply_, &QNetworkReply::downloadProgress, this,
            [this] { restartTimer(kReadTimeoutMs); });
    restartTimer(kConnectTimeoutMs);
}

void UpdateWorker::redirect() {
    const QUrl target = reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (redirects_ >= kMaxRedirects || target.isEmpty()) {
        fail();
        return;
    }
    ++redirects_;
    const QUrl next = reply_->url().resolved(target);
    dropReply();
    request(next);
}

void UpdateWorker::onMetaDataChanged() {
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > kMaxDocumentBytes) fail();
}

void UpdateWorker::onReadyRead() {
    restartTimer(kReadTimeoutMs);
    document_.append(reply_->read(kMaxDocumentBytes + 1 - document_.size()));
    if (document_.size() > kMaxDocumentBytes) fail();
}

void UpdateWorker::onReplyFinished() {
    if (state_ == State::Finished) return;
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply_->error() == QNetworkReply::NoError && isRedirect(status)) {
        redirect();
        return;
    }
    if (reply_->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        fail();
        return;
    }
    onReadyRead();
    if (state_ != State::Finished) succeed();
}

void UpdateWorker::restartTimer(int milliseconds) {
    if (state_ != State::Finished) timeout_.start(milliseconds);
}

void UpdateWorker::succeed() {
    const ReadRemoteUpdate update(std::string_view(document_.constData(), document_.size()),
                                  fromQString(currentVersion_), fromQString(language_));
    finish(update.newerVersionAvailable() ? windowText("update.available")
                                          : windowText("VozevuZaDezFrame2.statusJLabel.text"));
}

void UpdateWorker::fail() {
    if (state_ != State::Finished) finish(windowText("update.check.failed"));
}

void UpdateWorker::finish(const QString& text) {
    state_ = State::Finished;
    timeout_.stop();
    totalTimeout_.stop();
    dropReply();
    document_.clear();
    view_.setText(text);
    emit finished();
}

void UpdateWorker::dropReply() {
    if (!reply_) return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

}  // namespace scalino
