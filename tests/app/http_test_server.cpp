#include "tests/app/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zorvex::test {

namespace {

int Listen(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

void SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

HttpTestServer::HttpTestServer() {
    listener_ = Listen(port_);
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { Run(); });
}

HttpTestServer::~HttpTestServer() {
    const char stop = 'x';
    [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
    for (int fd : hung_) ::close(fd);
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void HttpTestServer::Route(const std::string& path, Behaviour behaviour, std::string body) {
    std::lock_guard lock(mutex_);
    routes_[path] = Entry{behaviour, std::move(body)};
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> HttpTestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int HttpTestServer::RefusedPort() {
    int port = 0;
    const int fd = Listen(port);
    ::close(fd);  // nothing listens there any more
    return port;
}

void HttpTestServer::Run() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) Handle(client);
        }
    }
}

void HttpTestServer::Handle(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd fd = {client, POLLIN, 0};
        if (::poll(&fd, 1, 2000) <= 0) break;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
    }
    // "GET /path HTTP/1.1"
    const size_t start = request.find(' ');
    const size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    const std::string path =
        end == std::string::npos ? std::string() : request.substr(start + 1, end - start - 1);

    Entry entry{Behaviour::Serve, {}};
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(path);
        if (auto it = routes_.find(path); it != routes_.end()) {
            entry = it->second;
            found = true;
        }
    }
    if (found && entry.behaviour == Behaviour::Hang) {
        std::lock_guard lock(mutex_);
        hung_.push_back(client);  // closed when the server goes
        return;
    }
    if (!found) {
        SendAll(client,
                "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
                "Connection: close\r\n\r\nnot found");
    } else if (entry.behaviour == Behaviour::Serve) {
        SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                            std::to_string(entry.body.size()) + "\r\nConnection: close\r\n\r\n" +
                            entry.body);
    } else {
        SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" +
                            entry.body);
    }
    ::shutdown(client, SHUT_WR);
    ::close(client);
}

}  // namespace zorvex::test
