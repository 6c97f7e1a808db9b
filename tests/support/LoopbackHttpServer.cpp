#include "support/LoopbackHttpServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <httplib.h>

namespace {
std::string routeKey(const std::string& method, const std::string& path) {
    return method + ' ' + path;
}
} // namespace

std::string LoopbackHttpServer::Request::header(const std::string& lowerCaseName) const {
    auto it = headers.find(lowerCaseName);
    return it == headers.end() ? std::string() : it->second;
}

LoopbackHttpServer::LoopbackHttpServer() : server_(std::make_unique<httplib::Server>()) {
    auto handle = [this](const httplib::Request& in, httplib::Response& out) {
        Request request{in.method, in.path, in.target, {}, {}, in.body};
        for (const auto& [name, value] : in.params)
            request.query[name] = value;
        for (const auto& [name, value] : in.headers) {
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            request.headers[lower] = value;
        }
        const Reply reply = answer(request);
        if (reply.delayMilliseconds > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMilliseconds));
        out.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            out.set_header(name.c_str(), value);
        if (!reply.pieces) {
            out.set_content(reply.body, reply.contentType.c_str());
            return;
        }
        auto next = std::make_shared<size_t>(0);
        out.set_chunked_content_provider(
            reply.contentType.c_str(), [this, reply, next](size_t, httplib::DataSink& sink) {
                if (reply.pieceDelayMilliseconds > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(reply.pieceDelayMilliseconds));
                const std::optional<std::string> piece = reply.pieces((*next)++);
                if (!piece) {
                    sink.done();
                    return true;
                }
                return !stopping_ && sink.write(piece->data(), piece->size());
            });
    };
    server_->Get(".*", handle);
    server_->Post(".*", handle);
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() before the loop runs would be lost and the join would hang.
    while (!server_->is_running())
        std::this_thread::yield();
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stopping_ = true;
    server_->stop();
    thread_.join();
}

QUrl LoopbackHttpServer::baseURL() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port_));
}

void LoopbackHttpServer::on(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[routeKey(method, path)] = std::move(handler);
}

void LoopbackHttpServer::enqueue(const std::string& method, const std::string& path,
                                 std::vector<Reply> replies) {
    std::lock_guard lock(mutex_);
    auto& queue = queues_[routeKey(method, path)];
    queue.insert(queue.end(), replies.begin(), replies.end());
}

LoopbackHttpServer::Reply LoopbackHttpServer::answer(const Request& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        received_.push_back(request);
        const std::string key = routeKey(request.method, request.path);
        auto queued = queues_.find(key);
        if (queued != queues_.end() && !queued->second.empty()) {
            Reply reply = queued->second.front();
            if (queued->second.size() > 1)
                queued->second.pop_front();
            return reply;
        }
        auto found = handlers_.find(key);
        if (found == handlers_.end())
            return Reply{404, R"({"error":"not scripted"})"};
        handler = found->second;
    }
    return handler(request);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests(const std::string& method,
                                                                      const std::string& path) const {
    std::vector<Request> matching;
    for (const Request& r : requests())
        if (r.method == method && r.path == path)
            matching.push_back(r);
    return matching;
}

size_t LoopbackHttpServer::count(const std::string& method, const std::string& path) const {
    return requests(method, path).size();
}
