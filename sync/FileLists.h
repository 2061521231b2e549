#pragma once
// The run's four lists: the files found on the host and mirror sides (TMFileInfoRec entries
// carrying the planned operation) and the folders found on each side with their byte totals.
// Owned by the run driver for the life of its window; used on the UI thread only, except for
// the mirror lists that a listing thread fills alone before it hands them over.

#include "core/SyncTask.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pelmora {

// Operation codes held in TMFileInfoRec::Op. 0..3 are the task's action codes; 4..6 are
// 1..3 deselected in the preview.
enum TFileOp : std::uint8_t {
    opNone = 0,
    opDelete = 1,
    opHostToMirror = 2,
    opMirrorToHost = 3,
    opDeleteOff = 4,
    opHostToMirrorOff = 5,
    opMirrorToHostOff = 6
};
static_assert(sizeof(TFileOp) == 1 && alignof(TFileOp) == 1);

// The operation that carries out a task action code: the same number (acIgnore is opNone).
// A code above acMirrorToHost is kept as it is.
inline TFileOp ToFileOp(TAction action)
{
    return static_cast<TFileOp>(action);
}

// The name comparison used for every file and folder lookup: bytes, with only the ASCII
// letters a-z folded to A-Z; the first differing byte decides by its unsigned value, and a
// prefix sorts first. Returns <0, 0 or >0.
int CompareNames(std::string_view a, std::string_view b);
inline bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareNames(a, b) == 0;
}
// ASCII-only upper-casing of one byte; every other byte is returned unchanged.
inline char FoldAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

class TRecordArena;

// One file found during a run. The record and its path text live in one allocation (a run
// may hold millions of them), so it is made only through Create and freed through Free.
struct TMFileInfoRec
{
    std::int64_t Size = 0; // bytes as found; -1 when a file named in file type could not be opened
    std::uint32_t Age = 0; // last write, local time, packed DOS date-time
    TFileOp Op = opNone;   // planned operation (opNone ... opMirrorToHostOff)

    // The path relative to the side's root, beginning with "/" (for example "/docs/a.txt").
    std::string_view RelPath() const { return {pathText(), m_pathLen}; }
    // Root + relative path, ready to hand to the file system.
    std::string FullPath(std::string_view root) const;
    // HashName of the path, computed once when the record is made.
    std::uint32_t PathHash() const { return m_pathHash; }

    struct Deleter
    {
        void operator()(TMFileInfoRec* rec) const { Free(rec); }
    };
    // Never returns null (throws std::bad_alloc like new).
    static std::unique_ptr<TMFileInfoRec, Deleter> Create(std::string_view relPath, std::int64_t size,
                                                          std::uint32_t age, TFileOp op);
    // The same record placed in `arena`, which keeps its memory: Free then releases nothing,
    // and the record must not outlive the arena or its Reset.
    static std::unique_ptr<TMFileInfoRec, Deleter> Create(std::string_view relPath, std::int64_t size,
                                                          std::uint32_t age, TFileOp op, TRecordArena& arena);
    static void Free(TMFileInfoRec* rec);

    TMFileInfoRec(const TMFileInfoRec&) = delete;
    TMFileInfoRec& operator=(const TMFileInfoRec&) = delete;

private:
    TMFileInfoRec() = default;
    static TMFileInfoRec* place(void* mem, std::string_view relPath, std::int64_t size, std::uint32_t age, TFileOp op);
    const char* pathText() const { return reinterpret_cast<const char*>(this + 1); }
    char* pathText() { return reinterpret_cast<char*>(this + 1); }
    bool m_inArena = false; // with m_pathHash, fills what would be padding after Op
    std::uint32_t m_pathLen = 0;
    std::uint32_t m_pathHash = 0;
};
static_assert(sizeof(TMFileInfoRec) == 24, "a run may hold millions of records");
using TMFileInfoPtr = std::unique_ptr<TMFileInfoRec, TMFileInfoRec::Deleter>;

// Memory for the records of one side's listing, handed out in large blocks: a record costs its
// own bytes rounded up to eight, without the allocator's header and size classes, which on
// a million records of short paths saves about an eighth of the memory. Everything is
// released at once, by Reset or on destruction.
class TRecordArena
{
public:
    TRecordArena() = default;
    TRecordArena(const TRecordArena&) = delete;
    TRecordArena& operator=(const TRecordArena&) = delete;

    // `bytes` of memory aligned for a record; throws std::bad_alloc like new.
    void* Allocate(std::size_t bytes);
    // Releases every block. No record placed here may be in use any more.
    void Reset()
    {
        m_blocks.clear();
        m_used = m_size = 0;
    }
    void Swap(TRecordArena& other) noexcept
    {
        m_blocks.swap(other.m_blocks);
        std::swap(m_used, other.m_used);
        std::swap(m_size, other.m_size);
    }

private:
    static constexpr std::size_t kBlockBytes = 1 << 20;
    std::vector<std::unique_ptr<std::uint64_t[]>> m_blocks;
    std::size_t m_used = 0; // bytes handed out of the last block
    std::size_t m_size = 0; // its size
};

// An ordered list of file records that owns them (HostFiles: scan order, never searched).
class TFileList
{
public:
    TFileList() = default;
    TFileList(const TFileList&) = delete;
    TFileList& operator=(const TFileList&) = delete;
    ~TFileList() { Clear(); }

    int Count() const { return static_cast<int>(m_items.size()); }
    TMFileInfoRec* Items(int index) const { return m_items[static_cast<std::size_t>(index)]; }
    TMFileInfoRec* operator[](int index) const { return Items(index); }
    void Add(TMFileInfoPtr rec);
    // Frees every record, from the last to the first, and empties the list.
    void Clear();
    void Reserve(std::size_t n) { m_items.reserve(n); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<TMFileInfoRec*> m_items;
};

// An ordered list of record references kept sorted by RelPath (MirrorFiles). It owns only
// its reference array; FreeRecords frees the records as well.
class TSortList
{
public:
    using TSortListCompareProc = std::function<int(std::string_view Text1, std::string_view Text2)>;

    TSortList() = default;
    TSortList(const TSortList&) = delete;
    TSortList& operator=(const TSortList&) = delete;

    int Count() const { return static_cast<int>(m_items.size()); }
    TMFileInfoRec* Items(int index) const { return m_items[static_cast<std::size_t>(index)]; }
    TMFileInfoRec* operator[](int index) const { return Items(index); }

    // Binary search: the index of a record whose key compares equal, or, when there is none,
    // the bitwise complement of the position where the key would be inserted.
    int Find(std::string_view key) const;
    // Inserts at the sorted place. With Unique set an equal key is not added again (returns
    // the existing index); otherwise the new record goes before the equal one found.
    // Returns the index of the record in the list. Must not be called inside a bulk load.
    int Add(TMFileInfoRec* rec);
    // Inserts at a position without comparing.
    void Insert(int index, TMFileInfoRec* rec);
    void Delete(int index);
    // Empties the reference array; the records are not freed.
    void Clear()
    {
        m_items.clear();
        m_mayHoldEqualKeys = false;
    }
    // Frees every record (from the last to the first), then empties the list.
    void FreeRecords();

    // A bulk load takes a whole side's listing without an O(n) insertion per record: records
    // are appended and sorted once in EndBulk. The order afterwards equals that of Add called
    // in the same sequence for distinct keys; equal keys end up newest first, as Add places them.
    // With Unique set, EndBulk returns the records it did not take (the caller still owns
    // them, as with a refused Add); otherwise it returns an empty vector.
    void BeginBulk();
    void AddBulk(TMFileInfoRec* rec);
    std::vector<TMFileInfoRec*> EndBulk();

    bool Unique = false;
    TSortListCompareProc OnCompare; // empty: CompareNames
    bool HasCustomOrder() const { return static_cast<bool>(OnCompare); }
    // False only when the list is known to hold no two keys that compare equal: set by an Add
    // or bulk load that met an equal key, and by every Insert (which does not compare).
    bool MayHoldEqualKeys() const { return m_mayHoldEqualKeys; }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    // Exchanges the contents (references, settings and what is known of equal keys) with
    // another list; neither may be inside a bulk load.
    void Swap(TSortList& other) noexcept
    {
        m_items.swap(other.m_items);
        std::swap(Unique, other.Unique);
        OnCompare.swap(other.OnCompare);
        std::swap(m_mayHoldEqualKeys, other.m_mayHoldEqualKeys);
    }

private:
    int compare(std::string_view a, std::string_view b) const
    {
        return OnCompare ? OnCompare(a, b) : CompareNames(a, b);
    }
    void sortNewestFirst(std::size_t from);

    std::vector<TMFileInfoRec*> m_items;
    std::size_t m_bulkStart = 0;
    bool m_inBulk = false;
    mutable bool m_mayHoldEqualKeys = false;
};

// A hash of a name that agrees with the name comparison: names that compare equal hash alike.
std::size_t HashName(std::string_view name);

// A hash index over the keys of a sorted list, for many lookups while the list does not
// change (pairing during planning). Its answers equal TSortList::Find for keys found; when the
// list holds two equal keys or has its own OnCompare, it falls back to Find itself, so the
// answer is always the one Find gives.
class TSortListIndex
{
public:
    explicit TSortListIndex(const TSortList& list);
    // The index of a record whose key compares equal, or -1.
    int Find(std::string_view key) const;
    // The same for a record's own path, using the hash the record carries.
    int Find(const TMFileInfoRec& rec) const;

private:
    int find(std::string_view key, std::uint32_t hash) const;

    const TSortList& m_list;
    std::vector<std::uint64_t> m_slots; // hash << 32 | (index + 1); 0 = empty
    std::size_t m_mask = 0;
    bool m_useHash = false;
};

// One line of a folder list: a relative folder path and the byte total of the files found
// beneath it (0 marks the folder empty for the empty-folder rule).
struct TFolderLine
{
    std::string Path;
    std::uint32_t Value = 0;
};

// HostFolders / MirrorFolders: folders in the order they were reported (after their contents).
class TFolderList
{
public:
    int Count() const { return static_cast<int>(m_lines.size()); }
    const std::string& Strings(int index) const { return m_lines[static_cast<std::size_t>(index)].Path; }
    std::uint32_t Values(int index) const { return m_lines[static_cast<std::size_t>(index)].Value; }
    const TFolderLine& operator[](int index) const { return m_lines[static_cast<std::size_t>(index)]; }
    void Add(std::string_view path, std::uint32_t value) { m_lines.push_back({std::string(path), value}); }
    void Clear() { m_lines.clear(); }
    void Swap(TFolderList& other) noexcept { m_lines.swap(other.m_lines); }

    auto begin() const { return m_lines.begin(); }
    auto end() const { return m_lines.end(); }

private:
    std::vector<TFolderLine> m_lines;
};

// The index of the first line equal to path under the name comparison (linear), or -1.
int FindFolder(const TFolderList& list, std::string_view path);

// The same answers as FindFolder, from a hash index built once over a list that does not
// change while the index is in use (planning and the empty-folder phase).
class TFolderIndex
{
public:
    explicit TFolderIndex(const TFolderList& list);
    // The index of the first line equal to path, or -1.
    int Find(std::string_view path) const;

private:
    struct Hash
    {
        std::size_t operator()(std::string_view s) const;
    };
    struct Equal
    {
        bool operator()(std::string_view a, std::string_view b) const { return SameName(a, b); }
    };
    std::unordered_map<std::string_view, int, Hash, Equal> m_first;
};

// Line values of TRunLists::HostUnlisted / MirrorUnlisted. Either way the path and everything
// below it are unknown on that side.
inline constexpr std::uint32_t kUnlistedNotRead = 0;         // could not be read (logged as it was met)
inline constexpr std::uint32_t kUnlistedNotFileOrFolder = 1; // a link to a folder, dangling link, FIFO...

// Answers whether a path is covered by one of a side's unlisted paths. The list must not
// change while this is in use.
class TUnlistedPaths
{
public:
    explicit TUnlistedPaths(const TFolderList& list) : m_list(list), m_index(list) {}
    // True when path itself or one of its parent folders ("" being the root) is on the list.
    bool Covers(std::string_view path) const;

private:
    const TFolderList& m_list;
    TFolderIndex m_index;
};

// The run's four lists. The file lists' records are freed when cleared and on destruction.
struct TRunLists
{
    // Where the listings place their records; declared first, so released after the lists.
    TRecordArena HostRecords;
    TRecordArena MirrorRecords;
    TFileList HostFiles;
    TSortList MirrorFiles;
    TFolderList HostFolders;
    TFolderList MirrorFolders;
    // Relative paths that a side's listing could not see into ("" for the root): folders and
    // entries that could not be read (kUnlistedNotRead), links to folders, dangling links and
    // special files (kUnlistedNotFileOrFolder). Planning treats the other side's files and
    // folders at or below them as paired with something unknown and plans nothing for them.
    TFolderList HostUnlisted;
    TFolderList MirrorUnlisted;

    TRunLists() = default;
    TRunLists(const TRunLists&) = delete;
    TRunLists& operator=(const TRunLists&) = delete;
    ~TRunLists() { MirrorFiles.FreeRecords(); }

    void ClearHost()
    {
        HostFolders.Clear();
        HostUnlisted.Clear();
        HostFiles.Clear();
        HostRecords.Reset();
    }
    void ClearMirror()
    {
        MirrorFolders.Clear();
        MirrorUnlisted.Clear();
        MirrorFiles.FreeRecords();
        MirrorRecords.Reset();
    }
    // Takes the mirror side's three lists of `from` (a listing made elsewhere) in place of
    // this one's, which `from` gets in exchange.
    void SwapMirror(TRunLists& from) noexcept
    {
        MirrorFiles.Swap(from.MirrorFiles);
        MirrorRecords.Swap(from.MirrorRecords);
        MirrorFolders.Swap(from.MirrorFolders);
        MirrorUnlisted.Swap(from.MirrorUnlisted);
    }
};

} // namespace pelmora
