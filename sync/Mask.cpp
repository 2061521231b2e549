#include "sync/Mask.h"

#include "sync/FileLists.h"

namespace pelmora {

namespace {

constexpr int kMaxWildcards = 30;

// Bytes of the UTF-8 character at pos: 2-4 for a well-formed multi-byte sequence, else 1
// (ASCII, or a stray byte that is taken as a character of its own).
std::size_t charLength(std::string_view s, std::size_t pos)
{
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t n = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        n = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        n = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        n = 4;
    if (n == 1 || pos + n > s.size())
        return 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[pos + i]) & 0xC0) != 0x80)
            return 1;
    return n;
}

std::string formatError(std::string_view mask, int position)
{
    std::string text = "'";
    text.append(mask);
    text.append("' is an invalid mask at (");
    text.append(std::to_string(position));
    text.append(")");
    return text;
}

} // namespace

EMaskError::EMaskError(std::string_view mask, int position)
    : std::runtime_error(formatError(mask, position)), m_mask(mask), m_position(position)
{
}

TMask::TMask(std::string_view mask)
{
    bool pending = false;
    int wildcards = 0;
    // Writes one state, taking the pending '*' as its skip-before flag. `at` is the 0-based
    // position of the character that produced it, for the error text.
    auto write = [&](State st, std::size_t at) {
        if (pending) {
            if (++wildcards > kMaxWildcards)
                throw EMaskError(mask, static_cast<int>(at) + 1);
            st.skipBefore = true;
            pending = false;
        }
        m_states.push_back(st);
    };

    std::size_t i = 0;
    while (i < mask.size()) {
        const char c = mask[i];
        if (c == '*') {
            pending = true;
            ++i;
        } else if (c == '?') {
            // After a '*' a '?' adds nothing: "*?" is "*".
            if (!pending) {
                State st;
                st.kind = Kind::Any;
                write(st, i);
            }
            ++i;
        } else if (c == '[') {
            const std::size_t start = i;
            State st;
            st.kind = Kind::Set;
            std::array<std::uint64_t, 4> table{};
            ++i;
            if (i < mask.size() && mask[i] == '!') {
                st.negate = true;
                ++i;
            }
            bool anyMember = false;
            int previous = -1; // the last single-byte member, the left end of a range
            bool closed = false;
            while (i < mask.size()) {
                const char m = mask[i];
                if (m == ']') {
                    closed = true;
                    break;
                }
                const std::size_t len = charLength(mask, i);
                if (len > 1) {
                    // A multi-byte character cannot be a member: sets test single bytes.
                    anyMember = true;
                    previous = -1;
                    i += len;
                    continue;
                }
                if (m == '-') {
                    if (i + 1 < mask.size() && mask[i + 1] == ']') {
                        // A '-' just before ']' is the hyphen itself.
                        table[static_cast<unsigned char>('-') >> 6] |= 1ull << ('-' & 63);
                        anyMember = true;
                        ++i;
                        continue;
                    }
                    if (previous < 0)
                        throw EMaskError(mask, static_cast<int>(i) + 1);
                    ++i;
                    if (i >= mask.size())
                        break;
                    if (charLength(mask, i) > 1) {
                        previous = -1;
                        i += charLength(mask, i);
                        continue;
                    }
                    const int last = static_cast<unsigned char>(FoldAscii(mask[i]));
                    for (int b = previous; b <= last; ++b)
                        table[static_cast<std::size_t>(b) >> 6] |= 1ull << (b & 63);
                    previous = -1;
                    ++i;
                    continue;
                }
                const int b = static_cast<unsigned char>(FoldAscii(m));
                table[static_cast<std::size_t>(b) >> 6] |= 1ull << (b & 63);
                anyMember = true;
                previous = b;
                ++i;
            }
            if (!closed)
                throw EMaskError(mask, static_cast<int>(mask.size()) + 1);
            if (!anyMember)
                throw EMaskError(mask, static_cast<int>(i) + 1);
            st.setIndex = static_cast<std::uint32_t>(m_sets.size());
            m_sets.push_back(table);
            write(st, start);
            ++i; // the ']'
        } else {
            State st;
            const std::size_t len = charLength(mask, i);
            if (len > 1) {
                st.kind = Kind::Multibyte;
                st.length = static_cast<std::uint8_t>(len);
                for (std::size_t k = 0; k < len; ++k)
                    st.bytes[k] = mask[i + k];
            } else {
                st.bytes[0] = FoldAscii(c);
            }
            write(st, i);
            i += len;
        }
    }
    State end; // literal 0: the end of the name
    write(end, mask.size());
}

bool TMask::fits(const State& st, std::string_view name, std::size_t pos) const
{
    switch (st.kind) {
    case Kind::Literal:
        if (st.bytes[0] == '\0')
            return pos == name.size();
        return pos < name.size() && FoldAscii(name[pos]) == st.bytes[0] && charLength(name, pos) == 1;
    case Kind::Any:
        return pos < name.size();
    case Kind::Set: {
        if (pos >= name.size())
            return false;
        bool member = false;
        if (charLength(name, pos) == 1) {
            const auto b = static_cast<unsigned char>(FoldAscii(name[pos]));
            member = (m_sets[st.setIndex][b >> 6] >> (b & 63)) & 1;
        }
        return member != st.negate;
    }
    case Kind::Multibyte:
        return pos + st.length <= name.size() &&
               name.compare(pos, st.length, std::string_view(st.bytes, st.length)) == 0;
    }
    return false;
}

bool TMask::Matches(std::string_view name) const
{
    // Every state takes exactly one character, so when an attempt fails only the most recent
    // '*' needs another try: moving an earlier '*' on cannot help once the later one has run
    // out of positions. Keeping that one resume point gives the same answers as a full
    // backtracking stack in O(name x states) time.
    std::size_t pos = 0;
    std::size_t s = 0;
    bool haveResume = false;
    std::size_t resumePos = 0;
    std::size_t resumeState = 0;
    for (;;) {
        const State& st = m_states[s];
        bool ok = true;
        if (st.skipBefore) {
            while (pos < name.size() && !fits(st, name, pos))
                pos += charLength(name, pos);
            if (pos < name.size()) {
                haveResume = true;
                resumePos = pos + charLength(name, pos);
                resumeState = s;
            }
        }
        ok = fits(st, name, pos);
        if (ok) {
            if (st.kind == Kind::Literal && st.bytes[0] == '\0')
                return true;
            pos += st.kind == Kind::Multibyte ? st.length : charLength(name, pos);
            ++s;
            continue;
        }
        if (!haveResume)
            return false;
        haveResume = false;
        pos = resumePos;
        s = resumeState;
    }
}

bool MatchMask(std::string_view name, std::string_view mask)
{
    return TMask(mask).Matches(name);
}

TMaskList::TMaskList(const std::vector<std::string>& masks)
{
    m_masks.reserve(masks.size());
    for (const std::string& m : masks)
        m_masks.emplace_back(m);
}

bool TMaskList::MatchesAny(std::string_view name) const
{
    for (const TMask& m : m_masks)
        if (m.Matches(name))
            return true;
    return false;
}

bool MatchesAnyMask(const std::vector<std::string>& list, std::string_view name)
{
    for (const std::string& m : list)
        if (MatchMask(name, m))
            return true;
    return false;
}

} // namespace pelmora
