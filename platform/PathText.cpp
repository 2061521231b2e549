#include "platform/PathText.h"

#include "core/Utf8.h"
#include "lang/MessageIds.h"

#include <cstdlib>

namespace pelmora {

namespace {

// A value that expands to text holding its own name would otherwise grow without end.
constexpr int kMaxExpansions = 256;
constexpr std::size_t kMaxExpandedLength = 64 * 1024;

} // namespace

std::string ExpandEnvVars(std::string_view text)
{
    std::string s(text);
    std::size_t remembered = std::string::npos;
    for (int expansions = 0; expansions < kMaxExpansions && s.size() <= kMaxExpandedLength; ++expansions) {
        const std::size_t first = s.find('%');
        if (first == std::string::npos || first == remembered)
            break;
        remembered = first;
        const std::size_t second = s.find('%', first + 1);
        if (second == std::string::npos)
            break;
        const std::string name = s.substr(first + 1, second - first - 1);
        s.erase(first, second - first + 1);
        if (name.empty())
            continue;
        const char* value = std::getenv(name.c_str());
        s.insert(first, value ? std::string(value) : "%" + name + "%");
    }
    return s;
}

std::string StripTrailingSeparator(std::string_view text)
{
    if (text.size() > 1 && text.back() == '/')
        text.remove_suffix(1);
    return std::string(text);
}

ExclusionEntry FolderExclusionEntry(std::string_view host, std::string_view mirror, std::string_view chosenText)
{
    // A typed trailing separator names the same folder; kept, the entry would match no
    // folder met by the scan.
    const std::string chosenFolder = StripTrailingSeparator(chosenText);
    const std::string_view chosen = chosenFolder;
    // The file-system root plays the part of a drive root: its separator stays on the
    // entry, so "/tmp" below "/" gives the entry "/tmp".
    auto prefixOf = [](std::string_view root) { return AsciiUpper(root == "/" ? std::string_view() : root); };
    const std::string hostPrefix = prefixOf(host);
    const std::string mirrorPrefix = prefixOf(mirror);
    const std::string folder = AsciiUpper(chosen);
    auto matches = [&](std::string_view root, const std::string& prefix) {
        return !root.empty() && folder.compare(0, prefix.size(), prefix) == 0;
    };

    std::size_t cut = 0;
    if (matches(host, hostPrefix))
        cut = hostPrefix.size();
    else if (matches(mirror, mirrorPrefix))
        cut = mirrorPrefix.size();
    else
        return {kMsgFolderOutsideRoots, {}};
    const std::string_view rest = chosen.substr(cut);
    if (rest.empty())
        return {kMsgCannotExcludeRoot, {}};
    if (rest.front() != '/')
        return {kMsgFolderOutsideRoots, {}};
    return {0, std::string(rest)};
}

} // namespace pelmora
