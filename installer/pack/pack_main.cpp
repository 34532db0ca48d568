// korvane-pack <program> <manifest> <output>: writes <output> as a copy of <program> with
// the manifest's resources appended (see platform/resources/resources.h), through a
// temporary and a rename, and marks it executable.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "installer/pack/manifest.h"
#include "installer/pack/payload_sums.h"
#include "platform/resources/resources.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::vector<std::uint8_t>> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: korvane-pack <program> <manifest> <output>\n";
        return 2;
    }
    const fs::path program = argv[1], manifestPath = argv[2], output = argv[3];
    const auto manifestBytes = ReadFile(manifestPath);
    if (!manifestBytes) {
        std::cerr << "korvane-pack: cannot read " << manifestPath << "\n";
        return 1;
    }
    std::string error;
    const auto manifest = korvane::installer::ParseManifest(
        std::string_view(reinterpret_cast<const char*>(manifestBytes->data()), manifestBytes->size()), &error);
    if (!manifest) {
        std::cerr << "korvane-pack: " << manifestPath.string() << ": " << error << "\n";
        return 1;
    }
    std::vector<korvane::platform::ResourceEntry> resources;
    for (const auto& r : manifest->resources) {
        auto data = ReadFile(r.sourcePath);
        if (!data) {
            std::cerr << "korvane-pack: cannot read " << r.sourcePath << " (" << r.name << ")\n";
            return 1;
        }
        if (r.crlfText) {
            const std::string text = korvane::installer::ToCrLf(std::string_view(
                reinterpret_cast<const char*>(data->data()), data->size()));
            data->assign(text.begin(), text.end());
        }
        resources.push_back({r.type, r.name, std::move(*data)});
    }
    auto image = ReadFile(program);
    if (!image) {
        std::cerr << "korvane-pack: cannot read " << program << "\n";
        return 1;
    }
    resources.push_back(korvane::installer::PayloadSumsResource(resources));
    const auto blob = korvane::platform::EncodeResourceBlob(resources, manifest->strings);
    image->insert(image->end(), blob.begin(), blob.end());
    const std::uint64_t blobSize = blob.size();
    for (int i = 0; i < 8; ++i) image->push_back(static_cast<std::uint8_t>(blobSize >> (8 * i)));
    image->insert(image->end(), std::begin(korvane::platform::kResourceTrailerMagic),
                  std::end(korvane::platform::kResourceTrailerMagic));

    fs::path temp = output;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image->data()), static_cast<std::streamsize>(image->size()));
        out.flush();
        if (!out) {
            std::cerr << "korvane-pack: cannot write " << temp << "\n";
            std::error_code ec;
            fs::remove(temp, ec);
            return 1;
        }
    }
    std::error_code ec;
    fs::permissions(temp, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec, ec);
    fs::rename(temp, output, ec);
    if (ec) {
        std::cerr << "korvane-pack: cannot create " << output << ": " << ec.message() << "\n";
        fs::remove(temp, ec);
        return 1;
    }
    return 0;
}
