#pragma once
// The messages between a run and its copy lanes (helper processes that carry out file
// operations of the run in parallel). A message is a frame: its length as four bytes (least
// significant first), then a type byte and the fields. Numbers are eight bytes, texts a
// four-byte length and the bytes, so paths may hold any byte.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

enum class LaneMessage : std::uint8_t {
    // run -> lane
    Hello = 1,      // run -> lane: language id; lane -> run: no fields (the lane is ready)
    Login = 2,      // share key, share path, user name, password
    Job = 3,        // id, kind, source, target, target root, target listed (0 or 1), to trash (0 or 1),
                    // the run's trash folder
    Cancel = 4,     // every job not finished ends; those not begun are skipped
                    // lane -> run
    LoginDone = 10, // share key, errno value (0: logged in)
    Progress = 11,  // id, bytes moved since the last report, the file's percentage
    Done = 12,      // id, result, bytes since the last report, line count, the result-log lines,
                    // files moved into the trash
};

enum class LaneJobKind : std::uint8_t {
    Copy = 1,
    Delete = 2,
};

// The result of a job that was skipped because the run was cancelled before it began.
inline constexpr std::int64_t kLaneJobSkipped = -1;

// A frame larger than this is refused as garbage: no field of a real message comes close.
inline constexpr std::uint32_t kMaxLaneFrame = 16u * 1024 * 1024;

class LaneWriter
{
public:
    explicit LaneWriter(LaneMessage type);
    LaneWriter& Number(std::int64_t value);
    LaneWriter& Text(std::string_view value);
    // The frame, its length filled in.
    std::string Finish();

private:
    std::string m_frame;
};

class LaneReader
{
public:
    // `payload` is a frame without its length: type byte and fields.
    explicit LaneReader(std::string_view payload);
    LaneMessage Type() const { return m_type; }
    // Each returns false, leaving `out` alone, when the payload ends too soon.
    bool Number(std::int64_t& out);
    bool Text(std::string& out);
    bool AtEnd() const { return m_rest.empty(); }

private:
    LaneMessage m_type{};
    std::string_view m_rest;
};

// Takes the first whole frame from the front of `buffer` and returns its payload; nullopt
// when the frame has not fully arrived yet. `bad` is set for a frame that cannot be right
// (empty or too large): the connection must then be dropped.
std::optional<std::string> TakeLaneFrame(std::string& buffer, bool& bad);

} // namespace pelmora
