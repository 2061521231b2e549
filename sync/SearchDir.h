#pragma once
// TSearchDir: the recursive folder search that a run lists each side with. It asks before it
// takes an item, reports folders after their contents (post-order) with the byte total taken
// beneath them, and tells which folder it is searching. A search runs on one thread: the UI
// thread, or the mirror listing's worker with a search of its own.

#include "platform/FileSystem.h"
#include "sync/Mask.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

enum TSearchDirType : std::uint8_t {
    stBoth, // files and folders
    stFile, // files only
    stDir,  // folders only
};

enum TFoundItemType : std::uint8_t {
    itFolder = 0,
    itFile = 1,
};

enum TSearchOperation : std::uint8_t {
    soTake = 0, // take the item
    soSkip = 1, // skip it: a skipped folder is neither entered nor reported
    soStop = 2, // stop the whole search
};

// Attribute bits of the Attr word passed to OnFoundItem.
inline constexpr std::uint32_t faReadOnly = 1; // owner write bit clear
inline constexpr std::uint32_t faHidden = 2;   // name begins with "."
inline constexpr std::uint32_t faSystem = 4;   // never set on this platform
inline constexpr std::uint32_t faDirectory = 16;
inline constexpr std::uint32_t faArchive = 32; // every regular file

// What OnUnlisted reports.
enum class TUnlistedKind : std::uint8_t {
    FolderNotListed, // a folder (or the root) whose entries could not be read
    EntryNotRead,    // an entry whose type or attributes could not be read
    NotFileOrFolder, // a link to a folder, a dangling link, a FIFO, socket or device
};

class TSearchDir
{
public:
    // Item is the full path; ItemSize may be changed by the receiver; Age is the packed local
    // last-write time.
    using TFoundItemNotify = std::function<void(TSearchDir& Sender, TFoundItemType ItemType, std::string_view Item,
                                                std::int64_t& ItemSize, std::uint32_t Age, std::uint32_t Attr)>;
    using TAskOperation = std::function<void(TSearchDir& Sender, TFoundItemType ItemType, std::string_view Item,
                                             TSearchOperation& Operation)>;
    using TSearchingNotify = std::function<void(TSearchDir& Sender, std::string_view Directory)>;
    using TNotifyEvent = std::function<void(TSearchDir& Sender)>;
    // Item is the full path of something the search could not look into (Kind says what) and
    // Error its errno (0 for an entry that was read but is neither a file nor a folder).
    using TUnlistedNotify =
        std::function<void(TSearchDir& Sender, TUnlistedKind Kind, std::string_view Item, int Error)>;
    // Item is the full path of a temporary file of a copy (platform/PartialFiles.h), which the
    // search never takes.
    using TPartialNotify = std::function<void(TSearchDir& Sender, std::string_view Item)>;

    std::string Root;
    std::string Mask = "*.*";
    bool IntoSubDir = false;
    TSearchDirType SearchType = stBoth;
    TAskOperation OnEnquiryOperation;
    TFoundItemNotify OnFoundItem;
    TNotifyEvent OnSearchEnd;
    TSearchingNotify OnProgress;
    int ProgressInterval = 16;
    // Told of every folder or entry whose contents stay unknown, so that a run can leave the
    // other side's files of the same paths alone.
    TUnlistedNotify OnUnlisted;
    // Told of every temporary file of a copy found, so that a run can clear away leftovers.
    TPartialNotify OnPartialFile;

    // The file system to search; nullptr (the default) takes FileSystemFor(Root).
    FileSystem* FS = nullptr;

    // Searches Root when it is non-empty and names an existing folder, fires OnSearchEnd and
    // returns the byte total of the files taken; otherwise returns 0 and fires nothing but
    // OnUnlisted, for a root that could not be looked at (an error other than "missing").
    // Throws EMaskError when Mask is not a valid mask. Folders that cannot be read contribute
    // nothing and do not stop the search.
    std::int64_t Execute();

    // What the listing read of the item being asked about or reported (type, size, time,
    // mode, device and inode); valid only inside OnEnquiryOperation and OnFoundItem.
    const FileStat& ItemStat() const { return *m_itemStat; }

private:
    std::int64_t search(const std::string& folder);
    bool passes(std::string_view name) const { return m_matchAll || m_mask->Matches(name); }

    FileSystem* m_fs = nullptr;
    bool m_matchAll = true;
    std::optional<TMask> m_mask;
    int m_depth = -1;
    int m_tick = 0;
    TSearchOperation m_operation = soTake;
    std::int64_t m_itemSize = 0;
    const FileStat* m_itemStat = nullptr;
};

// True when path names an existing folder, also through a link to one (the test is made with
// a trailing separator, which makes the system resolve the link). False on any error.
bool IsExistingFolder(FileSystem& fs, std::string_view path);

// The Attr word for an entry: read-only when the owner write bit is clear, hidden for a name
// beginning with ".", folder or archive by type.
std::uint32_t AttrOf(std::string_view name, const FileStat& stat);

} // namespace pelmora
