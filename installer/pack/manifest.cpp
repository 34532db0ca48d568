#include "installer/pack/manifest.h"

#include <cctype>
#include <charconv>
#include <set>

namespace korvane::installer {
namespace {

struct Kind {
    std::string_view keyword, prefix;
    std::uint32_t nameBase, folderBase;
};
constexpr Kind kKinds[] = {
    {"APPFILE", "IDT_APPFILE_", 40000, 47000},
    {"SYSFILE", "IDT_SYSFILE_", 41000, 44000},
    {"SELFREGSYS", "IDT_SELFREGSYS_", 42000, 45000},
    {"SELFREG_CUSTOM", "IDT_SELFREG_CUSTOM_", 43000, 46000},
};

// Splits off the next blank-separated field; the rest keeps its inner blanks.
std::string_view NextField(std::string_view& rest) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    const auto end = rest.find_first_of(" \t");
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return field;
}
std::string_view RestOfLine(std::string_view rest) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r')) rest.remove_suffix(1);
    return rest;
}

}  // namespace

std::string ToCrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<Manifest> ParseManifest(std::string_view text, std::string* error) {
    Manifest manifest;
    std::map<std::string_view, int> perKind;
    std::set<std::string> names;
    int lineNumber = 0;
    const auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return std::nullopt;
    };
    const auto addString = [&](std::uint32_t id, std::string value) {
        return manifest.strings.emplace(id, std::move(value)).second;
    };
    const auto addResource = [&](ManifestResource r) {
        std::string key = r.type + "/" + r.name;
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!names.insert(key).second) return false;
        manifest.resources.push_back(std::move(r));
        return true;
    };

    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        ++lineNumber;
        std::string_view rest = line;
        const std::string_view keyword = NextField(rest);
        if (keyword.empty() || keyword.front() == '#') continue;

        if (keyword == "string") {
            const std::string_view idText = NextField(rest);
            std::uint32_t id = 0;
            const auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
            if (idText.empty() || ec != std::errc() || end != idText.data() + idText.size())
                return fail("bad string id '" + std::string(idText) + "'");
            if (!addString(id, std::string(RestOfLine(rest)))) return fail("string " + std::to_string(id) + " given twice");
            continue;
        }
        if (keyword == "resource") {
            ManifestResource r;
            r.type = NextField(rest);
            r.name = NextField(rest);
            r.sourcePath = RestOfLine(rest);
            if (r.type.empty() || r.name.empty() || r.sourcePath.empty()) return fail("resource needs type, name and path");
            if (!addResource(std::move(r))) return fail("resource given twice");
            continue;
        }
        if (keyword == "UNINST" || keyword == "LICENSE") {
            ManifestResource r{"INSTFILE", keyword == "UNINST" ? "IDT_APPFILE_UNINST" : "IDT_LICENSE_TXT",
                               std::string(RestOfLine(rest)), keyword == "LICENSE"};
            if (r.sourcePath.empty()) return fail(std::string(keyword) + " needs a path");
            if (!addResource(std::move(r))) return fail("resource given twice");
            continue;
        }
        const Kind* kind = nullptr;
        for (const auto& k : kKinds)
            if (k.keyword == keyword) kind = &k;
        if (kind == nullptr) return fail("unknown entry '" + std::string(keyword) + "'");
        const std::string_view target = NextField(rest);
        const std::string_view folder = NextField(rest);
        const std::string_view source = RestOfLine(rest);
        if (target.empty() || folder.empty() || source.empty()) return fail("needs target name, folder and path");
        const int k = perKind[kind->keyword]++;
        if (k >= 15) return fail("more than 15 files of kind " + std::string(keyword));
        ManifestResource r{"INSTFILE", std::string(kind->prefix) + std::to_string(k + 1), std::string(source), false};
        if (!addResource(std::move(r))) return fail("resource given twice");
        if (!addString(kind->nameBase + k, std::string(target)) || !addString(kind->folderBase + k, std::string(folder)))
            return fail("string entry of this file given twice");
    }
    return manifest;
}

}  // namespace korvane::installer
