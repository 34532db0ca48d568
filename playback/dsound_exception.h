#pragma once
// DSoundException: a sound-output failure, thrown by value with one code.
//   4   opening the device failed (creating it, its primary buffer, or the primary format)
//   6   creating the streaming buffer or obtaining its notification interface failed
//   9   setting the notification positions or locking the streaming buffer failed
//   10  unlocking the streaming buffer failed
//   11  setting the play position to 0 failed
//   12  the device failed while streaming (starting the buffer, reading its position,
//       or waiting for its events); without this check a dead device would leave a
//       one-shot stream waiting for ever
// `result` keeps the layer's HRESULT for diagnostics (0 when there was none).
#include <cstdint>
#include <exception>

namespace korvane::playback {

class DSoundException : public std::exception {
public:
    static constexpr std::int32_t kOpenDevice = 4;
    static constexpr std::int32_t kCreateStreamBuffer = 6;
    static constexpr std::int32_t kLockStreamBuffer = 9;
    static constexpr std::int32_t kUnlockStreamBuffer = 10;
    static constexpr std::int32_t kSetPlayPosition = 11;
    static constexpr std::int32_t kDeviceFailed = 12;

    explicit DSoundException(std::int32_t code, std::int32_t result = 0) noexcept
        : code(code), result(result) {}

    const char* what() const noexcept override;

    std::int32_t code;
    std::int32_t result;
};

}  // namespace korvane::playback
