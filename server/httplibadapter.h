#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace portal {

// One request whose bytes have all arrived, and the connection its answer goes to.
class RequestExchange
{
public:
    virtual ~RequestExchange() = default;

    virtual bool hasUnread() const = 0;
    virtual ssize_t read(char *to, std::size_t size) = 0;
    // Whether the client still takes the answer; may wait a while for it to make room.
    virtual bool writable() const = 0;
    virtual ssize_t write(const char *from, std::size_t size) = 0;
    virtual int socket() const = 0;
};

// The one place that reaches into the HTTP library beyond its public request and response types: its
// request parsing, routing and answer writing, run over connections the server reads by itself. These parts
// change between the library's releases, so it is written for one release, which configuring and compiling
// check; another release needs this file looked at again.
class HttplibAdapter
{
public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    HttplibAdapter(std::size_t keepAliveRequests, std::chrono::milliseconds keepAlive, std::size_t bodyLimit);
    ~HttplibAdapter();

    // Every request goes to handler, whatever its method and path.
    void setHandler(const Handler &handler);
    // A listening socket on host:port (port 0: a free one, and port is set to it), or -1.
    int listenOn(const std::string &host, int &port);
    // Answers the request of exchange; false when the answer could not be sent. last: the connection closes
    // after it; closedByClient: the client asked for that. range: the request's Range header, which the
    // library's parser never sees.
    bool answer(RequestExchange &exchange, bool last, const std::optional<std::string> &range, bool &closedByClient);
    // Cuts answers that are being streamed short. Safe from any thread.
    void halt();

    // Whether the answer is made as it is sent rather than held whole.
    static bool streams(const httplib::Response &response);
    // Keeps resource until the answer has been sent, or given up.
    static void holdUntilSent(httplib::Response &response, std::shared_ptr<void> resource);

private:
    class Server;
    std::unique_ptr<Server> m_server;
};

} // namespace portal
