#include "httplibadapter.h"

#include <httplib.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace portal {

namespace {

// The release whose protected request handling, listening socket and response members this file uses;
// server/httplibversion.cmake asks for the same one when configuring.
constexpr const char *adaptedVersion = "0.11.4";

constexpr bool sameText(const char *a, const char *b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

static_assert(sameText(CPPHTTPLIB_VERSION, adaptedVersion),
              "httplibadapter.cpp was written for cpp-httplib 0.11.4: check process_request, svr_sock_ and "
              "Response::content_provider_ in the release at hand, then update adaptedVersion here and in "
              "server/httplibversion.cmake");

void addressOf(int fd, bool peer, std::string &ip, int &port)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    auto *any = reinterpret_cast<sockaddr *>(&address);
    if ((peer ? ::getpeername(fd, any, &size) : ::getsockname(fd, any, &size)) != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

// The library's view of an exchange.
class ExchangeStream : public httplib::Stream
{
public:
    explicit ExchangeStream(RequestExchange &exchange) : m_exchange(exchange) {}

    bool is_readable() const override { return m_exchange.hasUnread(); }
    bool is_writable() const override { return m_exchange.writable(); }
    ssize_t read(char *ptr, size_t size) override { return m_exchange.read(ptr, size); }
    ssize_t write(const char *ptr, size_t size) override { return m_exchange.write(ptr, size); }
    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(m_exchange.socket(), true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(m_exchange.socket(), false, ip, port);
    }
    socket_t socket() const override { return m_exchange.socket(); }

private:
    RequestExchange &m_exchange;
};

} // namespace

class HttplibAdapter::Server : public httplib::Server
{
public:
    using httplib::Server::process_request;

    int listeningSocket() const { return svr_sock_; }
    // The library's streamed answers stop when its listening socket is gone.
    void forgetListeningSocket() { svr_sock_ = INVALID_SOCKET; }
};

HttplibAdapter::HttplibAdapter(std::size_t keepAliveRequests, std::chrono::milliseconds keepAlive,
                               std::size_t bodyLimit)
    : m_server(std::make_unique<Server>())
{
    m_server->set_keep_alive_max_count(keepAliveRequests);
    m_server->set_keep_alive_timeout(std::max<time_t>(1, keepAlive.count() / 1000));
    m_server->set_payload_max_length(bodyLimit);
}

HttplibAdapter::~HttplibAdapter() = default;

void HttplibAdapter::setHandler(const Handler &handler)
{
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    // A POST with no body and no Content-Length (`curl -X POST URL`) is a plain request for the page; the
    // library would wait for a body that never comes and answer 400, so it is answered before that.
    m_server->set_pre_routing_handler([handler](const httplib::Request &request, httplib::Response &response) {
        if (request.method != "POST" || request.has_header("Content-Length") || request.has_header("Transfer-Encoding"))
            return httplib::Server::HandlerResponse::Unhandled;
        handler(request, response);
        return httplib::Server::HandlerResponse::Handled;
    });
}

int HttplibAdapter::listenOn(const std::string &host, int &port)
{
    const int bound = port == 0 ? m_server->bind_to_any_port(host) : m_server->bind_to_port(host, port) ? port : -1;
    if (bound <= 0)
        return -1;
    port = bound;
    return m_server->listeningSocket();
}

bool HttplibAdapter::answer(RequestExchange &exchange, bool last, const std::optional<std::string> &range,
                            bool &closedByClient)
{
    ExchangeStream stream(exchange);
    return m_server->process_request(stream, last, closedByClient, [&range](httplib::Request &request) {
        // The handlers answer ranges themselves, merged and bounded; the library would send every piece
        // asked for, overlapping or not.
        request.ranges.clear();
        if (range)
            request.headers.emplace("Range", *range);
        // The whole body is here already; a client waiting to send it was told to go on when it asked.
        request.headers.erase("Expect");
    });
}

void HttplibAdapter::halt()
{
    m_server->forgetListeningSocket();
}

bool HttplibAdapter::streams(const httplib::Response &response)
{
    return bool(response.content_provider_);
}

void HttplibAdapter::holdUntilSent(httplib::Response &response, std::shared_ptr<void> resource)
{
    // The library drops the releaser with the answer, once it is sent or given up.
    response.content_provider_resource_releaser_ = [previous = std::move(response.content_provider_resource_releaser_),
                                                    resource = std::move(resource)](bool success) {
        if (previous)
            previous(success);
    };
}

} // namespace portal
