#pragma once
// HTTP servers on loopback addresses for tests: they record every request and
// answer from a script.
//
// LoopbackServer (cpp-httplib) serves scripted answers per path, optionally
// over TLS. RawHttpServer records the request head byte for byte, for checks
// that a parsed view cannot make (a header sent with an empty value).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace box::test {

struct RecordedRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::string path;    // path without query, percent-decoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // First value of a header (name compared ignoring case), "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct Answer {
    int status = 200;
    std::string body{};
    std::string contentType = "text/html";
    // More headers; a name may repeat (Set-Cookie).
    std::vector<std::pair<std::string, std::string>> headers{};
    // Wait this long before answering (cut short when the server stops).
    int delayMs = 0;
    // Answer only after ReleaseHeld() or when the server stops.
    bool hold = false;
    // Send body again and again, a little at a time, until the client goes
    // away or the server stops: a page that never ends.
    bool endless = false;
};

struct ServerOptions {
    std::string address = "127.0.0.1";  // any 127.x.y.z works here
    int port = 0;                       // 0: an ephemeral port
    std::filesystem::path certificate;  // both set: serve https
    std::filesystem::path privateKey;
};

class LoopbackServer {
public:
    explicit LoopbackServer(ServerOptions options = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    // "http://address:port" + path (https for a TLS server).
    std::string Url(const std::string& path = "/") const;

    // The answer for a path (without query). Unscripted paths answer 404.
    void SetAnswer(const std::string& path, Answer answer);
    // Answers in turn; the last one repeats.
    void SetAnswers(const std::string& path, std::vector<Answer> answers);
    void SetHandler(const std::string& path, std::function<Answer(const RecordedRequest&)> handler);

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    RecordedRequest LastRequest() const;  // empty when none arrived
    bool WaitForRequests(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Requests whose answer is held back right now.
    std::size_t HeldCount() const;
    bool WaitForHeld(std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    void ReleaseHeld();

    void Stop();

private:
    void Handle(const httplib::Request& req, httplib::Response& res);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string address_;
    bool tls_ = false;
    int port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::deque<Answer>> answers_;
    std::map<std::string, std::function<Answer(const RecordedRequest&)>> handlers_;
    std::vector<RecordedRequest> requests_;
    std::size_t held_ = 0;
    std::uint64_t releases_ = 0;
    bool stopping_ = false;
};

// Accepts connections one at a time, records each request head exactly as it
// arrived (up to and including the blank line), reads a Content-Length body,
// sends the fixed response and closes the connection.
class RawHttpServer {
public:
    explicit RawHttpServer(
        std::string response =
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    bool ok() const { return port_ > 0; }
    std::string Url(const std::string& path = "/") const;
    std::vector<std::string> Heads() const;
    bool WaitForHeads(std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    void Run();
    void Serve(int client);

    std::string response_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> heads_;
};

// Page bytes in a charset (an iconv name), from UTF-8 text, with the
// charset's byte-order mark in front when withMark is set.
std::string EncodePage(const std::string& utf8, const char* charset, bool withMark = false);

// A throwaway certificate authority and a server certificate for 127.0.0.1,
// localhost and the further addresses, written into dir with the openssl
// tool. Empty paths when the tool is missing or fails.
struct TestTlsFiles {
    std::filesystem::path caCertificate;
    std::filesystem::path serverCertificate;
    std::filesystem::path serverKey;
    bool ok() const { return !caCertificate.empty(); }
};
TestTlsFiles CreateTestTlsFiles(const std::filesystem::path& dir,
                                const std::vector<std::string>& moreAddresses = {});

}  // namespace box::test
