#pragma once
// The guard against mass deletion: whether a run's plan, as the preview left it, would delete
// so much of one side that it more likely met an empty or unmounted folder than a user's
// wish. Pure work on the run's lists; UI thread, once per run.

#include "sync/FileLists.h"

#include <cstdint>
#include <optional>

namespace pelmora {

// Below this many files on a side, deleting most of them is not held by itself.
inline constexpr std::uint32_t kMassDeletionFloor = 10;

struct MassDeletion
{
    bool MirrorSide = false;   // the side that would lose its files
    std::uint32_t Deleted = 0; // files of that side the plan deletes
    std::uint32_t Files = 0;   // files listed on that side
};

// The first side (host, then mirror) whose planned deletions are every one of its files while
// the other side holds no file at all, or more than half of its files when it has at least
// kMassDeletionFloor files. nullopt: the plan may run.
std::optional<MassDeletion> FindMassDeletion(const TRunLists& lists);

} // namespace pelmora
