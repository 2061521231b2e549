#pragma once
// Folder paths as the user types them into a task: environment names between percent signs,
// a trailing separator, and the relative entries of a task's folder list. Pure functions
// except for reading the process environment; any thread.

#include <string>
#include <string_view>

namespace pelmora {

// Replaces environment names written between percent signs by their values (getenv). A name
// the environment does not know stays as written, and so does everything after it; a lone
// percent sign stays; two adjacent percent signs vanish. A value that names itself stops
// expanding after a bounded number of rounds.
std::string ExpandEnvVars(std::string_view text);

// Removes one trailing '/' when the text is longer than one character, so that "/" stays the
// file-system root.
std::string StripTrailingSeparator(std::string_view text);

// The folder-list entry for the folder `chosen`, relative to the host or the mirror root as
// the editor shows them (host first; letters a-z compare without case). On success `message`
// is 0 and `entry` begins with '/'; otherwise `message` names the refusal:
// kMsgFolderOutsideRoots (in neither root) or kMsgCannotExcludeRoot (a root itself).
struct ExclusionEntry
{
    int message = 0;
    std::string entry;
};
ExclusionEntry FolderExclusionEntry(std::string_view host, std::string_view mirror, std::string_view chosen);

} // namespace pelmora
