#include "platform/machine/wininit.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/machine/in_use.h"
#include "platform/paths/paths.h"

namespace fs = std::filesystem;

namespace korvane::platform {
namespace {

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    return s;
}
std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool ProcessOne(const MachineRoot& root, const RenameOperation& op, WininitResult& result) {
    std::error_code ec;
    const auto source = root.ToHost(op.source);
    if (!source || !fs::exists(*source, ec)) {
        result.failures.push_back("source missing: " + op.source);
        return false;
    }
    // At restart nothing runs, so files in use by now-ended programs are free; a
    // lock still held means the program survived the "restart" and we refuse.
    if (IsInUse(*source)) {
        result.failures.push_back("source in use: " + op.source);
        return false;
    }
    if (EqualsIgnoreCase(op.target, "NUL")) {
        if (!fs::remove(*source, ec) || ec) {
            result.failures.push_back("cannot delete " + op.source);
            return false;
        }
    } else {
        const auto target = root.ToHost(op.target);
        if (!target) {
            result.failures.push_back("target outside the machine: " + op.target);
            return false;
        }
        if (fs::exists(*target, ec)) {
            result.failures.push_back("target exists: " + op.target);
            return false;
        }
        fs::rename(*source, *target, ec);
        if (ec) {
            result.failures.push_back("cannot rename " + op.source + ": " + ec.message());
            return false;
        }
    }
    ++result.applied;
    return true;
}

}  // namespace

bool IsRenameSectionHeader(std::string_view line) noexcept {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line.size() >= 8 && EqualsIgnoreCase(line.substr(0, 8), "[rename]");
}

WininitPlan PlanWininit(std::string_view text) {
    WininitPlan plan;
    bool inRename = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(pos, next - pos);  // with its line end
        const std::string_view content = Trim(line);
        pos = next;
        if (!content.empty() && content.front() == '[') {
            inRename = IsRenameSectionHeader(content);
            plan.remainingText += line;
            continue;
        }
        if (!inRename) {
            plan.remainingText += line;
            continue;
        }
        const auto eq = content.find('=');
        if (eq == std::string_view::npos) continue;
        plan.operations.push_back({std::string(Trim(content.substr(0, eq))), std::string(Trim(content.substr(eq + 1)))});
    }
    return plan;
}

WininitResult ProcessWininit(const MachineRoot& root) {
    WininitResult result;
    std::error_code ec;
    // The Windows folder's file, whatever its letter case.
    fs::path actual;
    for (const auto& entry : fs::directory_iterator(root.WindowsDir(), ec))
        if (EqualsIgnoreCase(entry.path().filename().string(), "wininit.ini")) actual = entry.path();
    if (actual.empty()) return result;

    std::ifstream in(actual, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (!in && !in.eof()) {
        result.failures.push_back("cannot read " + actual.string());
        return result;
    }
    const WininitPlan plan = PlanWininit(buffer.str());

    std::vector<const RenameOperation*> failedOps;
    for (const auto& op : plan.operations) {
        if (!ProcessOne(root, op, result)) failedOps.push_back(&op);
    }

    // Operations that could not be done stay in the section for the next restart.
    std::string text = plan.remainingText;
    std::string kept;
    for (const auto& op : plan.operations)
        if (std::find(failedOps.begin(), failedOps.end(), &op) != failedOps.end()) kept += op.target + "=" + op.source + "\r\n";
    if (!kept.empty()) {
        std::size_t pos = 0;
        bool inserted = false;
        while (pos < text.size() && !inserted) {
            const auto nl = text.find('\n', pos);
            const std::size_t next = nl == std::string::npos ? text.size() : nl + 1;
            if (IsRenameSectionHeader(Trim(std::string_view(text).substr(pos, next - pos)))) {
                if (nl == std::string::npos) text += "\r\n";
                text.insert(nl == std::string::npos ? text.size() : next, kept);
                inserted = true;
            }
            pos = next;
        }
    }

    const fs::path temp = fs::path(actual) += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            result.failures.push_back("cannot write " + temp.string());
            fs::remove(temp, ec);
            return result;
        }
    }
    fs::rename(temp, actual, ec);
    if (ec) result.failures.push_back("cannot replace " + actual.string() + ": " + ec.message());
    return result;
}

}  // namespace korvane::platform
