#include "sync/FileLists.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pelmora {

namespace {

struct FoldTable
{
    unsigned char map[256];
    constexpr FoldTable() : map{}
    {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>((i >= 'a' && i <= 'z') ? i - 'a' + 'A' : i);
    }
};
constexpr FoldTable kFold;

} // namespace

int CompareNames(std::string_view a, std::string_view b)
{
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    // Paths of one run share long prefixes: skip identical bytes a word at a time, then let
    // the folding loop decide from the first word that differs.
    while (i + 8 <= n) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, pa + i, 8);
        std::memcpy(&y, pb + i, 8);
        if (x != y)
            break;
        i += 8;
    }
    for (; i < n; ++i) {
        if (pa[i] == pb[i])
            continue;
        const int ca = kFold.map[pa[i]];
        const int cb = kFold.map[pb[i]];
        if (ca != cb)
            return ca - cb;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string TMFileInfoRec::FullPath(std::string_view root) const
{
    std::string out;
    out.reserve(root.size() + m_pathLen);
    out.append(root);
    out.append(RelPath());
    return out;
}

TMFileInfoPtr TMFileInfoRec::Create(std::string_view relPath, std::int64_t size, std::uint32_t age, TFileOp op)
{
    // One block: the record followed by the path text and a terminating NUL.
    return TMFileInfoPtr(place(::operator new(sizeof(TMFileInfoRec) + relPath.size() + 1), relPath, size, age, op));
}

TMFileInfoPtr TMFileInfoRec::Create(std::string_view relPath, std::int64_t size, std::uint32_t age, TFileOp op,
                                    TRecordArena& arena)
{
    TMFileInfoRec* rec = place(arena.Allocate(sizeof(TMFileInfoRec) + relPath.size() + 1), relPath, size, age, op);
    rec->m_inArena = true;
    return TMFileInfoPtr(rec);
}

TMFileInfoRec* TMFileInfoRec::place(void* mem, std::string_view relPath, std::int64_t size, std::uint32_t age,
                                    TFileOp op)
{
    auto* rec = new (mem) TMFileInfoRec();
    rec->Size = size;
    rec->Age = age;
    rec->Op = op;
    rec->m_pathLen = static_cast<std::uint32_t>(relPath.size());
    rec->m_pathHash = static_cast<std::uint32_t>(HashName(relPath));
    if (!relPath.empty())
        std::memcpy(rec->pathText(), relPath.data(), relPath.size());
    rec->pathText()[relPath.size()] = '\0';
    return rec;
}

void TMFileInfoRec::Free(TMFileInfoRec* rec)
{
    if (!rec)
        return;
    const bool inArena = rec->m_inArena;
    rec->~TMFileInfoRec();
    if (!inArena)
        ::operator delete(rec);
}

void* TRecordArena::Allocate(std::size_t bytes)
{
    bytes = (bytes + 7) & ~std::size_t(7);
    if (m_blocks.empty() || m_size - m_used < bytes) {
        const std::size_t size = std::max(kBlockBytes, bytes);
        m_blocks.push_back(std::make_unique_for_overwrite<std::uint64_t[]>(size / 8));
        m_used = 0;
        m_size = size;
    }
    void* at = reinterpret_cast<char*>(m_blocks.back().get()) + m_used;
    m_used += bytes;
    return at;
}

void TFileList::Add(TMFileInfoPtr rec)
{
    m_items.push_back(nullptr);
    m_items.back() = rec.release();
}

void TFileList::Clear()
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        TMFileInfoRec::Free(*it);
    m_items.clear();
}

int TSortList::Find(std::string_view key) const
{
    if (m_items.empty())
        return -1;
    int low = 0;
    int high = Count() - 1;
    for (;;) {
        const int mid = (low + high) / 2;
        const int c = compare(key, m_items[static_cast<std::size_t>(mid)]->RelPath());
        if (c == 0)
            return mid;
        if (c < 0) {
            if (mid == low)
                return ~mid;
            high = mid - 1;
        } else {
            if (mid == high)
                return ~(mid + 1);
            low = mid + 1;
        }
    }
}

int TSortList::Add(TMFileInfoRec* rec)
{
    int index = Find(rec->RelPath());
    const bool found = index >= 0;
    if (!found)
        index = ~index;
    else if (Unique)
        return index;
    const bool mayHold = m_mayHoldEqualKeys || found;
    Insert(index, rec);
    m_mayHoldEqualKeys = mayHold;
    return index;
}

void TSortList::Insert(int index, TMFileInfoRec* rec)
{
    m_items.insert(m_items.begin() + index, rec);
    m_mayHoldEqualKeys = true;
}

void TSortList::Delete(int index)
{
    m_items.erase(m_items.begin() + index);
}

void TSortList::FreeRecords()
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        TMFileInfoRec::Free(*it);
    m_items.clear();
    m_mayHoldEqualKeys = false;
}

void TSortList::BeginBulk()
{
    m_bulkStart = m_items.size();
    m_inBulk = true;
}

void TSortList::AddBulk(TMFileInfoRec* rec)
{
    if (!m_inBulk)
        Add(rec);
    else
        m_items.push_back(rec);
}

std::vector<TMFileInfoRec*> TSortList::EndBulk()
{
    std::vector<TMFileInfoRec*> dropped;
    if (!m_inBulk)
        return dropped;
    m_inBulk = false;
    if (m_bulkStart == 0 && !Unique) {
        // A whole list loaded at once (a side's listing) is sorted where it lies.
        sortNewestFirst(0);
        return dropped;
    }
    const auto start = m_items.begin() + static_cast<std::ptrdiff_t>(m_bulkStart);
    // Two records with equal keys end up next to each other, and a sort or merge always
    // compares neighbours of its result directly, so this comparison sees every equal pair.
    auto less = [this](const TMFileInfoRec* a, const TMFileInfoRec* b) {
        const int c = compare(a->RelPath(), b->RelPath());
        if (c == 0)
            m_mayHoldEqualKeys = true;
        return c < 0;
    };
    sortNewestFirst(m_bulkStart);
    std::vector<TMFileInfoRec*> fresh(start, m_items.end());
    m_items.erase(start, m_items.end());
    if (Unique) {
        // Add keeps the first record of a key and ignores later ones.
        std::vector<TMFileInfoRec*> kept;
        kept.reserve(fresh.size());
        for (auto it = fresh.rbegin(); it != fresh.rend();) {
            auto groupEnd = it;
            while (groupEnd != fresh.rend() && compare((*groupEnd)->RelPath(), (*it)->RelPath()) == 0)
                ++groupEnd;
            // Within a group the oldest record is last in `fresh`, i.e. first in reverse order.
            auto oldest = it;
            if (!std::binary_search(m_items.begin(), m_items.end(), *oldest, less))
                kept.push_back(*oldest);
            else
                dropped.push_back(*oldest);
            for (auto other = std::next(it); other != groupEnd; ++other)
                dropped.push_back(*other);
            it = groupEnd;
        }
        std::reverse(kept.begin(), kept.end());
        fresh.swap(kept);
    }
    if (m_items.empty()) {
        m_items.swap(fresh);
        return dropped;
    }
    std::vector<TMFileInfoRec*> merged;
    merged.reserve(m_items.size() + fresh.size());
    // New records precede existing equal ones, as with Add.
    std::merge(fresh.begin(), fresh.end(), m_items.begin(), m_items.end(), std::back_inserter(merged), less);
    m_items.swap(merged);
    return dropped;
}

void TSortList::sortNewestFirst(std::size_t from)
{
    // Records of one folder arrive together, and the files of different folders mostly fall
    // into separate stretches of the sorted order. So each stretch of records with the same
    // folder part is sorted on its own (small and cache-friendly), the stretches are ordered
    // by their first key, and adjacent stretches are merged bottom-up; a merge whose halves
    // are already in order costs one comparison. Equal keys are ordered newest first (as Add
    // places them) through the arrival number, which makes the order total.
    //
    // A mirror list may hold millions of records while the host's are held too, so the working
    // memory is kept small: 16 bytes per record for the sort keys and 4 for the order, which
    // is then applied to the reference array in place.
    struct Item
    {
        std::uint32_t seq;       // arrival number: the record is m_items[from + seq]
        std::uint32_t nameStart; // where the last component begins
        std::uint64_t head;      // its first eight bytes, folded, most significant first
    };
    static_assert(sizeof(Item) == 16);
    const std::size_t n = m_items.size() - from;
    if (n < 2)
        return;
    TMFileInfoRec** const recs = m_items.data() + from;
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i)
        items[i] = {static_cast<std::uint32_t>(i), 0, 0};
    auto less = [this, recs](const Item& a, const Item& b) {
        const int c = compare(recs[a.seq]->RelPath(), recs[b.seq]->RelPath());
        if (c != 0)
            return c < 0;
        m_mayHoldEqualKeys = true;
        return a.seq > b.seq;
    };
    // The key up to and including its last separator ("" when it has none).
    auto folderOf = [](const TMFileInfoRec* r) {
        const std::string_view p = r->RelPath();
        const auto slash = p.rfind('/');
        return slash == std::string_view::npos ? std::string_view() : p.substr(0, slash + 1);
    };

    struct Run
    {
        std::size_t begin;
        std::size_t end;
    };
    // Within one stretch every key starts with the same folder bytes, so under the name
    // comparison the keys order as their last components do; those are told apart by their
    // first eight folded bytes as one integer, mostly without touching the text again.
    auto lessInRun = [this, recs](const Item& a, const Item& b) {
        if (a.head != b.head)
            return a.head < b.head;
        const std::string_view pa = recs[a.seq]->RelPath();
        const std::string_view pb = recs[b.seq]->RelPath();
        const std::string_view na = pa.substr(std::min<std::size_t>(a.nameStart + 8, pa.size()));
        const std::string_view nb = pb.substr(std::min<std::size_t>(b.nameStart + 8, pb.size()));
        const int c = CompareNames(na, nb);
        if (c != 0)
            return c < 0;
        m_mayHoldEqualKeys = true;
        return a.seq > b.seq;
    };
    std::vector<Run> runs;
    for (std::size_t i = 0; i < n;) {
        const std::string_view folder = folderOf(recs[i]);
        std::size_t j = i + 1;
        while (j < n && folderOf(recs[j]) == folder)
            ++j;
        const auto first = items.begin() + static_cast<std::ptrdiff_t>(i);
        const auto last = items.begin() + static_cast<std::ptrdiff_t>(j);
        if (OnCompare) {
            std::sort(first, last, less);
        } else {
            const std::size_t nameStart = folder.size();
            for (auto it = first; it != last; ++it) {
                const std::string_view name = recs[it->seq]->RelPath().substr(nameStart);
                std::uint64_t head = 0;
                for (std::size_t k = 0; k < 8; ++k) {
                    const unsigned char c = k < name.size() ? kFold.map[static_cast<unsigned char>(name[k])] : 0;
                    head = head << 8 | c;
                }
                it->nameStart = static_cast<std::uint32_t>(nameStart);
                it->head = head;
            }
            std::sort(first, last, lessInRun);
        }
        runs.push_back({i, j});
        i = j;
    }
    std::sort(runs.begin(), runs.end(),
              [&](const Run& a, const Run& b) { return less(items[a.begin], items[b.begin]); });
    // The order as positions in `items`, stretch after stretch, then merged.
    std::vector<std::uint32_t> order;
    order.reserve(n);
    std::vector<Run> placed;
    placed.reserve(runs.size());
    for (const Run& r : runs) {
        placed.push_back({order.size(), order.size() + (r.end - r.begin)});
        for (std::size_t k = r.begin; k < r.end; ++k)
            order.push_back(static_cast<std::uint32_t>(k));
    }
    runs = {};
    auto lessAt = [&](std::uint32_t a, std::uint32_t b) { return less(items[a], items[b]); };
    while (placed.size() > 1) {
        std::vector<Run> next;
        next.reserve(placed.size() / 2 + 1);
        for (std::size_t k = 0; k + 1 < placed.size(); k += 2) {
            const Run a = placed[k];
            const Run b = placed[k + 1];
            if (lessAt(order[b.begin], order[a.end - 1]))
                std::inplace_merge(order.begin() + static_cast<std::ptrdiff_t>(a.begin),
                                   order.begin() + static_cast<std::ptrdiff_t>(b.begin),
                                   order.begin() + static_cast<std::ptrdiff_t>(b.end), lessAt);
            next.push_back({a.begin, b.end});
        }
        if (placed.size() % 2)
            next.push_back(placed.back());
        placed.swap(next);
    }
    // order[k] becomes the arrival number of the record that goes to place k; then the
    // references are moved along the cycles of that permutation.
    for (std::uint32_t& at : order)
        at = items[at].seq;
    items = {};
    for (std::size_t k = 0; k < n; ++k) {
        if (order[k] == k)
            continue;
        TMFileInfoRec* const first = recs[k];
        std::size_t j = k;
        for (;;) {
            const std::size_t src = order[j];
            order[j] = static_cast<std::uint32_t>(j);
            if (src == k) {
                recs[j] = first;
                break;
            }
            recs[j] = recs[src];
            j = src;
        }
    }
}

int FindFolder(const TFolderList& list, std::string_view path)
{
    for (int i = 0; i < list.Count(); ++i)
        if (SameName(list.Strings(i), path))
            return i;
    return -1;
}

namespace {

// Upper-cases the ASCII letters of eight bytes at once. The OR with 0x80 keeps every byte's
// subtraction from borrowing from its neighbour; bytes of 0x80 and above are left alone.
std::uint64_t foldWord(std::uint64_t x)
{
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const std::uint64_t geA = (x | kHigh) - 0x6161616161616161ull; // high bit set: byte >= 'a'
    const std::uint64_t geZ = (x | kHigh) - 0x7B7B7B7B7B7B7B7Bull; // high bit set: byte > 'z'
    const std::uint64_t lower = geA & ~geZ & ~x & kHigh;
    return x - (lower >> 2);
}

std::uint64_t mix(std::uint64_t h, std::uint64_t w)
{
    h ^= w;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

} // namespace

std::size_t HashName(std::string_view name)
{
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    std::uint64_t h = 0x243F6A8885A308D3ull ^ name.size();
    std::size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = mix(h, foldWord(w));
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i + k < name.size(); ++k)
        tail |= static_cast<std::uint64_t>(kFold.map[p[i + k]]) << (8 * k);
    return static_cast<std::size_t>(mix(h, tail));
}

TSortListIndex::TSortListIndex(const TSortList& list) : m_list(list)
{
    // With equal keys Find's choice among them is what counts, so the hash is not used.
    if (list.HasCustomOrder() || list.MayHoldEqualKeys() || list.Count() == 0)
        return;
    std::size_t size = 16;
    while (size < static_cast<std::size_t>(list.Count()) * 2)
        size *= 2;
    m_slots.assign(size, 0);
    m_mask = size - 1;
    for (int i = 0; i < list.Count(); ++i) {
        const std::uint64_t hash = list[i]->PathHash();
        std::size_t at = hash & m_mask;
        while (m_slots[at] != 0)
            at = (at + 1) & m_mask;
        m_slots[at] = hash << 32 | (static_cast<std::uint64_t>(i) + 1);
    }
    m_useHash = true;
}

int TSortListIndex::find(std::string_view key, std::uint32_t hash) const
{
    for (std::size_t at = hash & m_mask; m_slots[at] != 0; at = (at + 1) & m_mask) {
        if ((m_slots[at] >> 32) != hash)
            continue;
        const int index = static_cast<int>(m_slots[at] & 0xFFFFFFFFu) - 1;
        if (SameName(m_list[index]->RelPath(), key))
            return index;
    }
    return -1;
}

int TSortListIndex::Find(std::string_view key) const
{
    if (!m_useHash) {
        const int at = m_list.Find(key);
        return at < 0 ? -1 : at;
    }
    return find(key, static_cast<std::uint32_t>(HashName(key)));
}

int TSortListIndex::Find(const TMFileInfoRec& rec) const
{
    if (!m_useHash)
        return Find(rec.RelPath());
    return find(rec.RelPath(), rec.PathHash());
}

std::size_t TFolderIndex::Hash::operator()(std::string_view s) const
{
    return HashName(s);
}

TFolderIndex::TFolderIndex(const TFolderList& list)
{
    m_first.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        m_first.emplace(std::string_view(list.Strings(i)), i);
}

int TFolderIndex::Find(std::string_view path) const
{
    auto it = m_first.find(path);
    return it == m_first.end() ? -1 : it->second;
}

bool TUnlistedPaths::Covers(std::string_view path) const
{
    if (m_list.Count() == 0)
        return false;
    if (m_index.Find(path) >= 0)
        return true;
    // Every ancestor, down to "" for the root (the cut before the leading separator).
    for (std::size_t i = path.size(); i-- > 0;)
        if (path[i] == '/' && m_index.Find(path.substr(0, i)) >= 0)
            return true;
    return false;
}

} // namespace pelmora
