#include "platform/PartialFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <pthread.h>
#include <random>
#include <sys/types.h>
#include <unistd.h>

namespace pelmora {

namespace {

constexpr std::size_t kTagDigits = 16;
constexpr std::string_view kAsideMark = "-old-";
constexpr std::size_t kMaxNameBytes = 255;

// FNV-1a, 64 bits. The machine id is hashed rather than written into names on shared folders:
// it is meant to stay private to the machine.
std::uint64_t Fnv1a(std::string_view text, std::uint64_t hash = 14695981039346656037ull)
{
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// The first line of a small system file, without surrounding white space; empty when missing.
std::string FirstLine(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

std::uint64_t ReadMachineTag()
{
    std::string id = FirstLine("/etc/machine-id");
    if (id.empty()) {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0)
            id = std::string("host:") + host;
    }
    // Pids are only comparable inside one pid namespace: two containers on one machine share
    // its id and its boot, yet cannot see each other's processes.
    char ns[64] = {};
    const ssize_t n = ::readlink("/proc/self/ns/pid", ns, sizeof ns - 1);
    if (n > 0)
        id.append("\n").append(ns, static_cast<std::size_t>(n));
    return Fnv1a(id, Fnv1a("pelmora-partial-machine\n"));
}

std::uint64_t ReadBootTag()
{
    // Without a boot id every name looks written during this boot; that only costs the removal
    // of leftovers whose pid a live process has taken since.
    return Fnv1a(FirstLine("/proc/sys/kernel/random/boot_id"), Fnv1a("pelmora-partial-boot\n"));
}

struct Tags
{
    std::uint64_t machine = ReadMachineTag();
    std::uint64_t boot = ReadBootTag();
};

const Tags& ThisMachine()
{
    static const Tags tags;
    return tags;
}

std::atomic<std::uint64_t>& Counter()
{
    static std::atomic<std::uint64_t> counter{[] {
        std::random_device seed;
        return (static_cast<std::uint64_t>(seed()) << 32) ^ seed();
    }()};
    return counter;
}

bool ParseHex(std::string_view& text, std::uint64_t& out)
{
    if (text.size() < kTagDigits)
        return false;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < kTagDigits; ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    out = value;
    text.remove_prefix(kTagDigits);
    return true;
}

bool ParsePid(std::string_view& text, std::int64_t& out)
{
    std::size_t digits = 0;
    std::int64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (digits == 10)
            return false;
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    // kill() takes 0 and negative numbers for process groups: only real pids are accepted.
    if (digits == 0 || text[0] == '0' || value > 0x7fffffff)
        return false;
    out = value;
    text.remove_prefix(digits);
    return true;
}

bool Skip(std::string_view& text, std::string_view part)
{
    if (text.substr(0, part.size()) != part)
        return false;
    text.remove_prefix(part.size());
    return true;
}

// The rest after a counter: nothing, or the set-aside mark and the original name.
bool ParseTail(std::string_view text, PartialName& out)
{
    if (text.empty())
        return true;
    if (!Skip(text, kAsideMark))
        return false;
    out.aside = true;
    out.original = text;
    return true;
}

std::string_view FolderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string_view NameOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// This process's id, asked of the kernel once (glibc no longer keeps it) and again in the child
// of a fork, which the handler below catches.
std::atomic<pid_t> g_pid{0};

pid_t ThisPid()
{
    static const bool watched = [] {
        ::pthread_atfork(nullptr, nullptr, [] { g_pid.store(::getpid(), std::memory_order_relaxed); });
        return true;
    }();
    (void)watched;
    pid_t pid = g_pid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = ::getpid();
        g_pid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

} // namespace

PartialWriter ThisWriter()
{
    const Tags& tags = ThisMachine();
    return {tags.machine, tags.boot, static_cast<std::int64_t>(ThisPid())};
}

std::string PartialFileName(const PartialWriter& writer, std::uint64_t counter)
{
    char text[96];
    std::snprintf(text, sizeof text, "%016llx-%016llx-%lld-%016llx", static_cast<unsigned long long>(writer.machine),
                  static_cast<unsigned long long>(writer.boot), static_cast<long long>(writer.pid),
                  static_cast<unsigned long long>(counter));
    std::string name(kPartialFilePrefix);
    name += text;
    return name;
}

std::string NewPartialFileName()
{
    return PartialFileName(ThisWriter(), Counter().fetch_add(1, std::memory_order_relaxed));
}

std::string NewAsideFileName(std::string_view originalName)
{
    std::string name = NewPartialFileName();
    name += kAsideMark;
    if (name.size() + originalName.size() <= kMaxNameBytes)
        name += originalName;
    return name;
}

bool ParsePartialFileName(std::string_view name, PartialName& out)
{
    PartialName parsed;
    std::string_view rest = name;
    if (!Skip(rest, kPartialFilePrefix) || !ParseHex(rest, parsed.counter))
        return false;
    if (rest.empty() || rest.substr(0, kAsideMark.size()) == kAsideMark) {
        // The older form: a counter and nothing about its writer.
        parsed.knownWriter = false;
        if (!ParseTail(rest, parsed))
            return false;
        out = parsed;
        return true;
    }
    parsed.writer.machine = parsed.counter;
    if (!Skip(rest, "-") || !ParseHex(rest, parsed.writer.boot) || !Skip(rest, "-") ||
        !ParsePid(rest, parsed.writer.pid) || !Skip(rest, "-") || !ParseHex(rest, parsed.counter) ||
        !ParseTail(rest, parsed))
        return false;
    out = parsed;
    return true;
}

bool IsPartialFileName(std::string_view name)
{
    PartialName parsed;
    return ParsePartialFileName(name, parsed);
}

PartialState ClassifyPartialFile(std::string_view name, const PartialWriter& self,
                                 const std::function<bool(std::int64_t)>& processExists)
{
    PartialName parsed;
    if (!ParsePartialFileName(name, parsed))
        return PartialState::NotOurs;
    if (!parsed.knownWriter)
        return PartialState::UnknownWriter;
    if (parsed.writer.machine != self.machine)
        return PartialState::OtherMachine;
    if (parsed.writer.boot != self.boot)
        return PartialState::Stale;
    return processExists(parsed.writer.pid) ? PartialState::Live : PartialState::Stale;
}

PartialState ClassifyPartialFile(std::string_view name)
{
    return ClassifyPartialFile(name, ThisWriter(), ProcessExists);
}

bool ProcessExists(std::int64_t pid)
{
    if (pid <= 0 || pid > 0x7fffffff)
        return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

int RemoveStalePartials(FileSystem& fs, const std::vector<std::string>& paths)
{
    int cleared = 0;
    for (const std::string& path : paths) {
        PartialName parsed;
        if (!ParsePartialFileName(NameOf(path), parsed))
            continue;
        if (parsed.aside) {
            // Without its own name nobody can tell where it belongs: it stays.
            if (parsed.original.empty())
                continue;
            std::string original(FolderOf(path));
            if (original != "/")
                original += '/';
            original += parsed.original;
            FileStat st;
            const int found = fs.Stat(original, st);
            if (found == ENOENT) {
                cleared += fs.RenameNew(path, original) == 0;
                continue;
            }
            if (found != 0)
                continue;
        }
        int rc = fs.RemoveFile(path);
        if (rc != 0 && rc != ENOENT) {
            // A share refuses to delete a read-only file (with EACCES or EINVAL, depending on
            // the server); a copy sets the source's mode on its temporary file before the
            // rename.
            FileStat st;
            if (fs.Stat(path, st) == 0 && (st.mode & 0200) == 0 && fs.SetMode(path, (st.mode & 07777) | 0200) == 0)
                rc = fs.RemoveFile(path);
        }
        cleared += rc == 0;
    }
    return cleared;
}

} // namespace pelmora
