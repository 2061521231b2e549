#pragma once
// Names of the temporary files a copy writes beside its target. The name says who writes the
// file (machine, boot, process), so that a later run can tell a file still being written from
// one left by a writer that died (power cut, kill -9, a crash), and remove only the latter.
// Names are pure text work; classifying asks the system whether a process lives. Any thread.
//
// Form: ".pelmora-partial-<machine>-<boot>-<pid>-<counter>" with <machine>, <boot> and
// <counter> 16 lower-case hex digits and <pid> decimal without leading zeros. A file set aside
// while it is replaced on a share adds "-old-<its own name>" (left off when too long).

#include "platform/FileSystem.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Who writes a temporary file.
struct PartialWriter
{
    // Tells processes apart only where their pids can be checked with kill(): a hash of
    // /etc/machine-id (the host name when it has none) and the pid namespace.
    std::uint64_t machine = 0;
    // A hash of /proc/sys/kernel/random/boot_id: a new boot means every earlier writer is gone.
    std::uint64_t boot = 0;
    std::int64_t pid = 0;
};

// This process as a writer. The tags are read once per process; the pid is read at each call.
PartialWriter ThisWriter();

// The temporary file name of `writer` with `counter`.
std::string PartialFileName(const PartialWriter& writer, std::uint64_t counter);
// A fresh temporary file name for this process (a process-wide counter that starts at a
// random value, so that leftovers of an earlier process with the same pid seldom clash).
std::string NewPartialFileName();
// A fresh name under which this process sets `originalName` aside while it replaces it; the
// original name is kept in it when the whole name fits in 255 bytes.
std::string NewAsideFileName(std::string_view originalName);

struct PartialName
{
    PartialWriter writer;
    std::uint64_t counter = 0;
    bool aside = false;        // "-old-" follows: a replaced file set aside
    std::string_view original; // the set-aside file's own name; empty when it did not fit
    bool knownWriter = true;   // false for the older "<16 hex>" names, which carry no writer
};

// Parses a file name (no folder) of the forms above. Also accepts the older forms
// "<16 hex>" and "<16 hex>-old-<name>", which carry no writer. False for every other name,
// such as ".pelmora-partial-notes.txt": that is a user's file.
bool ParsePartialFileName(std::string_view name, PartialName& out);
// True when the scanner must skip `name`: one of the temporary names above.
bool IsPartialFileName(std::string_view name);

enum class PartialState {
    NotOurs,       // a user's file
    Live,          // its writer may still be writing it: leave it
    Stale,         // its writer is gone: safe to remove
    OtherMachine,  // written on another machine (a share used by two computers): leave it
    UnknownWriter, // an older name without its writer: leave it
};

// Classifies a file name as seen by `self`. A name of the same machine is stale when it was
// written during another boot or when no process of its pid exists (`processExists` false);
// a live process of that pid, even one that merely reuses the pid, keeps it live.
PartialState ClassifyPartialFile(std::string_view name, const PartialWriter& self,
                                 const std::function<bool(std::int64_t pid)>& processExists);
// The same for this process, with kill(pid, 0).
PartialState ClassifyPartialFile(std::string_view name);

// False only when kill(pid, 0) says no such process (ESRCH); a process that exists but may not
// be signalled counts as existing. A pid of 0 or less is reported as existing.
bool ProcessExists(std::int64_t pid);

// Clears away stale temporary files (full paths) through `fs`. A set-aside file whose original
// name is free again is renamed back to it (its replacement never arrived); one whose original
// name is taken is removed (the replacement did arrive). Failures are not reported: the file
// stays, is skipped as before, and the next run tries again. Returns how many were cleared.
int RemoveStalePartials(FileSystem& fs, const std::vector<std::string>& paths);

} // namespace pelmora
