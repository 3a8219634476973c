#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/Text.h"

namespace box::test {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return AsciiLower(a) == AsciiLower(b);
}

// httplib files the peer's addresses among the headers; they were never sent.
bool IsPseudoHeader(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

template <typename Predicate>
bool WaitUntil(std::mutex& mutex, std::condition_variable& cv, std::chrono::milliseconds timeout,
               Predicate done) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, timeout, done);
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (SameIgnoringCase(n, name)) return v;
    return {};
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    for (const auto& header : headers)
        if (SameIgnoringCase(header.first, name)) return true;
    return false;
}

LoopbackServer::LoopbackServer(ServerOptions options) : address_(options.address) {
    tls_ = !options.certificate.empty() && !options.privateKey.empty();
    if (tls_) {
        auto server = std::make_unique<httplib::SSLServer>(options.certificate.c_str(),
                                                           options.privateKey.c_str());
        if (!server->is_valid()) return;
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    // A client that keeps its connection open must not hold up Stop() for long.
    server_->set_keep_alive_timeout(1);
    // Headers and body go out in separate writes; without this, delayed
    // acknowledgements add tens of milliseconds to every answer.
    server_->set_tcp_nodelay(true);
    // httplib's default adds SO_REUSEPORT, with which a second server binds
    // a port in use and the kernel splits the connections between the two.
    server_->set_socket_options([](int socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Routed handlers, not a pre-routing one: only they see the request body.
    auto handle = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
    server_->Get(".*", handle);
    server_->Post(".*", handle);
    server_->Put(".*", handle);
    server_->Patch(".*", handle);
    server_->Delete(".*", handle);
    server_->Options(".*", handle);
    if (options.port == 0) {
        port_ = server_->bind_to_any_port(address_);
    } else if (server_->bind_to_port(address_, options.port)) {
        port_ = options.port;
    }
    if (port_ <= 0) {
        port_ = 0;
        return;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_->is_running() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

void LoopbackServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
    return std::string(tls_ ? "https://" : "http://") + address_ + ":" + std::to_string(port_) +
           path;
}

void LoopbackServer::SetAnswer(const std::string& path, Answer answer) {
    SetAnswers(path, {std::move(answer)});
}

void LoopbackServer::SetAnswers(const std::string& path, std::vector<Answer> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[path] = std::deque<Answer>(answers.begin(), answers.end());
}

void LoopbackServer::SetHandler(const std::string& path,
                                std::function<Answer(const RecordedRequest&)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[path] = std::move(handler);
}

void LoopbackServer::Handle(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest record;
    record.method = req.method;
    record.target = req.target;
    record.path = req.path;
    record.body = req.body;
    for (const auto& [name, value] : req.headers) {
        if (!IsPseudoHeader(name)) record.headers.emplace_back(name, value);
    }

    Answer answer;
    answer.status = 404;
    answer.body = "not found";
    std::function<Answer(const RecordedRequest&)> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(record);
        if (auto h = handlers_.find(record.path); h != handlers_.end()) {
            handler = h->second;
        } else if (auto a = answers_.find(record.path); a != answers_.end() && !a->second.empty()) {
            answer = a->second.front();
            if (a->second.size() > 1) a->second.pop_front();
        }
    }
    changed_.notify_all();
    if (handler) answer = handler(record);

    if (answer.hold) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++held_;
        changed_.notify_all();
        const std::uint64_t seen = releases_;
        changed_.wait(lock, [&] { return stopping_ || releases_ != seen; });
        --held_;
    }
    if (answer.delayMs > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(answer.delayMs),
                          [&] { return stopping_; });
    }

    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) res.set_header(name, value);
    if (answer.endless) {
        // Paced, so a client that reads for seconds gathers kilobytes, not gigabytes.
        std::string piece = answer.body.empty() ? std::string("x") : answer.body;
        res.set_chunked_content_provider(
            answer.contentType, [this, piece](std::size_t, httplib::DataSink& sink) {
                std::unique_lock<std::mutex> lock(mutex_);
                if (changed_.wait_for(lock, std::chrono::milliseconds(5),
                                      [&] { return stopping_; }))
                    return false;
                lock.unlock();
                return sink.write(piece.data(), piece.size());
            });
        return;
    }
    if (!answer.contentType.empty()) res.set_header("Content-Type", answer.contentType);
    res.body = answer.body;
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t LoopbackServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

RecordedRequest LoopbackServer::LastRequest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? RecordedRequest{} : requests_.back();
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil(mutex_, changed_, timeout, [&] { return requests_.size() >= count; });
}

std::size_t LoopbackServer::HeldCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

bool LoopbackServer::WaitForHeld(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil(mutex_, changed_, timeout, [&] { return held_ >= count; });
}

void LoopbackServer::ReleaseHeld() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++releases_;
    }
    changed_.notify_all();
}

RawHttpServer::RawHttpServer(std::string response) : response_(std::move(response)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) return;
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t length = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

RawHttpServer::~RawHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
}

std::string RawHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawHttpServer::Run() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        Serve(client);
        ::close(client);
    }
}

void RawHttpServer::Serve(int client) {
    // Reads with a time-out so a silent client cannot stall the destructor.
    auto readSome = [&](std::string& into) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        char buffer[4096];
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    };
    std::string data;
    std::size_t end = std::string::npos;
    while ((end = data.find("\r\n\r\n")) == std::string::npos && data.size() < (1u << 20)) {
        if (stop_ || !readSome(data)) return;
    }
    if (end == std::string::npos) return;
    std::string head = data.substr(0, end + 4);
    std::size_t bodyLength = 0;
    std::string lower = AsciiLower(head);
    if (std::size_t at = lower.find("\r\ncontent-length:"); at != std::string::npos) {
        bodyLength = std::strtoul(head.c_str() + at + 17, nullptr, 10);
    }
    while (data.size() < end + 4 + bodyLength && !stop_) {
        if (!readSome(data)) break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        heads_.push_back(head);
    }
    changed_.notify_all();
    ::send(client, response_.data(), response_.size(), MSG_NOSIGNAL);
    ::shutdown(client, SHUT_WR);
}

std::vector<std::string> RawHttpServer::Heads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heads_;
}

bool RawHttpServer::WaitForHeads(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil(mutex_, changed_, timeout, [&] { return heads_.size() >= count; });
}

std::string EncodePage(const std::string& utf8, const char* charset, bool withMark) {
    std::string mark;
    std::string name = AsciiLower(charset);
    if (withMark) {
        if (name == "utf-8") mark = "\xEF\xBB\xBF";
        if (name == "utf-16le") mark = "\xFF\xFE";
        if (name == "utf-16be") mark = "\xFE\xFF";
    }
    return mark + ConvertEncoding(utf8, "UTF-8", charset);
}

TestTlsFiles CreateTestTlsFiles(const std::filesystem::path& dir,
                                const std::vector<std::string>& moreAddresses) {
    if (std::system("openssl version >/dev/null 2>&1") != 0) return {};
    const std::string d = dir.string();
    {
        std::ofstream ext(dir / "server.ext");
        ext << "subjectAltName=IP:127.0.0.1,DNS:localhost";
        for (const std::string& address : moreAddresses) ext << ",IP:" << address;
        ext << "\n"
               "basicConstraints=CA:FALSE\n"
               "extendedKeyUsage=serverAuth\n";
    }
    const std::string script =
        "cd '" + d + "' && " +
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout ca.key -out ca.pem -days 2 -subj /CN=softbox-test-ca "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign "
        ">/dev/null 2>&1 && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout server.key -out server.csr -subj /CN=127.0.0.1 >/dev/null 2>&1 && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
        "-out server.pem -days 2 -extfile server.ext >/dev/null 2>&1";
    if (std::system(script.c_str()) != 0) return {};
    return {dir / "ca.pem", dir / "server.pem", dir / "server.key"};
}

}  // namespace box::test
