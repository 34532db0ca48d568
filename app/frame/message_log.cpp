#include "app/frame/message_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace korvane::app {

int MessageLogBoxes::FirstButton(std::uint32_t flags) noexcept {
    switch (flags & 0xF) {
        case platform::kMbAbortRetryIgnore: return platform::kIdAbort;
        case platform::kMbYesNoCancel:
        case platform::kMbYesNo: return platform::kIdYes;
        case platform::kMbRetryCancel: return platform::kIdRetry;
        default: return platform::kIdOk;
    }
}

int MessageLogBoxes::Show(std::string_view text, std::string_view caption, std::uint32_t flags) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(std::fopen(logFile_.c_str(), "a"), &std::fclose);
    if (!log) {
        throw std::runtime_error("cannot append to the message log " + logFile_.string() + ": " + std::strerror(errno));
    }
    const std::string record = std::string(caption) + "|" + std::to_string(flags) + "\n" + std::string(text) + "\n--\n";
    if (std::fwrite(record.data(), 1, record.size(), log.get()) != record.size() || std::fflush(log.get()) != 0) {
        throw std::runtime_error("cannot append to the message log " + logFile_.string());
    }
    return FirstButton(flags);
}

}  // namespace korvane::app
