#include "platform/NetPath.h"

#include <charconv>

namespace pelmora {

namespace {

std::string AsciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// The text after the scheme's two separators, or npos when the path is not a network path.
std::size_t AuthorityStart(std::string_view path)
{
    if (path.size() >= 6 && AsciiLower(path.substr(0, 6)) == "smb://") {
        return 6;
    }
    if (path.starts_with("//")) {
        return 2;
    }
    return std::string_view::npos;
}

} // namespace

bool ParseNetPath(std::string_view path, NetPath& out)
{
    const std::size_t start = AuthorityStart(path);
    if (start == std::string_view::npos) {
        return false;
    }
    std::string_view rest = path.substr(start);

    const std::size_t serverEnd = rest.find('/');
    std::string_view authority = rest.substr(0, serverEnd);
    rest = serverEnd == std::string_view::npos ? std::string_view() : rest.substr(serverEnd + 1);

    NetPath parsed;
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value == 0 ||
            value > 65535) {
            return false;
        }
        parsed.port = static_cast<std::uint16_t>(value);
        authority = authority.substr(0, colon);
    }
    if (authority.empty()) {
        return false;
    }
    parsed.server = std::string(authority);

    // Components below the server; empty ones (doubled separators) and "." are dropped.
    bool first = true;
    while (!rest.empty()) {
        const std::size_t sep = rest.find('/');
        const std::string_view part = rest.substr(0, sep);
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return false;
        }
        if (first) {
            parsed.share = std::string(part);
            first = false;
        } else {
            parsed.subPath += '/';
            parsed.subPath += part;
        }
    }
    if (parsed.share.empty()) {
        return false;
    }
    out = std::move(parsed);
    return true;
}

std::string NetRemoteName(std::string_view path)
{
    int seen = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' && ++seen == 4) {
            return std::string(path.substr(0, i));
        }
    }
    return std::string(path);
}

std::string NetShareKey(const NetPath& path)
{
    return AsciiLower(path.server) + ':' + std::to_string(path.port) + '/' + AsciiLower(path.share);
}

std::string UrlEncodeComponent(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string SmbUrl(const NetPath& path)
{
    std::string url = "smb://" + UrlEncodeComponent(path.server);
    if (path.port != 0) {
        url += ':' + std::to_string(path.port);
    }
    url += '/';
    url += UrlEncodeComponent(path.share);
    std::string_view rest = path.subPath;
    while (!rest.empty()) {
        rest.remove_prefix(1); // the separator
        const std::size_t sep = rest.find('/');
        url += '/';
        url += UrlEncodeComponent(rest.substr(0, sep));
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep);
    }
    return url;
}

} // namespace pelmora
