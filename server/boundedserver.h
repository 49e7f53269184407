#pragma once

#include "httplibadapter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace portal {

// What one client may send the server, and how long it may take.
struct ServerLimits
{
    std::size_t workers = 24;
    // Open connections at most. When they are all open, the one that has waited longest for its request to
    // arrive is dropped for a newcomer: clients that dawdle cannot lock the others out.
    std::size_t connections = 256;
    std::size_t requestLine = 8 * 1024;
    std::size_t headerLine = 8 * 1024;
    std::size_t headerLines = 64;
    std::size_t head = 16 * 1024; // request line and headers together
    std::size_t body = 64 * 1024;
    // From the first byte of a request to its last; an idle kept-alive connection is closed after keepAlive.
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds keepAlive{5000};
    std::size_t keepAliveRequests = 100;
    // A write that makes no progress for this long ends its connection.
    std::chrono::milliseconds writeTimeout{5000};
};

// An HTTP server that answers with the HTTP library's request handling (through HttplibAdapter) but reads the
// requests itself.
// One thread reads every connection until a whole request (head and body) has arrived, within the limits,
// and only then hands it to a worker: idle and slow clients hold no worker, and nothing a client sends is
// kept beyond the limits. Workers read the request from memory; what a client does not take of a short
// answer at once is left to the reading thread, so that only long (streamed) answers keep a worker waiting,
// with a write timeout.
class BoundedServer
{
public:
    explicit BoundedServer(const ServerLimits &limits = {});
    ~BoundedServer();
    BoundedServer(const BoundedServer &) = delete;
    BoundedServer &operator=(const BoundedServer &) = delete;

    // Every request goes to handler, on a worker thread.
    void setHandler(const HttplibAdapter::Handler &handler) { m_http.setHandler(handler); }

    // Listens on host:port (0: a free port); returns the port, or -1.
    int bindTo(const std::string &host, int port);
    // Serves until halt(); false when it could not.
    bool serve();
    // Ends serve() at once: connections are closed, streamed answers cut short. Safe from any thread, and
    // before serve() too.
    void halt();

private:
    struct Connection;
    class RequestStream;
    using Clock = std::chrono::steady_clock;

    // The reading thread's part.
    void acceptAll();
    bool evictOldest();
    void watch(Connection &connection, int operation);
    void readFrom(int fd);
    void writeTo(int fd);
    // Hands a whole request to the workers, answers one that is over the limits, or waits for more.
    void advance(int fd);
    void reject(Connection &connection, int status);
    void expire();
    void adoptReturned();
    void closeInGate(int fd);
    // The workers' part.
    void work();
    void answer(std::unique_ptr<Connection> connection);

    const ServerLimits m_limits;
    HttplibAdapter m_http;
    int m_listenFd = -1;
    const int m_epollFd;
    const int m_wakeFd;
    int m_spareFd = -1;
    std::atomic<bool> m_halted{false};
    std::atomic<std::size_t> m_withWorkers{0}; // connections the reading thread does not hold

    // Connections the reading thread holds, by socket.
    std::unordered_map<int, std::unique_ptr<Connection>> m_gate;

    std::mutex m_mutex;
    std::condition_variable m_wakeWorker;
    std::deque<std::unique_ptr<Connection>> m_ready;     // whole requests waiting for a worker
    std::vector<std::unique_ptr<Connection>> m_returned; // kept-alive connections back from the workers
    std::vector<std::thread> m_workers;
};

} // namespace portal
