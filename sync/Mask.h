#pragma once
// Wildcard masks for bare file names: '*', '?', sets "[a-c]" and negated sets "[!a-c]", ASCII
// letters matched without regard to case, UTF-8 characters taken whole. A mask is compiled
// once into match states and then tested against many names. UI thread (no shared state).

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Raised when a mask text is not a valid mask. what() is "'<mask>' is an invalid mask at (<n>)"
// with the 1-based position of the character at which compilation stopped.
class EMaskError : public std::runtime_error
{
public:
    EMaskError(std::string_view mask, int position);
    const std::string& MaskText() const { return m_mask; }
    int Position() const { return m_position; }

private:
    std::string m_mask;
    int m_position;
};

class TMask
{
public:
    // Compiles the mask; throws EMaskError for an unterminated or empty set, a '-' at the
    // start of a set, or more than 30 wildcards.
    explicit TMask(std::string_view mask);

    // True when the whole name matches.
    bool Matches(std::string_view name) const;

private:
    enum class Kind : std::uint8_t {
        Literal,   // one byte, stored upper-cased; byte 0 is the terminating state (end of name)
        Any,       // '?': one whole character
        Set,       // one whole character that is (or, negated, is not) a member
        Multibyte, // one UTF-8 character of 2-4 bytes
    };
    struct State
    {
        Kind kind = Kind::Literal;
        bool skipBefore = false;
        bool negate = false;
        std::uint8_t length = 1; // bytes of a Multibyte literal
        char bytes[4] = {};      // Literal: bytes[0]; Multibyte: the character
        std::uint32_t setIndex = 0;
    };

    bool fits(const State& st, std::string_view name, std::size_t pos) const;

    std::vector<State> m_states;
    std::vector<std::array<std::uint64_t, 4>> m_sets;
};

// Compiles the mask and tests the name; throws EMaskError for an invalid mask.
bool MatchMask(std::string_view name, std::string_view mask);

// A list of masks compiled together, tried in list order. Blank lines are kept: they match
// only an empty name, so they never match a file.
class TMaskList
{
public:
    TMaskList() = default;
    // Throws EMaskError for the first invalid mask of the list.
    explicit TMaskList(const std::vector<std::string>& masks);

    // True when the name matches at least one mask; false for an empty list.
    bool MatchesAny(std::string_view name) const;
    bool Empty() const { return m_masks.empty(); }

private:
    std::vector<TMask> m_masks;
};

// True when the name matches at least one mask of the list (compiled on each call; use
// TMaskList when testing many names). Throws EMaskError for an invalid mask.
bool MatchesAnyMask(const std::vector<std::string>& list, std::string_view name);
inline bool MatchesAnyMask(const TMaskList& list, std::string_view name)
{
    return list.MatchesAny(name);
}

} // namespace pelmora
