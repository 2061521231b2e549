#pragma once
// The freedesktop.org desktop trash, for local files: a file is
// moved, never copied, into the trash of its own file system (the home trash under
// $XDG_DATA_HOME when it lives there, else $topdir/.Trash/$uid or $topdir/.Trash-$uid of its
// mount), with a .trashinfo file written first. Works on open folder descriptors, so that the
// file systems that resolve paths from a root's handle keep doing so. One thread at a time.

#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// A file moved into the trash, as far as putting it back needs to know.
struct TrashedFile
{
    int filesFd = -1; // the trash's files/ folder (owned by the DesktopTrash)
    int infoFd = -1;  // its info/ folder
    std::string name; // the name in files/ (the .trashinfo is this name + ".trashinfo")
};

class DesktopTrash
{
public:
    DesktopTrash() = default;
    ~DesktopTrash();
    DesktopTrash(const DesktopTrash&) = delete;
    DesktopTrash& operator=(const DesktopTrash&) = delete;

    // Moves the entry `name` of the open folder `dirFd` (a link is moved as the link, a folder
    // never: EISDIR) into the trash. `out`, when given, tells where it went. Returns 0, ENOENT when no such entry
    // exists, EXDEV when no trash on the entry's own mount can be used (it is never copied), or
    // the errno of the step that failed (EROFS on a read-only mount); nothing is moved then.
    int Move(int dirFd, const char* name, TrashedFile* out = nullptr);
    // Puts a file just moved back as `name` in `dirFd` (never over an existing entry) and
    // removes its .trashinfo. Returns 0 or errno.
    int PutBack(const TrashedFile& trashed, int dirFd, const char* name);

private:
    struct Place
    {
        std::uint64_t device = 0;
        std::uint64_t mount = 0; // the mount's id where the kernel tells, else 0
        std::string home;        // the home trash's path; empty for a mount's own trash
        int filesFd = -1;
        int infoFd = -1;
    };
    // The trash for an entry on `device`/`mount` reached from `dirFd`: the home trash, else the
    // mount's own. `skipHome` passes over the home trash (a rename into it crossed mounts).
    // Returns 0 and the place, or errno.
    int placeFor(int dirFd, std::uint64_t device, std::uint64_t mount, bool skipHome, Place*& out);
    int homePlace(std::uint64_t device, Place*& out);
    int mountPlace(int dirFd, std::uint64_t device, std::uint64_t mount, Place*& out);
    void forget(Place* place);

    std::vector<Place*> m_places;
};

// renameat that never replaces an existing `to` (EEXIST instead). 0 or errno.
int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to);
// Renames `from` (in `fromDir`) to `to` (in `toDir`); an entry already at `to` goes into the
// trash first and comes back should the rename fail. A folder at `to` is never trashed
// (EISDIR). Returns 0 or errno; outcome.TrashError is set when the old entry could not be
// trashed (then nothing was changed), outcome.Trashed when it was.
int ReplaceKeepingOld(DesktopTrash& trash, int fromDir, const char* from, int toDir, const char* to,
                      TrashOutcome& outcome);

// The absolute path of `name` in the open folder `dirFd`, as the .trashinfo file records it.
std::string TrashedPathOf(int dirFd, std::string_view name);
// A path in the percent-encoded form of a .trashinfo's Path= line: every byte except the
// letters, digits, "-._~" and "/" becomes %XX.
std::string EncodeTrashPath(std::string_view path);
// The home trash folder: $XDG_DATA_HOME/Trash, with ~/.local/share for an unset, empty or
// relative $XDG_DATA_HOME.
std::string HomeTrashFolder();

} // namespace pelmora
