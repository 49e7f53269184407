#include "boundedserver.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace portal {

namespace {

constexpr int listenBacklog = 128;
constexpr std::size_t readChunk = 16 * 1024;
// Room for the size lines and trailer of a chunked body besides its data.
constexpr std::size_t chunkFraming = 8 * 1024;
constexpr std::size_t chunkSizeLine = 1024;
// What a worker may leave unsent for the reading thread to finish, so that it never waits on a client that
// reads slowly or not at all: a quick answer fits whole. Larger (streamed) answers wait, in a long-work slot.
constexpr std::size_t unsentLimit = 96 * 1024;
// After an error answer what the client still sends is read and dropped for a while: closing a socket with
// unread data resets the connection, and the client would lose the answer.
constexpr std::size_t drainLimit = 1024 * 1024;
constexpr std::chrono::milliseconds drainTime{2000};
// How often a worker waiting to write looks whether the server is stopping.
constexpr int pollStepMs = 100;
constexpr int maxEvents = 64;

struct Scan
{
    enum class State
    {
        Incomplete,
        Complete,
        Failed
    };
    State state = State::Incomplete;
    std::size_t length = 0; // Complete: the request's bytes
    std::size_t head = 0;   // Complete: the bytes of its request line and headers
    int status = 0;         // Failed: the status to answer
    bool waitsToContinue = false;
};

Scan failed(int status)
{
    return {Scan::State::Failed, 0, 0, status, false};
}

Scan complete(std::size_t length)
{
    return {Scan::State::Complete, length, 0, 0, false};
}

bool equalsNoCase(const std::string &text, const char *other)
{
    return strcasecmp(text.c_str(), other) == 0;
}

std::string trimmed(const std::string &in, std::size_t from, std::size_t to)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (from < to && blank(in[from]))
        ++from;
    while (to > from && blank(in[to - 1]))
        --to;
    return in.substr(from, to - from);
}

// Where a chunked body that starts at from ends.
Scan scanChunked(const std::string &in, std::size_t from, const ServerLimits &limits)
{
    std::size_t pos = from, data = 0;
    for (;;) {
        const std::size_t eol = in.find('\n', pos);
        if (eol == std::string::npos)
            return in.size() - pos > chunkSizeLine ? failed(400) : Scan{};
        std::size_t size = 0, digits = 0;
        while (pos + digits < eol && std::isxdigit(static_cast<unsigned char>(in[pos + digits]))) {
            if (digits == 15)
                return failed(413);
            const char c = char(std::tolower(static_cast<unsigned char>(in[pos + digits])));
            size = size * 16 + std::size_t(c <= '9' ? c - '0' : c - 'a' + 10);
            ++digits;
        }
        if (digits == 0)
            return failed(400);
        data += size;
        if (data > limits.body)
            return failed(413);
        pos = eol + 1;
        if (size == 0) {
            // Trailer lines, up to an empty one.
            for (std::size_t lines = 0;; ++lines) {
                const std::size_t end = in.find('\n', pos);
                if (end == std::string::npos)
                    return {};
                if (end - pos <= 1)
                    return complete(end + 1);
                if (lines >= limits.headerLines)
                    return failed(431);
                pos = end + 1;
            }
        }
        if (in.size() < pos + size + 2)
            return {};
        if (in.compare(pos + size, 2, "\r\n") != 0)
            return failed(400);
        pos += size + 2;
    }
}

// Whether in starts with a whole request and how long it is, or what is wrong with it. The body is framed as
// the HTTP library frames it: chunked, else by Content-Length, else none.
Scan scanRequest(const std::string &in, const ServerLimits &limits)
{
    const std::size_t eol = in.find('\n');
    if (eol == std::string::npos)
        return in.size() > limits.requestLine ? failed(414) : Scan{};
    if (eol + 1 > limits.requestLine)
        return failed(414);

    std::string length, encoding;
    bool hasLength = false, hasEncoding = false, expectsContinue = false;
    std::size_t pos = eol + 1, lines = 0, headEnd = 0;
    for (;;) {
        const std::size_t end = in.find('\n', pos);
        if (end == std::string::npos)
            return in.size() - pos > limits.headerLine || in.size() > limits.head ? failed(431) : Scan{};
        if (end + 1 - pos > limits.headerLine || end + 1 > limits.head)
            return failed(431);
        if (end == pos + 1 && in[pos] == '\r') {
            headEnd = end + 1;
            break;
        }
        if (++lines > limits.headerLines)
            return failed(431);
        const std::size_t colon = in.find(':', pos);
        if (colon < end) {
            const std::string name = in.substr(pos, colon - pos);
            if (!hasLength && equalsNoCase(name, "Content-Length")) {
                hasLength = true;
                length = trimmed(in, colon + 1, end);
            } else if (!hasEncoding && equalsNoCase(name, "Transfer-Encoding")) {
                hasEncoding = true;
                encoding = trimmed(in, colon + 1, end);
            } else if (equalsNoCase(name, "Expect")) {
                expectsContinue = equalsNoCase(trimmed(in, colon + 1, end), "100-continue");
            }
        }
        pos = end + 1;
    }

    Scan scan;
    if (hasEncoding) {
        if (!equalsNoCase(encoding, "chunked"))
            return failed(501);
        scan = scanChunked(in, headEnd, limits);
    } else if (hasLength) {
        if (length.empty() || length.size() > 18 ||
            !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return failed(400);
        const std::size_t bodyLength = std::stoull(length);
        if (bodyLength > limits.body)
            return failed(413);
        if (in.size() >= headEnd + bodyLength)
            scan = complete(headEnd + bodyLength);
    } else {
        scan = complete(headEnd);
    }
    scan.head = headEnd;
    scan.waitsToContinue = expectsContinue && scan.state == Scan::State::Incomplete;
    return scan;
}

// Takes every Range line out of the head of a whole request (its first head bytes) and returns the first
// one's value. The HTTP library reads Range with a regular expression whose matcher recurses over the
// value: an 8 KB header costs megabytes of a worker's stack. The handlers read the value themselves.
std::optional<std::string> takeRange(std::string &in, std::size_t &head)
{
    std::optional<std::string> value;
    std::size_t pos = in.find('\n') + 1;
    while (pos < head) {
        const std::size_t end = in.find('\n', pos);
        const std::size_t colon = in.find(':', pos);
        if (colon < end && equalsNoCase(in.substr(pos, colon - pos), "Range")) {
            if (!value)
                value = trimmed(in, colon + 1, end);
            in.erase(pos, end + 1 - pos);
            head -= end + 1 - pos;
            continue;
        }
        pos = end + 1;
    }
    return value;
}

const char *reasonOf(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    default:
        return "Error";
    }
}

} // namespace

struct BoundedServer::Connection
{
    int fd = -1;
    std::string in;                // received and not yet answered
    std::size_t requestLength = 0; // once whole: the bytes of in that make the request
    std::size_t answered = 0;
    bool continueSent = false;
    bool ended = false;    // the client will send nothing more
    bool draining = false; // answered with an error; what still comes is dropped
    std::size_t drained = 0;
    std::string out; // the end of an answer the client has not taken yet
    bool closeAfterOut = false;
    std::optional<std::string> range; // the request's Range header, kept from the library's parser
    Clock::time_point deadline;
    Clock::time_point waitingSince; // since it came to the reading thread
};

namespace {

// Sends what it can of out without waiting; false when the connection failed.
bool sendSome(int fd, std::string &out)
{
    while (!out.empty()) {
        const ssize_t n = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            out.erase(0, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

} // namespace

// One request read from memory; the answer written to the socket without waiting while it fits in the
// connection's unsent bytes, else with a timeout.
class BoundedServer::RequestStream : public RequestExchange
{
public:
    RequestStream(Connection &connection, const std::atomic<bool> &halted, std::chrono::milliseconds timeout)
        : m_connection(connection), m_halted(halted), m_timeout(timeout)
    {
    }

    bool hasUnread() const override { return m_at < m_connection.requestLength; }

    bool writable() const override
    {
        if (!waitWritable(Clock::now() + m_timeout))
            return false;
        char byte;
        return ::recv(m_connection.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) != 0; // 0: the client has gone
    }

    ssize_t read(char *ptr, std::size_t size) override
    {
        const std::size_t n = std::min(size, m_connection.requestLength - m_at);
        std::copy_n(m_connection.in.data() + m_at, n, ptr);
        m_at += n;
        return ssize_t(n);
    }

    ssize_t write(const char *ptr, std::size_t size) override
    {
        const Clock::time_point until = Clock::now() + m_timeout;
        std::string &out = m_connection.out;
        for (;;) {
            if (m_halted || !sendSome(m_connection.fd, out))
                return -1;
            if (out.empty()) {
                const ssize_t n = ::send(m_connection.fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n >= 0)
                    return n;
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    return -1;
            }
            if (out.size() + size <= unsentLimit) {
                out.append(ptr, size);
                return ssize_t(size);
            }
            if (!waitWritable(until))
                return -1;
        }
    }

    int socket() const override { return m_connection.fd; }

private:
    // In short steps, so that a stop is not held up by a client that does not read.
    bool waitWritable(Clock::time_point until) const
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (m_halted || left <= 0)
                return false;
            pollfd entry{m_connection.fd, POLLOUT, 0};
            const int ready = ::poll(&entry, 1, int(std::min<long long>(left, pollStepMs)));
            if (ready > 0)
                return (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    Connection &m_connection;
    const std::atomic<bool> &m_halted;
    const std::chrono::milliseconds m_timeout;
    std::size_t m_at = 0;
};

BoundedServer::BoundedServer(const ServerLimits &limits)
    : m_limits(limits), m_http(limits.keepAliveRequests, limits.keepAlive, limits.body),
      m_epollFd(::epoll_create1(EPOLL_CLOEXEC)), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

BoundedServer::~BoundedServer()
{
    halt();
    for (auto &[fd, connection] : m_gate)
        ::close(fd);
    for (const int fd : {m_listenFd, m_epollFd, m_wakeFd, m_spareFd})
        if (fd >= 0)
            ::close(fd);
}

int BoundedServer::bindTo(const std::string &host, int port)
{
    m_listenFd = m_http.listenOn(host, port);
    if (m_listenFd < 0)
        return -1;
    // A deeper queue than the library's, for a burst of clients arriving at once.
    ::listen(m_listenFd, listenBacklog);
    ::fcntl(m_listenFd, F_SETFL, ::fcntl(m_listenFd, F_GETFL) | O_NONBLOCK);
    return port;
}

void BoundedServer::halt()
{
    m_halted = true;
    m_http.halt();
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_wakeWorker.notify_all();
}

bool BoundedServer::serve()
{
    if (m_listenFd < 0 || m_epollFd < 0 || m_wakeFd < 0)
        return false;
    // Kept to be given up when the process runs out of descriptors, so that a pending client can still be
    // accepted and closed instead of waking the loop for ever.
    m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (const int fd : {m_listenFd, m_wakeFd}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        ::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, fd, &event);
    }
    for (std::size_t i = 0; i < m_limits.workers; ++i)
        m_workers.emplace_back([this] { work(); });

    epoll_event events[maxEvents];
    while (!m_halted) {
        Clock::time_point next = Clock::now() + std::chrono::seconds(1);
        for (const auto &[fd, connection] : m_gate)
            next = std::min(next, connection->deadline);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        const int count = ::epoll_wait(m_epollFd, events, maxEvents, int(std::clamp<long long>(wait + 1, 0, 1000)));
        for (int i = 0; i < count && !m_halted; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_listenFd) {
                acceptAll();
            } else if (fd == m_wakeFd) {
                std::uint64_t value;
                [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &value, sizeof value);
                adoptReturned();
            } else {
                readFrom(fd);
            }
        }
        expire();
    }

    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_wakeWorker.notify_all();
    }
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
    for (auto &[fd, connection] : m_gate)
        ::close(fd);
    m_gate.clear();
    for (const auto &connection : m_ready)
        ::close(connection->fd);
    m_ready.clear();
    for (const auto &connection : m_returned)
        ::close(connection->fd);
    m_returned.clear();
    ::close(m_listenFd);
    m_listenFd = -1;
    return true;
}

void BoundedServer::acceptAll()
{
    for (;;) {
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EMFILE && errno != ENFILE)
                return;
            if (evictOldest())
                continue; // a waiting connection was given up for this one
            if (m_spareFd < 0)
                return;
            ::close(m_spareFd);
            fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
            m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            continue;
        }
        if (m_gate.size() + m_withWorkers >= m_limits.connections && !evictOldest()) {
            ::close(fd); // every connection is being answered: the newcomer has to wait its turn elsewhere
            continue;
        }
        const int on = 1;
        // Headers and body leave in separate writes; waiting for the client's acknowledgement in between
        // would cost every answer the client's delayed-acknowledgement time.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->waitingSince = Clock::now();
        connection->deadline = connection->waitingSince + m_limits.keepAlive;
        watch(*connection, EPOLL_CTL_ADD);
        m_gate.emplace(fd, std::move(connection));
    }
}

bool BoundedServer::evictOldest()
{
    const auto oldest = std::min_element(m_gate.begin(), m_gate.end(), [](const auto &a, const auto &b) {
        // Connections already answered with an error go first.
        return std::make_pair(!a.second->draining, a.second->waitingSince) <
               std::make_pair(!b.second->draining, b.second->waitingSince);
    });
    if (oldest == m_gate.end())
        return false;
    closeInGate(oldest->first);
    return true;
}

void BoundedServer::watch(Connection &connection, int operation)
{
    epoll_event event{};
    // While an answer is unsent, the next request waits: its bytes stay in the socket.
    event.events = connection.out.empty() ? EPOLLIN : EPOLLOUT;
    event.data.fd = connection.fd;
    ::epoll_ctl(m_epollFd, operation, connection.fd, &event);
}

void BoundedServer::closeInGate(int fd)
{
    ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    m_gate.erase(fd);
}

void BoundedServer::readFrom(int fd)
{
    const auto found = m_gate.find(fd);
    if (found == m_gate.end())
        return;
    Connection &connection = *found->second;
    if (!connection.out.empty()) {
        writeTo(fd);
        return;
    }
    char buffer[readChunk];
    if (connection.draining) {
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            connection.drained += std::size_t(std::max<ssize_t>(n, 0));
            if (n <= 0 || connection.drained > drainLimit) {
                closeInGate(fd);
                return;
            }
        }
    }
    const std::size_t room = m_limits.head + m_limits.body + chunkFraming;
    while (connection.in.size() < room) {
        const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, room - connection.in.size()), 0);
        if (n > 0) {
            if (connection.in.empty())
                connection.deadline = Clock::now() + m_limits.requestTimeout; // a request begins
            connection.in.append(buffer, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0) {
            closeInGate(fd);
            return;
        }
        connection.ended = true; // what came before the end may still be a whole request
        break;
    }
    advance(fd);
}

void BoundedServer::writeTo(int fd)
{
    Connection &connection = *m_gate.at(fd);
    const std::size_t before = connection.out.size();
    if (!sendSome(fd, connection.out)) {
        closeInGate(fd);
        return;
    }
    if (!connection.out.empty()) {
        if (connection.out.size() < before)
            connection.deadline = Clock::now() + m_limits.writeTimeout;
        return;
    }
    if (connection.closeAfterOut) {
        closeInGate(fd);
        return;
    }
    connection.deadline = Clock::now() + (connection.in.empty() ? m_limits.keepAlive : m_limits.requestTimeout);
    watch(connection, EPOLL_CTL_MOD);
    advance(fd);
}

void BoundedServer::advance(int fd)
{
    const auto found = m_gate.find(fd);
    Connection &connection = *found->second;
    if (connection.in.empty()) {
        if (connection.ended)
            closeInGate(fd);
        return;
    }
    const Scan scan = scanRequest(connection.in, m_limits);
    if (scan.state == Scan::State::Failed) {
        reject(connection, scan.status);
        return;
    }
    if (scan.state == Scan::State::Incomplete) {
        if (connection.in.size() >= m_limits.head + m_limits.body + chunkFraming)
            reject(connection, 413);
        else if (connection.ended)
            closeInGate(fd);
        else if (scan.waitsToContinue && !connection.continueSent) {
            static const char goOn[] = "HTTP/1.1 100 Continue\r\n\r\n";
            ::send(fd, goOn, sizeof goOn - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            connection.continueSent = true;
        }
        return;
    }
    std::size_t head = scan.head;
    connection.range = takeRange(connection.in, head);
    connection.requestLength = scan.length - (scan.head - head);
    ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
    std::unique_ptr<Connection> whole = std::move(found->second);
    m_gate.erase(found);
    ++m_withWorkers;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ready.push_back(std::move(whole));
    }
    m_wakeWorker.notify_one();
}

void BoundedServer::reject(Connection &connection, int status)
{
    const std::string body = std::string(reasonOf(status)) + '\n';
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + ' ' + reasonOf(status) +
                               "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    ::send(connection.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(connection.fd, SHUT_WR);
    connection.draining = true;
    connection.in = std::string();
    connection.deadline = Clock::now() + drainTime;
}

void BoundedServer::expire()
{
    const Clock::time_point now = Clock::now();
    std::vector<int> due;
    for (const auto &[fd, connection] : m_gate)
        if (connection->deadline <= now)
            due.push_back(fd);
    for (const int fd : due) {
        Connection &connection = *m_gate.at(fd);
        if (connection.draining || connection.in.empty() || !connection.out.empty())
            closeInGate(fd); // idle, done draining, or not taking its answer
        else
            reject(connection, 408);
    }
}

void BoundedServer::adoptReturned()
{
    std::vector<std::unique_ptr<Connection>> returned;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        returned.swap(m_returned);
    }
    for (std::unique_ptr<Connection> &connection : returned) {
        --m_withWorkers;
        const int fd = connection->fd;
        connection->waitingSince = Clock::now();
        const bool writing = !connection->out.empty();
        connection->deadline = connection->waitingSince + (writing                  ? m_limits.writeTimeout
                                                           : connection->in.empty() ? m_limits.keepAlive
                                                                                    : m_limits.requestTimeout);
        watch(*connection, EPOLL_CTL_ADD);
        m_gate.emplace(fd, std::move(connection));
        if (!writing)
            advance(fd); // the next request may have come with the last one
    }
}

void BoundedServer::work()
{
    for (;;) {
        std::unique_ptr<Connection> connection;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wakeWorker.wait(lock, [this] { return m_halted || !m_ready.empty(); });
            if (m_halted)
                return;
            connection = std::move(m_ready.front());
            m_ready.pop_front();
        }
        answer(std::move(connection));
    }
}

void BoundedServer::answer(std::unique_ptr<Connection> connection)
{
    const bool last = ++connection->answered >= m_limits.keepAliveRequests || m_halted;
    bool closedByClient = false;
    bool sent = false;
    try {
        RequestStream stream(*connection, m_halted, m_limits.writeTimeout);
        sent = m_http.answer(stream, last, connection->range, closedByClient);
    } catch (...) {
        sent = false;
    }
    connection->in.erase(0, connection->requestLength);
    connection->requestLength = 0;
    connection->continueSent = false;
    connection->closeAfterOut = !sent || last || closedByClient || (connection->ended && connection->in.empty());
    // What the client has not taken yet is sent by the reading thread; the connection closes after it when
    // this was its last answer (a cut-short one included).
    if (m_halted || (connection->closeAfterOut && connection->out.empty())) {
        ::close(connection->fd);
        --m_withWorkers;
        return;
    }
    if (connection->in.capacity() > 2 * readChunk && connection->in.size() < readChunk)
        connection->in.shrink_to_fit();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_returned.push_back(std::move(connection));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

} // namespace portal
