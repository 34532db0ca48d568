#include "platform/registry/registry_export.h"

#include <cstdio>

namespace korvane::platform {
namespace {

const char* RootName(RootKey root) noexcept {
    switch (root) {
        case RootKey::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case RootKey::CurrentUser: return "HKEY_CURRENT_USER";
        case RootKey::Users: return "HKEY_USERS";
    }
    return "?";
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void AppendValue(std::string& out, const RegValue& value) {
    char buffer[16];
    if (auto text = value.AsString()) {
        AppendQuoted(out, *text);
    } else if (auto dword = value.AsDword()) {
        std::snprintf(buffer, sizeof buffer, "dword:%08x", *dword);
        out += buffer;
    } else {
        // REG_BINARY, and a DWORD of the wrong size, which only hex can show faithfully.
        out += value.type == ValueType::Binary ? "hex:" : "hex(4):";
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", value.data[i]);
            out += buffer;
        }
    }
}

void ExportKey(RegistryStore& store, RootKey root, const std::string& path, std::string& out) {
    out += '[';
    out += RootName(root);
    if (!path.empty()) (out += '\\') += path;
    out += "]\n";
    for (const std::string& name : store.EnumValueNames(root, path)) {
        const auto value = store.QueryValue(root, path, name);
        if (!value) continue;
        if (name.empty()) out += '@';
        else AppendQuoted(out, name);
        out += '=';
        AppendValue(out, *value);
        out += '\n';
    }
    for (const std::string& subkey : store.EnumSubkeys(root, path))
        ExportKey(store, root, path.empty() ? subkey : path + '\\' + subkey, out);
}

}  // namespace

std::string ExportTree(RegistryStore& store, RootKey root, std::string_view path) {
    std::string out;
    if (!store.KeyExists(root, path)) return out;
    std::string start(path);
    if (!start.empty() && start.back() == '\\') start.pop_back();
    ExportKey(store, root, start, out);
    return out;
}

}  // namespace korvane::platform
