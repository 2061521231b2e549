#pragma once
// The file-system and environment facts behind the program's file names, the folders those
// files need, and where the helper programs are. Called on the UI thread at start-up and
// before a file is written.

#include "core/ProgramFiles.h"

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace pelmora {

// getenv's contract: the value of a variable, or nullptr when it is unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Gathers the facts of ProgramFilesFor for the executable at `exePath`: the three variables
// from `environment`, the user's home folder from the user database when $HOME is empty, and
// the executable folder's contents and write permission from the file system.
ProgramPlace LookUpProgramPlace(std::string_view exePath, const EnvironmentLookup& environment);
// ProgramFilesFor(LookUpProgramPlace(exePath, the process environment)).
ProgramFiles LocateProgramFiles(std::string_view exePath);

// Creates `folder` and every missing folder above it, each new one with `mode` (less the
// umask); existing folders are left as they are. Returns 0, or the errno of the mkdir that
// failed (ENOTDIR when a part is not a folder).
int MakeFolders(std::string_view folder, mode_t mode);
// MakeFolders for the folder that holds `fileName`, mode 0700: the user's files stay private.
int MakeFolderFor(std::string_view fileName);

// The helper program `name` of the executable at `exePath`: beside it (a portable copy or a
// build tree), else in <prefix>/libexec/pelmora/ when the executable is <prefix>/bin/...
// Returns "" when neither is an executable regular file.
std::string FindHelperProgram(std::string_view exePath, std::string_view name);

} // namespace pelmora
