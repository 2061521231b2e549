#include "sync/LaneWorker.h"

#include "lang/Messages.h"
#include "platform/NetPath.h"
#include "platform/PosixFileSystem.h"
#include "platform/SmbFileSystem.h"
#include "sync/FileOps.h"
#include "sync/LaneProtocol.h"
#include "sync/RunView.h"
#include "sync/SyncLog.h"

#include "platform/ChildProcess.h"

#include <deque>

namespace pelmora {

namespace {

// A large file reports its progress after every this many bytes; a small one only when done.
constexpr std::int64_t kProgressStep = 1024 * 1024;

struct Job
{
    std::int64_t id = 0;
    std::int64_t kind = 0;
    std::string source;
    std::string target;
    std::string root;
    std::int64_t targetListed = 1;
    std::int64_t toTrash = 0;
    std::string trashRun;
};

class Lane final : public RunView
{
public:
    Lane(int in, int out) : m_in(in), m_out(out), m_ops(*this, m_log, m_state, m_totalBytes, m_doneBytes)
    {
        m_ops.SetFileSystem(&m_rooted);
    }

    int Run()
    {
        while (true) {
            if (m_jobs.empty()) {
                if (m_ended)
                    return m_failed ? 1 : 0;
                ReadInput(true);
                continue;
            }
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (!Carry(job))
                return 1;
        }
    }

    // RunView: a lane has no window. Pending input is the run's messages: a cancel must reach
    // the copy between two blocks, as the Cancel button does in a run on one thread.
    void SetLabel(RunLabel, std::string_view) override {}
    void SetFileGauge(int percent) override
    {
        if (m_doneBytes - m_reported < kProgressStep)
            return;
        Send(LaneWriter(LaneMessage::Progress).Number(m_job).Number(m_doneBytes - m_reported).Number(percent).Finish());
        m_reported = m_doneBytes;
    }
    void SetTotalGauge(int) override {}
    void SetAnimation(bool) override {}
    BoxAnswer Ask(std::string_view, std::string_view, BoxButtons buttons) override
    {
        return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
    }
    int ShowPreview(RunDriver&) override { return 0; }
    void ShowResults() override {}
    void Beep() override {}
    void SetStatusLine(std::string_view) override {}
    void ProcessPendingInput() override { ReadInput(false); }
    void Post(RunPhase) override {}
    void CloseRunWindow() override {}

private:
    bool Carry(const Job& job)
    {
        std::int64_t result = kLaneJobSkipped;
        m_job = job.id;
        m_reported = m_doneBytes;
        m_log = SyncLog(SyncLog::LineForm::Raw);
        if (m_state != rsCancelled) {
            // Local targets are reached from a handle of their root, as in the run itself.
            m_rooted.AddRoot(job.root);
            m_ops.SetTrash(job.toTrash != 0, job.trashRun);
            if (job.kind == static_cast<std::int64_t>(LaneJobKind::Copy))
                result = m_ops.CopyFile(job.source, job.target, job.root, job.targetListed != 0);
            else
                result = m_ops.DeleteFile(job.target, job.root) ? 0 : 1;
        }
        LaneWriter answer(LaneMessage::Done);
        answer.Number(job.id)
            .Number(result)
            .Number(m_doneBytes - m_reported)
            .Number(static_cast<std::int64_t>(m_log.Lines().size()));
        for (const std::string& line : m_log.Lines())
            answer.Text(line);
        answer.Number(static_cast<std::int64_t>(m_ops.TakeTrashed()));
        return Send(answer.Finish());
    }

    bool Send(const std::string& frame)
    {
        if (SendAll(m_out, frame) != 0) {
            // The run has gone: nothing is left to do for it.
            m_ended = true;
            m_state = rsCancelled;
            return false;
        }
        return true;
    }

    void ReadInput(bool wait)
    {
        if (m_ended || WaitReadable({m_in}, wait ? -1 : 0).empty())
            return;
        const long n = ReceiveAvailable(m_in, m_input);
        if (n < 0)
            return;
        if (n == 0) {
            // The run closed the connection: a copy in progress is broken off, not finished
            // for nobody.
            m_ended = true;
            m_state = rsCancelled;
            return;
        }
        while (true) {
            bool bad = false;
            std::optional<std::string> frame = TakeLaneFrame(m_input, bad);
            if (bad || (frame && !Handle(*frame))) {
                m_failed = true;
                m_ended = true;
                m_state = rsCancelled;
                return;
            }
            if (!frame)
                return;
        }
    }

    bool Handle(const std::string& payload)
    {
        LaneReader in(payload);
        switch (in.Type()) {
        case LaneMessage::Hello: {
            std::int64_t lang = 0;
            if (!in.Number(lang))
                return false;
            SelectLanguage(static_cast<std::uint16_t>(lang));
            return Send(LaneWriter(LaneMessage::Hello).Finish());
        }
        case LaneMessage::Login: {
            std::string root;
            std::string user;
            std::string password;
            if (!in.Text(root) || !in.Text(user) || !in.Text(password))
                return false;
            const int err = Login(root, user, password);
            std::fill(password.begin(), password.end(), '\0');
            return Send(LaneWriter(LaneMessage::LoginDone).Text(root).Number(err).Finish());
        }
        case LaneMessage::Job: {
            Job job;
            if (!in.Number(job.id) || !in.Number(job.kind) || !in.Text(job.source) || !in.Text(job.target) ||
                !in.Text(job.root) || !in.Number(job.targetListed) || !in.Number(job.toTrash) || !in.Text(job.trashRun))
                return false;
            m_jobs.push_back(std::move(job));
            return true;
        }
        case LaneMessage::Cancel:
            m_state = rsCancelled;
            return true;
        default:
            return false;
        }
    }

    static int Login(const std::string& root, const std::string& user, const std::string& password)
    {
        NetPath share;
        if (!ParseNetPath(root, share))
            return EINVAL;
        int err = 0;
        std::shared_ptr<SmbSession> session = SmbSession::Create(share, user, password, SmbSession::kTimeoutMs, err);
        if (!session)
            return err != 0 ? err : EIO;
        err = session->CheckShare();
        if (err == 0)
            AddSmbSession(NetShareKey(share), std::move(session));
        return err;
    }

    int m_in;
    int m_out;
    RunState m_state = rsExecHost;
    std::int64_t m_totalBytes = 0;
    std::int64_t m_doneBytes = 0;
    std::int64_t m_job = 0;      // the job being carried out
    std::int64_t m_reported = 0; // m_doneBytes when its progress was last reported
    // Raw: the run's own log escapes the lines it receives, once.
    SyncLog m_log{SyncLog::LineForm::Raw};
    FileOps m_ops;
    RootedFileSystem m_rooted;
    std::deque<Job> m_jobs;
    std::string m_input;
    bool m_ended = false;
    bool m_failed = false;
};

} // namespace

int RunLaneWorker(int in, int out)
{
    InstallSmbFileSystem();
    Lane lane(in, out);
    return lane.Run();
}

} // namespace pelmora
