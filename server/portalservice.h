#pragma once

#include "catalogue.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace httplib {
class Request;
class Response;
class Server;
} // namespace httplib

namespace portal {

// The portal's routes on an HTTP server: pages, start-up and details answers, files, the fault modes tests
// ask for and a count of the requests every path received. Handlers run on the server's threads.
class PortalService
{
public:
    explicit PortalService(const Catalogue &catalogue);

    // host:port used in absolute URLs when a request names no Host.
    void setDefaultHost(const std::string &host) { m_defaultHost = host; }
    void install(httplib::Server &server);
    // Cuts delays and trickles short, so that the server can stop at once.
    void shutdown() { m_stopping = true; }

private:
    struct Target;

    void handle(const httplib::Request &request, httplib::Response &response);
    void answerStats(const httplib::Request &request, httplib::Response &response);
    static void answerEcho(const httplib::Request &request, httplib::Response &response);
    void answerStartup(const Target &target, httplib::Response &response) const;
    void answerDetails(const Target &target, const httplib::Request &request, httplib::Response &response) const;
    void answerFile(const Target &target, const httplib::Request &request, httplib::Response &response) const;

    const Catalogue &m_catalogue;
    std::string m_defaultHost;
    std::atomic<bool> m_stopping{false};
    std::mutex m_countsMutex;
    std::map<std::string, long long> m_counts;
};

} // namespace portal
