// Memory per file entry of a run: builds 1,000,000 entries with 40-byte relative paths in a
// sorted mirror list (the records, placed as a listing places them, and their list slots) and
// prints the heap growth per entry as "bytes_per_entry=NNN".
//
//   entry_size [COUNT]

#include "sync/FileLists.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

using namespace pelmora;

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    if (count <= 0)
        return 2;
    const std::size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    {
        TRunLists lists;
        lists.MirrorFiles.BeginBulk();
        char path[64];
        for (int i = 0; i < count; ++i) {
            // "/docs/d0012/sub34/reports-0001234567.txt" and the like: 40 bytes.
            std::snprintf(path, sizeof path, "/docs/d%04d/sub%02d/reports-%010d.txt", (i / 100) % 10000, i % 100, i);
            lists.MirrorFiles.AddBulk(
                TMFileInfoRec::Create(path, i, 0x5A000000u, opNone, lists.MirrorRecords).release());
        }
        lists.MirrorFiles.EndBulk();
        const std::size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
        const double perEntry = static_cast<double>(after - before) / count;
        std::printf("entries=%d path_bytes=%zu\n", count, std::string_view(lists.MirrorFiles[0]->RelPath()).size());
        std::printf("bytes_per_entry=%.0f\n", perEntry);
    }
    return 0;
}
