// Temporary file names of copies: which names count as ours, how a name's writer decides
// whether a later run may remove it, and what clearing stale ones does on disk.

#include "platform/FileSystem.h"
#include "platform/PartialFiles.h"
#include "tests/support/FaultFileSystem.h"

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

// The pid of a child that has exited and been reaped: no process of that pid exists (until the
// system hands the number out again, which takes a full round of pids).
std::int64_t DeadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST(PartialNameTest, NewNamesSayWhoWritesThem)
{
    const PartialWriter self = ThisWriter();
    EXPECT_EQ(self.pid, static_cast<std::int64_t>(::getpid()));
    EXPECT_NE(self.machine, 0u);

    const std::string a = NewPartialFileName();
    const std::string b = NewPartialFileName();
    EXPECT_NE(a, b);
    const std::regex form(R"(\.pelmora-partial-[0-9a-f]{16}-[0-9a-f]{16}-[1-9][0-9]*-[0-9a-f]{16})");
    EXPECT_TRUE(std::regex_match(a, form)) << a;

    PartialName parsed;
    ASSERT_TRUE(ParsePartialFileName(a, parsed));
    EXPECT_TRUE(parsed.knownWriter);
    EXPECT_FALSE(parsed.aside);
    EXPECT_EQ(parsed.writer.machine, self.machine);
    EXPECT_EQ(parsed.writer.boot, self.boot);
    EXPECT_EQ(parsed.writer.pid, self.pid);

    // A forked child names its files after itself, not after its parent: otherwise a later run
    // would take them for the parent's and leave them while it lives.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(ThisWriter().pid == static_cast<std::int64_t>(::getpid()) ? 0 : 1);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child named its files after its parent";

    // A crafted writer comes back exactly.
    const PartialWriter other{0x0123456789abcdefull, 0xfedcba9876543210ull, 4194303};
    const std::string crafted = PartialFileName(other, 0x2a);
    EXPECT_EQ(crafted, ".pelmora-partial-0123456789abcdef-fedcba9876543210-4194303-000000000000002a");
    ASSERT_TRUE(ParsePartialFileName(crafted, parsed));
    EXPECT_EQ(parsed.writer.machine, other.machine);
    EXPECT_EQ(parsed.writer.boot, other.boot);
    EXPECT_EQ(parsed.writer.pid, other.pid);
    EXPECT_EQ(parsed.counter, 0x2au);
}

TEST(PartialNameTest, SetAsideNamesKeepTheOriginalNameWhereItFits)
{
    const std::string aside = NewAsideFileName("report.doc");
    PartialName parsed;
    ASSERT_TRUE(ParsePartialFileName(aside, parsed));
    EXPECT_TRUE(parsed.aside);
    EXPECT_EQ(parsed.original, "report.doc");
    EXPECT_EQ(parsed.writer.pid, static_cast<std::int64_t>(::getpid()));

    const std::string longName(240, 'n');
    const std::string cut = NewAsideFileName(longName);
    EXPECT_LE(cut.size(), 255u);
    ASSERT_TRUE(ParsePartialFileName(cut, parsed));
    EXPECT_TRUE(parsed.aside);
    EXPECT_TRUE(parsed.original.empty());
}

TEST(PartialNameTest, NamesThatMerelyBeginWithThePrefixAreUserFiles)
{
    const std::string good = PartialFileName({0x0123456789abcdefull, 0xfedcba9876543210ull, 321}, 7);
    ASSERT_TRUE(IsPartialFileName(good));
    const std::string m = "0123456789abcdef", b = "fedcba9876543210", c = "0000000000000007";
    const std::string p = ".pelmora-partial-";
    for (const std::string& name : {
             p + "notes.txt",
             p,
             p + "123",
             p + m + "-" + b + "-321-" + c + ".txt",          // something after the counter
             p + m + "-" + b + "-321-" + c + "-new",          // not the set-aside mark
             p + "0123456789ABCDEF-" + b + "-321-" + c,       // upper-case hex
             p + m.substr(1) + "-" + b + "-321-" + c,         // a tag too short
             p + m + "0-" + b + "-321-" + c,                  // a tag too long
             p + m + "-" + b + "-0321-" + c,                  // a leading zero
             p + m + "-" + b + "-0-" + c,                     // pid 0 is a process group
             p + m + "-" + b + "--1-" + c,                    // so is a negative one
             p + m + "-" + b + "-12345678901-" + c,           // more digits than a pid has
             p + m + "-" + b + "-321-" + c.substr(1),         // a counter too short
             p + m + "_" + b + "_321_" + c,                   // other separators
             ".Pelmora-partial-" + m + "-" + b + "-321-" + c, // the prefix in another case
             "x" + good,
         }) {
        EXPECT_FALSE(IsPartialFileName(name)) << name;
        EXPECT_EQ(ClassifyPartialFile(name), PartialState::NotOurs) << name;
    }
}

TEST(PartialNameTest, TheWriterDecidesWhetherANameIsStale)
{
    const PartialWriter self{0x1111111111111111ull, 0x2222222222222222ull, 100};
    const std::set<std::int64_t> alive = {100, 200};
    const auto exists = [&](std::int64_t pid) { return alive.count(pid) != 0; };
    const auto state = [&](const PartialWriter& writer) {
        return ClassifyPartialFile(PartialFileName(writer, 5), self, exists);
    };

    EXPECT_EQ(state({self.machine, self.boot, 100}), PartialState::Live);  // this process
    EXPECT_EQ(state({self.machine, self.boot, 200}), PartialState::Live);  // another live one, a lane
    EXPECT_EQ(state({self.machine, self.boot, 300}), PartialState::Stale); // its writer is gone
    // Written before a reboot: gone, even where a process now holds the same pid.
    EXPECT_EQ(state({self.machine, 0x3333333333333333ull, 200}), PartialState::Stale);
    EXPECT_EQ(state({self.machine, 0x3333333333333333ull, 300}), PartialState::Stale);
    // Another machine's processes cannot be looked at: never stale, alive here or not.
    EXPECT_EQ(state({0x4444444444444444ull, self.boot, 300}), PartialState::OtherMachine);
    EXPECT_EQ(state({0x4444444444444444ull, 0x3333333333333333ull, 300}), PartialState::OtherMachine);

    // Set-aside files follow the same rule.
    const std::string aside = PartialFileName({self.machine, self.boot, 300}, 5) + "-old-a.txt";
    EXPECT_EQ(ClassifyPartialFile(aside, self, exists), PartialState::Stale);

    // The older names without a writer are still never taken for user files, and never removed.
    EXPECT_EQ(ClassifyPartialFile(".pelmora-partial-0123456789abcdef", self, exists), PartialState::UnknownWriter);
    EXPECT_EQ(ClassifyPartialFile(".pelmora-partial-0123456789abcdef-old-a.txt", self, exists),
              PartialState::UnknownWriter);
    EXPECT_EQ(ClassifyPartialFile(".pelmora-partial-notes.txt", self, exists), PartialState::NotOurs);
}

TEST(PartialNameTest, ProcessesAreLookedUpForReal)
{
    EXPECT_TRUE(ProcessExists(::getpid()));
    EXPECT_TRUE(ProcessExists(1)); // init: exists, whether or not it may be signalled
    const std::int64_t dead = DeadPid();
    EXPECT_FALSE(ProcessExists(dead));

    const PartialWriter self = ThisWriter();
    EXPECT_EQ(ClassifyPartialFile(PartialFileName(self, 1)), PartialState::Live);
    EXPECT_EQ(ClassifyPartialFile(PartialFileName({self.machine, self.boot, dead}, 1)), PartialState::Stale);
    EXPECT_EQ(ClassifyPartialFile(PartialFileName({self.machine, self.boot ^ 1, self.pid}, 1)), PartialState::Stale);
    EXPECT_EQ(ClassifyPartialFile(PartialFileName({self.machine ^ 1, self.boot, dead}, 1)), PartialState::OtherMachine);
}

class StalePartialsTest : public testing::Test
{
protected:
    void SetUp() override { root = m_folder.Root(); }
    std::string path(const std::string& name) const { return root + "/" + name; }
    void write(const std::string& name, const std::string& content) const
    {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string read(const std::string& name) const { return test::ReadBytes(path(name)); }
    std::set<std::string> names() const
    {
        std::set<std::string> out;
        for (const auto& entry : fs::directory_iterator(root))
            out.insert(entry.path().filename().string());
        return out;
    }
    std::string deadName(const std::string& tail = "") const
    {
        const PartialWriter self = ThisWriter();
        return PartialFileName({self.machine, self.boot, m_dead}, m_counter++) + tail;
    }

    test::TempFolder m_folder{"partials"};
    std::string root;
    std::int64_t m_dead = DeadPid();
    mutable std::uint64_t m_counter = 1;
};

TEST_F(StalePartialsTest, HalfCopiesGoAndSetAsideFilesGoBackWhereTheyBelong)
{
    const std::string half = deadName();
    write(half, "half a copy");
    // Stopped between moving the old file aside and moving the new one in: the old one returns.
    const std::string orphan = deadName("-old-letter.txt");
    write(orphan, "old letter");
    // Stopped after the new file was moved in: the old one is no longer needed.
    const std::string superseded = deadName("-old-report.doc");
    write(superseded, "old report");
    write("report.doc", "new report");
    // Set aside under a name too long to keep the original: nobody knows where it belongs.
    const std::string nameless = deadName("-old-");
    write(nameless, "old something");

    const int cleared =
        RemoveStalePartials(LocalFileSystem(), {path(half), path(orphan), path(superseded), path(nameless)});

    EXPECT_EQ(cleared, 3);
    EXPECT_EQ(names(), (std::set<std::string>{"letter.txt", "report.doc", nameless}));
    EXPECT_EQ(read("letter.txt"), "old letter");
    EXPECT_EQ(read("report.doc"), "new report");
}

TEST_F(StalePartialsTest, ReadOnlyLeftoversGoAndFailuresAreLeftForTheNextRun)
{
    const std::string readOnly = deadName();
    write(readOnly, "read-only copy");
    ::chmod(path(readOnly).c_str(), 0444);
    const std::string stuck = deadName();
    write(stuck, "cannot go");

    // A share refuses to delete a read-only file; the wrapper plays that share.
    FaultFileSystem faults(LocalFileSystem());
    faults.AddFault({FsCall::RemoveFile, path(readOnly), 1, EINVAL});
    faults.AddFault({FsCall::RemoveFile, path(stuck), 0, EBUSY});

    EXPECT_EQ(RemoveStalePartials(faults, {path(readOnly), path(stuck), path("missing")}), 1);
    EXPECT_EQ(names(), std::set<std::string>{stuck});
    EXPECT_EQ(faults.Calls(FsCall::SetMode), 1); // only the read-only one is made writable
}

} // namespace
} // namespace pelmora
