#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace testing_support {

struct LoopbackServer::State {
    Route route;
    SSL_CTX* tls = nullptr;
    int listener = -1;
    int port = 0;
    std::thread acceptor;
    mutable std::mutex lock;
    std::vector<std::thread> handlers;
    std::set<int> clients;
    std::vector<std::string> requests;
    int connections = 0;

    ~State() {
        if (tls) SSL_CTX_free(tls);
    }

    // Reads or writes through TLS when the server has it.
    struct Channel {
        int fd;
        SSL* ssl;
        long read(char* buffer, int size) { return ssl ? SSL_read(ssl, buffer, size) : ::read(fd, buffer, size_t(size)); }
        bool write(const std::string& data) {
            size_t sent = 0;
            while (sent < data.size()) {
                int chunk = int(std::min<size_t>(data.size() - sent, 16384));
                long n = ssl ? SSL_write(ssl, data.data() + sent, chunk)
                             : ::send(fd, data.data() + sent, size_t(chunk), MSG_NOSIGNAL);
                if (n <= 0) return false;
                sent += size_t(n);
            }
            return true;
        }
    };

    void serve(int fd) {
        SSL* ssl = nullptr;
        if (tls) {
            ssl = SSL_new(tls);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) != 1) {
                SSL_free(ssl);
                finish(fd);
                return;
            }
        }
        Channel channel{fd, ssl};
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            long n = channel.read(buffer, sizeof buffer);
            if (n <= 0) break;
            head.append(buffer, size_t(n));
        }
        if (head.find("\r\n\r\n") != std::string::npos) {
            {
                std::lock_guard<std::mutex> guard(lock);
                requests.push_back(head);
            }
            size_t start = head.find(' ') + 1;
            std::string path = head.substr(start, head.find(' ', start) - start);
            Answer answer = route(path);
            if (answer.silent) {
                while (channel.read(buffer, sizeof buffer) > 0) {
                }
            } else {
                std::this_thread::sleep_for(answer.delay);
                channel.write(answer.response);
            }
        }
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        finish(fd);
    }

    void finish(int fd) {
        std::lock_guard<std::mutex> guard(lock);
        clients.erase(fd);
        ::close(fd);
    }

    void acceptLoop() {
        for (;;) {
            int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) return;  // the listener was shut down
            std::lock_guard<std::mutex> guard(lock);
            ++connections;
            clients.insert(fd);
            handlers.emplace_back([this, fd] { serve(fd); });
        }
    }
};

namespace {

// A self-signed certificate for 127.0.0.1 that may also act as its own CA.
void makeCertificate(SSL_CTX* ctx, const std::filesystem::path& certificateFile) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    if (!key || !cert) throw std::runtime_error("cannot make a key");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), long(::getpid()));
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    const std::pair<int, const char*> extensions[] = {
        {NID_basic_constraints, "critical,CA:TRUE"},
        {NID_key_usage, "critical,digitalSignature,keyCertSign"},
        {NID_subject_alt_name, "IP:127.0.0.1"},
    };
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
        if (!ext) throw std::runtime_error("cannot make a certificate extension");
        X509_add_ext(cert, ext, -1);
        X509_EXTENSION_free(ext);
    }
    if (!X509_sign(cert, key, EVP_sha256())) throw std::runtime_error("cannot sign the certificate");
    if (SSL_CTX_use_certificate(ctx, cert) != 1 || SSL_CTX_use_PrivateKey(ctx, key) != 1)
        throw std::runtime_error("cannot use the certificate");
    FILE* out = std::fopen(certificateFile.c_str(), "w");
    if (!out || PEM_write_X509(out, cert) != 1) throw std::runtime_error("cannot write the certificate");
    std::fclose(out);
    X509_free(cert);
    EVP_PKEY_free(key);
}

std::shared_ptr<LoopbackServer::State> start(LoopbackServer::Route route, SSL_CTX* tls) {
    // A client that leaves early must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    auto state = std::make_shared<LoopbackServer::State>();
    state->route = std::move(route);
    state->tls = tls;
    state->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (state->listener < 0 || ::bind(state->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(state->listener, 16) != 0 ||
        ::getsockname(state->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    state->port = ntohs(address.sin_port);
    LoopbackServer::State* raw = state.get();
    state->acceptor = std::thread([raw] { raw->acceptLoop(); });
    return state;
}

}  // namespace

LoopbackServer::LoopbackServer(Route route, const std::filesystem::path& certificateFile) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) throw std::runtime_error("cannot make a TLS context");
    try {
        makeCertificate(ctx, certificateFile);
    } catch (...) {
        SSL_CTX_free(ctx);
        throw;
    }
    state_ = start(std::move(route), ctx);
}

LoopbackServer::LoopbackServer(Route route) : state_(start(std::move(route), nullptr)) {}

LoopbackServer::~LoopbackServer() {
    ::shutdown(state_->listener, SHUT_RDWR);
    state_->acceptor.join();
    ::close(state_->listener);
    std::vector<std::thread> handlers;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        // Wake handlers still waiting on a client.
        for (int fd : state_->clients) ::shutdown(fd, SHUT_RDWR);
        handlers.swap(state_->handlers);
    }
    for (auto& t : handlers) t.join();
}

int LoopbackServer::port() const { return state_->port; }

std::string LoopbackServer::url(const std::string& path) const {
    return std::string(state_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(state_->port) + path;
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests;
}

int LoopbackServer::connections() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->connections;
}

std::string LoopbackServer::reply(int status, const std::string& body, const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " Answer\r\nContent-Type: application/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

}  // namespace testing_support
