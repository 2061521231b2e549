#include "sync/DeletionGuard.h"

namespace pelmora {

namespace {

template <typename List> std::uint32_t deletionsIn(const List& files)
{
    std::uint32_t count = 0;
    for (int i = 0; i < files.Count(); ++i)
        count += files[i]->Op == opDelete;
    return count;
}

} // namespace

std::optional<MassDeletion> FindMassDeletion(const TRunLists& lists)
{
    const auto hostFiles = static_cast<std::uint32_t>(lists.HostFiles.Count());
    const auto mirrorFiles = static_cast<std::uint32_t>(lists.MirrorFiles.Count());
    const MassDeletion sides[] = {{false, deletionsIn(lists.HostFiles), hostFiles},
                                  {true, deletionsIn(lists.MirrorFiles), mirrorFiles}};
    for (const MassDeletion& side : sides) {
        const std::uint32_t otherFiles = side.MirrorSide ? hostFiles : mirrorFiles;
        if (side.Deleted == 0)
            continue;
        const bool wholeSideOppositeNothing = side.Deleted == side.Files && otherFiles == 0;
        const bool mostOfALargeSide = side.Files >= kMassDeletionFloor && side.Deleted * 2 > side.Files;
        if (wholeSideOppositeNothing || mostOfALargeSide)
            return side;
    }
    return std::nullopt;
}

} // namespace pelmora
