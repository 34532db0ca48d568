#include "export/numbered_name.h"

namespace korvane::wavexport {

std::string MakeNumberedName(std::string_view path, int n, int width) {
    std::string number = std::to_string(n);
    if (number.size() < static_cast<std::size_t>(width)) number.insert(0, width - number.size(), '0');
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos) return std::string(path) + number;
    std::string out;
    out.reserve(path.size() + number.size());
    out.append(path.substr(0, dot)).append(number).append(path.substr(dot));
    return out;
}

}  // namespace korvane::wavexport
