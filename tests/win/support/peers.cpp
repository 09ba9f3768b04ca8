#include "tests/win/support/peers.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "tests/win/support/scratch_dir.h"

int PeerPort(const char* variable) {
    char text[32] = {};
    const DWORD length = GetEnvironmentVariableA(variable, text, sizeof text);
    if (length == 0 || length >= sizeof text) return 0;
    return std::atoi(text);
}

std::string PeerScratch() {
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("NIMBREL_PEER_SCRATCH", path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    return WinePath(path);
}

std::string LoopbackUrl(int port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string PeerGet(int port, const std::string& target) {
    std::string reply;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return {};
    const SOCKET peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (peer != INVALID_SOCKET && connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
        send(peer, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        for (int got; (got = recv(peer, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, static_cast<size_t>(got));
    }
    if (peer != INVALID_SOCKET) closesocket(peer);
    WSACleanup();
    const size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

std::vector<std::string> RequestLines(const std::string& heads) {
    std::vector<std::string> lines;
    for (size_t at = heads.find("GET "); at != std::string::npos; at = heads.find("\r\nGET ", at + 1)) {
        if (heads.compare(at, 2, "\r\n") == 0) at += 2;
        lines.push_back(heads.substr(at, heads.find("\r\n", at) - at));
    }
    return lines;
}

std::vector<std::string> PeerRequests(int port) { return RequestLines(PeerGet(port, "/_log?clear=1")); }

int UnusedLoopbackPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int port = 0;
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (probe != INVALID_SOCKET && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    if (probe != INVALID_SOCKET) closesocket(probe);
    WSACleanup();
    return port;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
    const DWORD length = GetEnvironmentVariableA(name, nullptr, 0);
    hadValue_ = length != 0;
    if (hadValue_) {
        std::vector<char> text(length);
        GetEnvironmentVariableA(name, text.data(), length);
        previous_ = text.data();
    }
    SetEnvironmentVariableA(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableA(name_.c_str(), hadValue_ ? previous_.c_str() : nullptr);
}
