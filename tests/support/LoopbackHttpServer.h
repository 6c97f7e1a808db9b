#pragma once

#include <QUrl>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

// An HTTP server on 127.0.0.1 that a test scripts: answers per method and path (queued, or computed by a
// handler), optional delays, and a record of every request received. Runs on its own thread; unscripted
// requests get 404.
class LoopbackHttpServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        int delayMilliseconds = 0;
        std::vector<std::pair<std::string, std::string>> headers = {};
        // A body sent chunked instead of `body`: the pieces numbered 0, 1, 2, ... until there is none, each
        // after `pieceDelayMilliseconds`. Sending stops when the client has gone or the server stops.
        std::function<std::optional<std::string>(size_t)> pieces = {};
        int pieceDelayMilliseconds = 0;
    };

    struct Request {
        std::string method;
        std::string path;   // decoded
        std::string target; // as sent: encoded path and query
        std::map<std::string, std::string> query;
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;
        std::string header(const std::string& lowerCaseName) const;
    };

    using Handler = std::function<Reply(const Request&)>;

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    QUrl baseURL() const;

    // Every request to method+path is answered by `handler`.
    void on(const std::string& method, const std::string& path, Handler handler);
    // Requests to method+path take the queued replies in turn; the last one repeats.
    void enqueue(const std::string& method, const std::string& path, std::vector<Reply> replies);

    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& method, const std::string& path) const;
    size_t count(const std::string& method, const std::string& path) const;

private:
    Reply answer(const Request& request);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_ = false;
    mutable std::mutex mutex_;
    std::map<std::string, Handler> handlers_;
    std::map<std::string, std::deque<Reply>> queues_;
    std::vector<Request> received_;
};
