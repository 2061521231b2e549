#pragma once
// Network paths: "//server/share/sub/folder", "smb://server/share/..." and an optional port
// ("//server:4450/share"). Splits them into server, share and the path below the share, and
// builds the URLs that the SMB client library takes. Pure functions, any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmora {

struct NetPath
{
    std::string server;
    std::uint16_t port = 0; // 0: the default SMB port
    std::string share;
    std::string subPath; // below the share: "" or "/a/b", without a trailing separator
};

// Splits a network path. Returns false when the text is not one ("//" or "smb://" missing),
// when the server or the share is empty, when the port is not 1-65535, or when a component
// below the share is "..", which would climb out of the share.
bool ParseNetPath(std::string_view path, NetPath& out);

// The remote name of a network path: the text up to, not including, its fourth separator,
// which leaves the leading separators, the server and the share; the whole text when it has
// fewer than four separators.
std::string NetRemoteName(std::string_view path);

// Identifies the share of a parsed path regardless of how it was written: ASCII-lower-case
// "server:port/share" (port 0 when none was given).
std::string NetShareKey(const NetPath& path);

// Percent-encodes every byte except the unreserved URL characters, so that spaces, '#', '%',
// '?', ';' and non-ASCII letters reach the server as written.
std::string UrlEncodeComponent(std::string_view text);

// "smb://server[:port]/share/sub/..." with every component encoded.
std::string SmbUrl(const NetPath& path);

} // namespace pelmora
