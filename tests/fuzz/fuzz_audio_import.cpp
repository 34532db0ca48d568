// Any bytes as an audio file to import: decoded and converted to CD audio, or refused
// with a reason; the converter never writes more frames than it announced.
#include "platform/riff/file_io.h"
#include "track/audio_import.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    const std::vector<std::byte> bytes(reinterpret_cast<const std::byte*>(data),
                                       reinterpret_cast<const std::byte*>(data) + size);
    track::ImportIo io;
    io.openSource = [&](const std::filesystem::path&) { return std::make_unique<platform::MemorySource>(bytes); };
    std::uint64_t announced = 0, received = 0;
    track::CdAudioSink sink{[&](std::uint64_t frames) {
                                // A tiny file at 1 Hz is minutes of CD audio: correct, but slow
                                // to convert; the decoders and the set-up are what is under test.
                                if (frames > 44'100 * 10) throw std::length_error("longer than the fuzzer converts");
                                announced = frames;
                            },
                            [&](std::span<const std::int16_t> stereo) {
                                received += stereo.size() / 2;
                                if (received > announced) __builtin_trap();
                            }};
    const auto outcome = track::ConvertAudioFile("fuzz.wav", sink, io);
    if (!outcome.Ok()) (void)track::ImportMessage(outcome, "fuzz.wav");
    return 0;
}
