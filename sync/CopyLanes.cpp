#include "sync/CopyLanes.h"

#include "platform/NetPath.h"
#include "platform/SmbFileSystem.h"

#include <algorithm>
#include <chrono>

namespace pelmora {

namespace {

// A login takes a few requests; the sessions' own timeout bounds each at 10 s.
constexpr int kLoginWaitMs = 15000;

} // namespace

CopyLanes::~CopyLanes()
{
    Stop();
}

int CopyLanes::Start(const std::string& program, int count, std::uint16_t langId,
                     const std::vector<std::string>& networkRoots)
{
    Stop();
    // The logins to send: shares this process logged in to with a user's name and password.
    // A share reached without them is reached anonymously by the lane too.
    std::vector<std::string> logins;
    for (const std::string& root : networkRoots) {
        NetPath share;
        if (!ParseNetPath(root, share))
            continue;
        const std::shared_ptr<SmbSession> session = FindSmbSession(NetShareKey(share));
        if (!session || session->Context() == nullptr)
            continue;
        logins.push_back(
            LaneWriter(LaneMessage::Login).Text(root).Text(session->LoginName()).Text(session->Password()).Finish());
    }
    for (int i = 0; i < count; ++i) {
        int err = 0;
        Lane lane;
        lane.process = ChildProcess::Start(program, err);
        if (!lane.process)
            break;
        bool sent = lane.process->Send(LaneWriter(LaneMessage::Hello).Number(langId).Finish()) == 0;
        for (const std::string& login : logins)
            sent = sent && lane.process->Send(login) == 0;
        if (sent)
            m_lanes.push_back(std::move(lane));
    }
    // Every lane answers the greeting, then logs in on its own connection; the lanes do so at
    // the same time. A program that is not a lane never answers and is dropped.
    const int answers = static_cast<int>(logins.size()) + 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLoginWaitMs);
    const auto noJobs = [](LaneResult&&) {};
    while (true) {
        std::vector<int> waiting;
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < m_lanes.size(); ++i) {
            if (!m_lanes[i].broken && m_lanes[i].answered < answers) {
                waiting.push_back(m_lanes[i].process->Fd());
                which.push_back(i);
            }
        }
        if (waiting.empty())
            break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        for (const std::size_t k : WaitReadable(waiting, static_cast<int>(left.count()))) {
            if (!readLane(m_lanes[which[k]], noJobs))
                m_lanes[which[k]].broken = true;
        }
    }
    std::vector<Lane> ready;
    for (Lane& lane : m_lanes) {
        if (!lane.broken && lane.answered == answers)
            ready.push_back(std::move(lane));
        else
            lane.process->Stop(1000);
    }
    m_lanes = std::move(ready);
    return Lanes();
}

int CopyLanes::InFlight() const
{
    int n = static_cast<int>(m_orphans.size());
    for (const Lane& lane : m_lanes)
        n += static_cast<int>(lane.jobs.size());
    return n;
}

bool CopyLanes::CanSubmit() const
{
    return std::any_of(m_lanes.begin(), m_lanes.end(),
                       [](const Lane& lane) { return !lane.broken && lane.jobs.size() < kDepth; });
}

void CopyLanes::Submit(const LaneJob& job)
{
    Lane* best = nullptr;
    for (Lane& lane : m_lanes) {
        if (!lane.broken && (best == nullptr || lane.jobs.size() < best->jobs.size()))
            best = &lane;
    }
    if (best == nullptr) {
        m_orphans.push_back(LaneResult{job.id, kLaneBroken, 0, {}, 0});
        return;
    }
    const std::string frame = LaneWriter(LaneMessage::Job)
                                  .Number(job.id)
                                  .Number(static_cast<std::int64_t>(job.kind))
                                  .Text(job.source)
                                  .Text(job.target)
                                  .Text(job.root)
                                  .Number(job.targetListed ? 1 : 0)
                                  .Number(job.toTrash ? 1 : 0)
                                  .Text(job.trashRun)
                                  .Finish();
    best->jobs.push_back(job.id);
    if (best->process->Send(frame) != 0)
        best->broken = true;
}

void CopyLanes::Cancel()
{
    const std::string frame = LaneWriter(LaneMessage::Cancel).Finish();
    for (Lane& lane : m_lanes) {
        if (!lane.broken && lane.process->Send(frame) != 0)
            lane.broken = true;
    }
}

bool CopyLanes::readLane(Lane& lane, const std::function<void(LaneResult&&)>& onDone)
{
    const long got = lane.process->Receive(lane.input);
    if (got == 0)
        return false;
    while (true) {
        bool bad = false;
        std::optional<std::string> payload = TakeLaneFrame(lane.input, bad);
        if (bad)
            return false;
        if (!payload)
            return true;
        LaneReader in(*payload);
        if (in.Type() == LaneMessage::Hello) {
            ++lane.answered;
            continue;
        }
        if (in.Type() == LaneMessage::LoginDone) {
            std::string root;
            std::int64_t err = 0;
            if (!in.Text(root) || !in.Number(err))
                return false;
            // A lane refused by a share cannot serve the run.
            if (err != 0)
                return false;
            ++lane.answered;
            continue;
        }
        if (in.Type() == LaneMessage::Progress) {
            std::int64_t id = 0;
            std::int64_t bytes = 0;
            std::int64_t percent = 0;
            if (!in.Number(id) || !in.Number(bytes) || !in.Number(percent))
                return false;
            if (onProgress)
                onProgress(id, bytes, static_cast<int>(std::clamp<std::int64_t>(percent, 0, 100)));
            continue;
        }
        if (in.Type() != LaneMessage::Done)
            return false;
        LaneResult result;
        std::int64_t lines = 0;
        if (!in.Number(result.id) || !in.Number(result.result) || !in.Number(result.bytes) || !in.Number(lines) ||
            lines < 0)
            return false;
        for (std::int64_t i = 0; i < lines; ++i) {
            std::string line;
            if (!in.Text(line))
                return false;
            result.lines.push_back(std::move(line));
        }
        if (!in.Number(result.trashed))
            return false;
        const auto it = std::find(lane.jobs.begin(), lane.jobs.end(), result.id);
        if (it == lane.jobs.end())
            return false;
        lane.jobs.erase(it);
        onDone(std::move(result));
    }
}

void CopyLanes::dropBroken(const std::function<void(LaneResult&&)>& onDone)
{
    for (LaneResult& orphan : m_orphans)
        onDone(std::move(orphan));
    m_orphans.clear();
    for (auto it = m_lanes.begin(); it != m_lanes.end();) {
        if (!it->broken) {
            ++it;
            continue;
        }
        it->process->Stop(1000);
        for (const std::int64_t id : it->jobs)
            onDone(LaneResult{id, kLaneBroken, 0, {}, 0});
        it = m_lanes.erase(it);
    }
}

void CopyLanes::Pump(int timeoutMs, const std::function<void(LaneResult&&)>& onDone)
{
    dropBroken(onDone);
    std::vector<int> fds;
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < m_lanes.size(); ++i) {
        if (!m_lanes[i].jobs.empty()) {
            fds.push_back(m_lanes[i].process->Fd());
            which.push_back(i);
        }
    }
    if (fds.empty())
        return;
    for (const std::size_t k : WaitReadable(fds, timeoutMs)) {
        if (!readLane(m_lanes[which[k]], onDone))
            m_lanes[which[k]].broken = true;
    }
    dropBroken(onDone);
}

void CopyLanes::Stop()
{
    for (Lane& lane : m_lanes)
        lane.process->Stop();
    m_lanes.clear();
    m_orphans.clear();
}

} // namespace pelmora
