#pragma once
// RunProgress: the figures behind the run window's progress line — the copy rate averaged over
// the last few seconds, the time left for the whole run and "file n of N" — and the line
// itself. Plain arithmetic on the millisecond ticks the caller passes in, so a test can drive it
// with any clock. Used by the run's file operations on the UI thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmora {

class RunProgress
{
public:
    // The rate is the bytes done over (about) the last kWindowMs, sampled every kSampleMs; it
    // is known once kMinSpanMs have been seen, so the first blocks of a run do not set it.
    static constexpr std::uint64_t kWindowMs = 5000;
    static constexpr std::uint64_t kSampleMs = 250;
    static constexpr std::uint64_t kMinSpanMs = 1000;
    // The line is due again at most this often: a few times a second is as fast as anyone reads.
    static constexpr std::uint64_t kShowEveryMs = 400;

    // A new stretch of file operations: `fileCount` of them, `totalBytes` to copy, and a speed
    // limit of `limitBytesPerSecond` (0 or less: none). Nothing is done before Start().
    void Start(std::uint64_t nowMs, std::int64_t totalBytes, int fileCount, std::int64_t limitBytesPerSecond);
    // Stops following the run: Update() is never due again until the next Start().
    void Stop() { m_active = false; }
    bool Active() const { return m_active; }

    // Operation `number` (1-based) begins; the ones before it are done.
    void SetFile(int number)
    {
        m_file = number;
        m_filesDone = number - 1;
    }
    // The operation under way has ended too (the last one of the run, or the run broke off).
    void FileDone() { m_filesDone = m_file; }

    // Takes the bytes done so far at `nowMs`. When the line is due (the first time after
    // Start(), then at most every kShowEveryMs, or whenever `force` is set) the rate and the
    // time left that Line() gives are taken anew, and true is returned. Returns false when not
    // started.
    bool Update(std::uint64_t nowMs, std::int64_t doneBytes, bool force = false);

    // Bytes per second over the last kWindowMs; -1 while less than kMinSpanMs has been seen.
    std::int64_t BytesPerSecond() const;
    // Whole seconds (rounded up) for what remains: the bytes, or in a run that copies nothing,
    // the operations. With a speed limit the rate it assumes is never above the limit, and it
    // is the limit itself before a rate is known. -1 when it cannot be told (nothing measured
    // and no limit, or nothing moved over the last kWindowMs).
    std::int64_t SecondsLeft() const;
    int File() const { return m_file; }
    int FileCount() const { return m_fileCount; }

    // The line as the window shows it: "1.5M/s, 2 min 5 s left, file 3 of 40", or "File 3 of
    // 40" while the rate or the time left is not known yet. The figures are those of the last
    // due Update(); the file number is the current one, so that it never lags behind the file
    // the window names.
    std::string Line() const;

private:
    struct Sample
    {
        std::uint64_t ms = 0;
        std::int64_t bytes = 0;
        int files = 0;
    };
    static constexpr int kSamples = static_cast<int>(kWindowMs / kSampleMs) + 2;

    const Sample& oldest() const { return m_samples[static_cast<std::size_t>(m_first)]; }
    const Sample& newest() const;

    bool m_active = false;
    std::int64_t m_totalBytes = 0;
    std::int64_t m_limit = 0;
    int m_fileCount = 0;
    int m_file = 0;
    int m_filesDone = 0;
    std::uint64_t m_nowMs = 0;
    std::int64_t m_doneBytes = 0;
    std::uint64_t m_shownMs = 0;
    bool m_shown = false;
    std::int64_t m_rateShown = -1;
    std::int64_t m_leftShown = -1;
    // A ring of samples, oldest at m_first.
    Sample m_samples[kSamples];
    int m_first = 0;
    int m_count = 0;
};

// A duration as the progress line gives it: "45 s", "3 min 20 s", "2 h 5 min". Negative counts
// read as 0.
std::string DurationText(std::int64_t seconds);

} // namespace pelmora
