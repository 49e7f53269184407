#pragma once

#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// Requests to the game server, each read only as fast as the program takes the answer, so that an answer that
// never ends cannot pile up in memory however busy the window is. Redirects are followed here, each hop a request
// of its own.
namespace boundedrequest {

// Only http and https reach the game server.
bool isWebAddress(const QUrl &url);

// Redirects a request follows before it is given up.
constexpr int maxRedirects = 10;

// A request as the program sends it: the bytes as the server stores them (Content-Length then counts what
// arrives), given up when it moves no data for transferlimits::stalledMs.
QNetworkRequest make(const QUrl &url);

// Sends request (a GET, or an empty POST) on a connection of its own, through network's proxy, and reads the
// answer only as fast as it is taken: at most bufferBytes wait in memory, however busy this thread. The reply, a
// child of network, answers as Qt's own do (status and headers as attributes, HTTP errors as error codes).
QNetworkReply *get(QNetworkAccessManager *network, const QNetworkRequest &request, qint64 bufferBytes);
QNetworkReply *post(QNetworkAccessManager *network, const QNetworkRequest &request, qint64 bufferBytes);

// Where a reply whose headers are in redirects to: nothing when it is no redirect; an invalid URL for one that is
// not followed (not a web address, or from https down to http).
std::optional<QUrl> redirectOf(const QNetworkReply *reply);

} // namespace boundedrequest
