#include "sync/LaneProtocol.h"

namespace pelmora {

namespace {

void PutUnsigned(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t GetUnsigned(std::string_view in, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[static_cast<std::size_t>(i)])) << (8 * i);
    return value;
}

} // namespace

LaneWriter::LaneWriter(LaneMessage type)
{
    m_frame.assign(4, '\0');
    m_frame.push_back(static_cast<char>(type));
}

LaneWriter& LaneWriter::Number(std::int64_t value)
{
    PutUnsigned(m_frame, static_cast<std::uint64_t>(value), 8);
    return *this;
}

LaneWriter& LaneWriter::Text(std::string_view value)
{
    PutUnsigned(m_frame, value.size(), 4);
    m_frame.append(value);
    return *this;
}

std::string LaneWriter::Finish()
{
    const std::uint64_t length = m_frame.size() - 4;
    for (int i = 0; i < 4; ++i)
        m_frame[static_cast<std::size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xff);
    return std::move(m_frame);
}

LaneReader::LaneReader(std::string_view payload)
{
    if (!payload.empty()) {
        m_type = static_cast<LaneMessage>(static_cast<unsigned char>(payload.front()));
        m_rest = payload.substr(1);
    }
}

bool LaneReader::Number(std::int64_t& out)
{
    if (m_rest.size() < 8)
        return false;
    out = static_cast<std::int64_t>(GetUnsigned(m_rest, 8));
    m_rest.remove_prefix(8);
    return true;
}

bool LaneReader::Text(std::string& out)
{
    if (m_rest.size() < 4)
        return false;
    const std::uint64_t length = GetUnsigned(m_rest, 4);
    if (m_rest.size() - 4 < length)
        return false;
    out.assign(m_rest.substr(4, length));
    m_rest.remove_prefix(4 + length);
    return true;
}

std::optional<std::string> TakeLaneFrame(std::string& buffer, bool& bad)
{
    bad = false;
    if (buffer.size() < 4)
        return std::nullopt;
    const std::uint64_t length = GetUnsigned(buffer, 4);
    if (length == 0 || length > kMaxLaneFrame) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() - 4 < length)
        return std::nullopt;
    std::string payload = buffer.substr(4, length);
    buffer.erase(0, 4 + length);
    return payload;
}

} // namespace pelmora
