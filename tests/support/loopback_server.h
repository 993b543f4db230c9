#pragma once
// A web server on 127.0.0.1 with an ephemeral port for tests of the real feed
// fetcher: HTTPS with a throwaway self-signed certificate (trusted only by the
// test that hands its file to the fetcher), or plain HTTP. It answers from a
// route function and records every request it reads. Nothing leaves the machine.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class LoopbackServer {
public:
    struct Answer {
        std::string response;  // status line, headers and body, sent as is
        std::chrono::milliseconds delay{0};  // wait this long before answering
        bool silent = false;   // never answer; hold the connection until the client leaves
    };
    using Route = std::function<Answer(const std::string& path)>;

    // A server with TLS writes its certificate (PEM) to certificateFile.
    LoopbackServer(Route route, const std::filesystem::path& certificateFile);
    // A plain HTTP server.
    explicit LoopbackServer(Route route);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const;
    // "https://127.0.0.1:<port><path>" (http for a plain server).
    std::string url(const std::string& path) const;
    // The request heads read so far, in arrival order.
    std::vector<std::string> requests() const;
    int connections() const;

    // A complete HTTP/1.1 answer with Content-Length and "Connection: close".
    static std::string reply(int status, const std::string& body, const std::string& extraHeaders = {});

    struct State;  // the listener, its threads and what they recorded

private:
    std::shared_ptr<State> state_;
};

}  // namespace testing_support
