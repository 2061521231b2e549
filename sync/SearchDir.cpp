#include "sync/SearchDir.h"

#include "core/DateTime.h"
#include "platform/PartialFiles.h"

#include <cerrno>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace pelmora {

namespace {

// One folder's entries, copied out of the listing before any of them is handled: the folder
// is closed again before the search descends, so a deep tree never holds one open descriptor
// and one read buffer per level.
struct Entries
{
    struct Item
    {
        std::uint32_t nameOffset;
        std::uint32_t nameLength;
        FileStat stat;
    };
    std::string names;
    std::vector<Item> items;

    std::string_view name(const Item& item) const { return {names.data() + item.nameOffset, item.nameLength}; }
};

} // namespace

std::uint32_t AttrOf(std::string_view name, const FileStat& stat)
{
    std::uint32_t attr = stat.type == EntryType::Dir ? faDirectory : faArchive;
    if ((stat.mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    if (!name.empty() && name[0] == '.')
        attr |= faHidden;
    return attr;
}

bool IsExistingFolder(FileSystem& fs, std::string_view path)
{
    if (path.empty())
        return false;
    std::string probe(path);
    if (probe.back() != '/')
        probe.push_back('/');
    FileStat st;
    return fs.Stat(probe, st) == 0 && st.type == EntryType::Dir;
}

std::int64_t TSearchDir::Execute()
{
    if (Root.empty())
        return 0;
    m_fs = FS ? FS : &FileSystemFor(Root);
    if (!IsExistingFolder(*m_fs, Root)) {
        // A root that could not even be looked at is not a missing one: its files are unknown.
        std::string probe = Root;
        if (probe.back() != '/')
            probe.push_back('/');
        FileStat st;
        const int rc = m_fs->Stat(probe, st);
        if (rc != 0 && rc != ENOENT && rc != ENOTDIR && OnUnlisted)
            OnUnlisted(*this, TUnlistedKind::FolderNotListed, Root, rc);
        return 0;
    }
    m_matchAll = Mask == "*.*";
    if (m_matchAll)
        m_mask.reset();
    else
        m_mask.emplace(Mask);
    m_depth = -1;
    m_operation = soTake;
    const std::int64_t total = search(Root);
    if (OnSearchEnd)
        OnSearchEnd(*this);
    return total;
}

std::int64_t TSearchDir::search(const std::string& folder)
{
    if (OnProgress) {
        OnProgress(*this, folder);
        m_tick = 0;
    }
    ++m_depth;

    std::string base = folder;
    if (base.empty() || base.back() != '/')
        base.push_back('/');

    Entries entries;
    bool first = true;
    // Entries whose type could not be read: each is reported, unless no entry of the folder
    // could be read (a folder that may be read but not searched), which is one place.
    std::vector<std::pair<std::string, int>> unread;
    int seen = 0;
    // A listing error ends this folder with what was read so far.
    const int listed = m_fs->ListDir(base, [&](const DirEntry& e) {
        if (!first && OnProgress && ProgressInterval > 0) {
            m_tick = (m_tick + 1) % ProgressInterval;
            if (m_tick == 0)
                OnProgress(*this, folder);
        }
        first = false;
        ++seen;
        if (e.error != 0) {
            unread.emplace_back(base + std::string(e.name), e.error);
            return true;
        }
        if (e.stat.type == EntryType::Other) {
            if (OnUnlisted)
                OnUnlisted(*this, TUnlistedKind::NotFileOrFolder, base + std::string(e.name), 0);
            return true;
        }
        if (e.stat.type == EntryType::File && IsPartialFileName(e.name)) {
            if (OnPartialFile) {
                std::string item = base;
                item.append(e.name);
                OnPartialFile(*this, item);
            }
            return true;
        }
        entries.items.push_back(
            {static_cast<std::uint32_t>(entries.names.size()), static_cast<std::uint32_t>(e.name.size()), e.stat});
        entries.names.append(e.name);
        return true;
    });
    if (OnUnlisted) {
        if (listed != 0)
            OnUnlisted(*this, TUnlistedKind::FolderNotListed, folder, listed);
        else if (!unread.empty() && unread.size() == static_cast<std::size_t>(seen))
            OnUnlisted(*this, TUnlistedKind::FolderNotListed, folder, unread.front().second);
        else
            for (const auto& [item, error] : unread)
                OnUnlisted(*this, TUnlistedKind::EntryNotRead, item, error);
    }

    std::int64_t total = 0;
    std::string path = base;
    for (const Entries::Item& item : entries.items) {
        const std::string_view name = entries.name(item);
        path.resize(base.size());
        path.append(name);
        const bool pass = passes(name);
        m_itemStat = &item.stat;
        if (item.stat.type == EntryType::Dir) {
            m_itemSize = 0;
            m_operation = soTake;
            if (OnEnquiryOperation && pass)
                OnEnquiryOperation(*this, itFolder, path, m_operation);
            if (IntoSubDir && m_operation == soTake) {
                const std::string sub = path;
                m_itemSize = search(sub);
                m_itemStat = &item.stat;
            }
            if (m_operation == soStop)
                break;
            if (m_operation == soTake) {
                if (OnFoundItem && SearchType != stFile && pass)
                    OnFoundItem(*this, itFolder, path, m_itemSize, UnixToDos(item.stat.mtimeSec),
                                AttrOf(name, item.stat));
                total += m_itemSize;
            }
        } else if (SearchType != stDir) {
            m_operation = soTake;
            if (OnEnquiryOperation && pass) {
                OnEnquiryOperation(*this, itFile, path, m_operation);
                if (m_operation == soStop)
                    break;
            }
            if (m_operation == soTake) {
                m_itemSize = item.stat.size;
                if (OnFoundItem && pass)
                    OnFoundItem(*this, itFile, path, m_itemSize, UnixToDos(item.stat.mtimeSec),
                                AttrOf(name, item.stat));
                total += m_itemSize;
            }
        }
    }

    if (m_operation == soSkip)
        m_operation = soTake;
    --m_depth;
    return total;
}

} // namespace pelmora
