#pragma once

#include <chrono>
#include <string>

namespace scanner {

// Where clamd listens: a local socket path, or "host:port" over TCP.
struct ClamdAddress {
    std::string text;  // as given on the command line, for messages
    bool local = true;
    std::string path;  // local socket
    std::string host;  // TCP
    std::string port;

    static ClamdAddress parse(const std::string &text);
};

// One clamd IDSESSION connection. Every request gets the next id (from 1, as clamd numbers
// them); replies come back in any order as "<id>: <reply>".
class ClamdConnection {
public:
    explicit ClamdConnection(const ClamdAddress &address, int timeoutSeconds)
        : m_address(address), m_timeoutSeconds(timeoutSeconds) {}
    ~ClamdConnection() { close(); }
    ClamdConnection(const ClamdConnection &) = delete;
    ClamdConnection &operator=(const ClamdConnection &) = delete;

    // Connects and starts a session. False when clamd cannot be reached.
    bool open();
    void close();
    bool isOpen() const { return m_socket >= 0; }
    // True once a local socket was refused because another user's process listens on it.
    bool untrusted() const { return m_untrusted; }

    // Sends the file behind fd for scanning: its descriptor on a local socket, its bytes
    // (from the start) over TCP. Returns the request's id, 0 when the connection failed.
    unsigned sendFile(int fd);

    enum class ReadResult { Line, Closed, TimedOut };
    // Waits up to the time-out (running time) for the next whole reply line.
    ReadResult readReply(std::string *line);

private:
    void limitSendTime();
    bool sendAll(const char *data, size_t size);
    bool sendStream(int fd);
    bool sendDescriptor(int fd);

    const ClamdAddress m_address;
    const int m_timeoutSeconds;
    int m_socket = -1;
    bool m_untrusted = false;
    unsigned m_nextId = 1;
    std::chrono::steady_clock::duration m_waited{};  // running time spent on the next reply
    std::string m_buffer;                            // received bytes not yet returned as a line
};

// One reply of clamd, split: "<id>: <subject>: <result>".
struct ClamdReply {
    enum class Kind { Ok, Found, Error, SizeLimit };
    unsigned id = 0;
    Kind kind = Kind::Error;
    std::string text;  // the signature name of Found, the message of Error and SizeLimit

    // False for anything that is not a reply to a scan request.
    static bool parse(const std::string &line, ClamdReply *reply);
};

}  // namespace scanner
