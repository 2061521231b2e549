#include "platform/ProgramPlace.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

std::string folderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

bool exists(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

bool isExecutableFile(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string userDatabaseHome()
{
    std::vector<char> buffer(16384);
    struct passwd entry
    {
    };
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr)
        return {};
    return found->pw_dir;
}

std::string value(const EnvironmentLookup& environment, const char* name)
{
    const char* text = environment ? environment(name) : nullptr;
    return text != nullptr ? text : "";
}

} // namespace

ProgramPlace LookUpProgramPlace(std::string_view exePath, const EnvironmentLookup& environment)
{
    ProgramPlace place;
    place.exePath = exePath;
    place.xdgConfigHome = value(environment, "XDG_CONFIG_HOME");
    place.xdgStateHome = value(environment, "XDG_STATE_HOME");
    place.home = value(environment, "HOME");
    if (place.home.empty())
        place.home = userDatabaseHome();

    const std::string folder = folderOf(exePath);
    place.configBeside = exists(folder + "/" + std::string(kConfigBaseName));
    place.inBuildTree = exists(folder + "/CMakeCache.txt") || exists(folderOf(folder) + "/CMakeCache.txt");
    place.folderWritable = ::access(folder.c_str(), W_OK | X_OK) == 0;
    return place;
}

ProgramFiles LocateProgramFiles(std::string_view exePath)
{
    return ProgramFilesFor(LookUpProgramPlace(exePath, [](const char* name) { return std::getenv(name); }));
}

int MakeFolders(std::string_view folder, mode_t mode)
{
    if (folder.empty())
        return 0;
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::string parent = folderOf(path);
    if (parent != path) {
        if (const int err = MakeFolders(parent, mode); err != 0)
            return err;
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int MakeFolderFor(std::string_view fileName)
{
    return MakeFolders(folderOf(fileName), 0700);
}

std::string FindHelperProgram(std::string_view exePath, std::string_view name)
{
    const std::string folder = folderOf(exePath);
    const std::string beside = folder + "/" + std::string(name);
    if (isExecutableFile(beside))
        return beside;
    // <prefix>/bin/pelmora finds its helpers in <prefix>/libexec/pelmora/.
    const std::string installed = folderOf(folder) + "/libexec/pelmora/" + std::string(name);
    if (folder.size() > 4 && folder.ends_with("/bin") && isExecutableFile(installed))
        return installed;
    return {};
}

} // namespace pelmora
