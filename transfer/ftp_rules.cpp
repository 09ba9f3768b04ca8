#include "transfer/ftp_rules.h"

#include <cctype>
#include <limits>

uint32_t ThrottleDelay(uint32_t elapsedMs, uint64_t done, double limit) {
    if (!(limit > 0.0) || elapsedMs == 0 || done == 0) return 0;
    const double rate = static_cast<double>(done) / elapsedMs;
    if (rate <= limit) return 0;
    const double wait = elapsedMs * rate / limit - elapsedMs;
    // Sleep(0xFFFFFFFF) would never return.
    constexpr double kLongest = std::numeric_limits<uint32_t>::max() - 1.0;
    return wait >= kLongest ? static_cast<uint32_t>(kLongest) : static_cast<uint32_t>(wait);
}

std::optional<int> FtpReplyCode(std::string_view reply) {
    if (reply.size() < 3) return std::nullopt;
    int code = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(reply[i]))) return std::nullopt;
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

bool IsFailureReply(std::string_view reply) {
    const auto code = FtpReplyCode(reply);
    return code && *code >= 400 && *code <= 599;
}

bool DownloadEndedEarly(bool binary, std::optional<uint64_t> remoteSize, uint64_t resumeOffset,
                        uint64_t received) {
    return binary && remoteSize && resumeOffset + received < *remoteSize;
}
