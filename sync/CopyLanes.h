#pragma once
// CopyLanes: the run's side of its copy lanes, helper processes (the pelmora-lane program)
// that each carry out file operations over a connection of their own. On a network share
// every request is a round trip and a copy takes several; handing files to a few lanes lets
// those round trips overlap. Jobs are given to the least busy lane, a few per lane so that a
// lane never waits for the run; results come back with the lines the run's log receives.
// Used by the run driver on the UI thread.

#include "platform/ChildProcess.h"
#include "sync/LaneProtocol.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

struct LaneJob
{
    std::int64_t id = 0;
    LaneJobKind kind = LaneJobKind::Copy;
    std::string source;       // copies only
    std::string target;       // the copy's target or the file to delete
    std::string root;         // the target's side root (copies only)
    bool targetListed = true; // false: the run's listing found no file at the copy's target
    bool toTrash = false;     // deleted and replaced files go into the trash
    std::string trashRun;     // the run's folder in a share's trash (FileOps::SetTrash)
};

struct LaneResult
{
    std::int64_t id = 0;
    // CopyFile's result code for a copy; 0 (deleted) or 1 for a delete; kLaneJobSkipped for a
    // job cancelled before it began; kLaneBroken when its lane went away before answering.
    std::int64_t result = 0;
    std::int64_t bytes = 0; // bytes copied
    std::vector<std::string> lines;
    std::int64_t trashed = 0; // files the job moved into the trash
};

inline constexpr std::int64_t kLaneBroken = -2;

class CopyLanes
{
public:
    // Jobs handed to one lane before it has answered the first.
    static constexpr int kDepth = 2;

    CopyLanes() = default;
    ~CopyLanes();
    CopyLanes(const CopyLanes&) = delete;
    CopyLanes& operator=(const CopyLanes&) = delete;

    // Starts up to `count` lanes of `program`, tells them the language and logs each in to the
    // shares of `networkRoots` for which this process holds a session, with its credentials.
    // A lane that does not start or whose login fails is dropped. Returns the lanes ready.
    int Start(const std::string& program, int count, std::uint16_t langId,
              const std::vector<std::string>& networkRoots);

    int Lanes() const { return static_cast<int>(m_lanes.size()); }
    int InFlight() const;
    // True when a lane has room for another job.
    bool CanSubmit() const;
    // Hands `job` to the least busy lane. Needs CanSubmit(). A lane that cannot take it is
    // dropped, and the job comes back as kLaneBroken from the next Pump.
    void Submit(const LaneJob& job);
    // Tells every lane that the run is cancelled: copies break off, jobs not begun are skipped.
    void Cancel();
    // Waits up to `timeoutMs` for answers and calls `onDone` for each, in the order they came.
    void Pump(int timeoutMs, const std::function<void(LaneResult&&)>& onDone);
    // Closes every connection and waits for the lanes to exit.
    void Stop();

    // Called from Pump while a large file is being copied: the job, the bytes copied since
    // the last call or answer for it, and the file's percentage.
    std::function<void(std::int64_t id, std::int64_t bytes, int percent)> onProgress;

private:
    struct Lane
    {
        std::unique_ptr<ChildProcess> process;
        std::string input;
        std::vector<std::int64_t> jobs; // ids given and not yet answered
        int answered = 0;               // the greeting and logins answered so far
        bool broken = false;
    };
    // Reads what lane `lane` sent; false when it broke (gone, sent garbage, or a share refused
    // its login).
    bool readLane(Lane& lane, const std::function<void(LaneResult&&)>& onDone);
    void dropBroken(const std::function<void(LaneResult&&)>& onDone);

    std::vector<Lane> m_lanes;
    std::vector<LaneResult> m_orphans; // jobs of lanes that broke in Submit
};

} // namespace pelmora
