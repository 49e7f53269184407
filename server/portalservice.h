#pragma once

#include "catalogue.h"

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace portal {

class BoundedServer;

// The portal's routes on an HTTP server: pages, start-up and details answers, files, the fault modes tests
// ask for and a count of the requests every path received. Handlers run on the server's threads.
//
// Answers that hold a worker for long (a delay, a slow start-up mode, a trickle, an endless or a large
// answer) take one of longWorkSlots; when none is free the request is answered 503 at once, so that such
// requests can never take every worker from the quick ones.
class PortalService
{
public:
    PortalService(const Catalogue &catalogue, std::size_t longWorkSlots);

    // host:port used in absolute URLs when a request names no Host.
    void setDefaultHost(const std::string &host) { m_defaultHost = host; }
    void install(BoundedServer &server);
    // Cuts delays and trickles short, so that the server can stop at once.
    void shutdown() { m_stopping = true; }

private:
    struct Target;
    // A long-work slot while it is held; null when the request holds none.
    using Slot = std::shared_ptr<void>;

    void handle(const httplib::Request &request, httplib::Response &response);
    void route(const httplib::Request &request, httplib::Response &response, Slot &slot);
    void answerStats(const httplib::Request &request, httplib::Response &response);
    static void answerEcho(const httplib::Request &request, httplib::Response &response);
    void answerStartup(const Target &target, httplib::Response &response, Slot &slot);
    void answerDetails(const Target &target, const httplib::Request &request, httplib::Response &response, Slot &slot);
    void answerFile(const Target &target, const httplib::Request &request, httplib::Response &response) const;
    // Waits ms milliseconds in a long-work slot; false (with the busy answer) when there is none.
    bool delay(long long ms, httplib::Response &response, Slot &slot);
    bool takeSlot(Slot &slot);

    const Catalogue &m_catalogue;
    std::string m_defaultHost;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_freeSlots;
    std::mutex m_countsMutex;
    std::map<std::string, long long> m_counts;
};

} // namespace portal
