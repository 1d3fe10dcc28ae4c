// A tiny HTTP/1.0 server on 127.0.0.1 for download tests. It runs on its own
// thread, so it answers while the code under test blocks or spins an event loop.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvex::test {

class HttpTestServer {
public:
    enum class Behaviour {
        Serve,         // status 200 with the body and its length
        ServeUnsized,  // status 200 with the body and no length: the body ends at close
        Hang,          // reads the request and never answers
    };

    HttpTestServer();  // listens on a free port
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Paths without a route get 404.
    void Route(const std::string& path, Behaviour behaviour, std::string body = {});
    std::string Url(const std::string& path) const;
    int Port() const { return port_; }
    // The paths requested so far.
    std::vector<std::string> Requests() const;

    // A port on 127.0.0.1 nothing listens on.
    static int RefusedPort();

private:
    struct Entry {
        Behaviour behaviour;
        std::string body;
    };
    void Run();
    void Handle(int client);

    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;  // routes_, requests_, hung_
    std::map<std::string, Entry> routes_;
    std::vector<std::string> requests_;
    std::vector<int> hung_;
    std::thread thread_;
};

}  // namespace zorvex::test
