// A stranger on the user's local sockets, run as another user by the tests:
//   socketpeer listen LOG ANSWER PATH...  binds every PATH it can (making missing folders,
//       mode 0755, its own), says "ready" on stdout, and then answers every connection's request
//       with ANSWER and a zero byte, appending what it was sent to LOG.
//   socketpeer send PATH MESSAGE  connects, sends MESSAGE (for "scan", "scan\n/tmp\0\0"), and
//       prints the answer; exit 3 when it cannot connect, 4 when no answer comes.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <csignal>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

sockaddr_un address(const std::string &path) {
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::strncpy(where.sun_path, path.c_str(), sizeof where.sun_path - 1);
    return where;
}

int listenAt(const std::string &path) {
    const std::string folder = path.substr(0, path.rfind('/'));
    ::mkdir(folder.c_str(), 0755);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un where = address(path);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0 ||
        ::listen(fd, 8) != 0) {
        std::fprintf(stderr, "cannot bind %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return -1;
    }
    ::chmod(path.c_str(), 0777);
    std::printf("bound %s\n", path.c_str());
    return fd;
}

int serve(const char *log, const std::string &answer, const std::vector<std::string> &paths) {
    std::vector<pollfd> fds;
    for (const std::string &path : paths)
        if (const int fd = listenAt(path); fd >= 0)
            fds.push_back({fd, POLLIN, 0});
    std::printf("ready\n");
    std::fflush(stdout);
    while (::poll(fds.data(), fds.size(), -1) > 0) {
        for (const pollfd &entry : fds) {
            if (!(entry.revents & POLLIN))
                continue;
            const int client = ::accept(entry.fd, nullptr, nullptr);
            if (client < 0)
                continue;
            std::string request;
            char buffer[4096];
            // A request ends with two zero bytes (scan) or a line feed (activate).
            while (request.find(std::string("\0\0", 2)) == std::string::npos &&
                   request != "activate\n") {
                const ssize_t got = ::read(client, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                request.append(buffer, size_t(got));
            }
            if (FILE *out = std::fopen(log, "a")) {
                std::fwrite(request.data(), 1, request.size(), out);
                std::fclose(out);
            }
            const std::string reply = answer + '\0';
            (void)!::write(client, reply.data(), reply.size());
            ::close(client);
        }
    }
    return 0;
}

int send(const std::string &path, std::string message) {
    // A program that refuses the peer may close before the request is written: that is "not
    // answered", not a death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    if (message == "scan")
        message = std::string("scan\n/tmp\0\0", 11);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un where = address(path);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0)
        return 3;
    (void)!::write(fd, message.data(), message.size());
    ::shutdown(fd, SHUT_WR);
    std::string reply;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, size_t(got));
    std::fwrite(reply.data(), 1, reply.size(), stdout);
    return reply.empty() ? 4 : 0;
}

}  // namespace

int main(int argc, char *argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "listen" && argc > 4)
        return serve(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    if (mode == "send" && argc == 4)
        return send(argv[2], argv[3]);
    std::fprintf(stderr, "usage: socketpeer listen LOG ANSWER PATH... | send PATH MESSAGE\n");
    return 2;
}
