#include "export/numbered_name.h"

namespace korvane::wavexport {

namespace {

std::string NumberAt(std::string_view path, std::string_view::size_type dot, int n) {
    const std::string number = std::to_string(n);
    if (dot == std::string_view::npos) return std::string(path) + number;
    std::string out;
    out.reserve(path.size() + number.size());
    out.append(path.substr(0, dot)).append(number).append(path.substr(dot));
    return out;
}

}  // namespace

std::string MakeNumberedName(std::string_view path, int n) { return NumberAt(path, path.rfind('.'), n); }

std::string MakeNumberedFileName(std::string_view path, int n) {
    const auto slash = path.rfind('/');
    const auto nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    return NumberAt(path, dot != std::string_view::npos && dot > nameStart ? dot : std::string_view::npos, n);
}

}  // namespace korvane::wavexport
