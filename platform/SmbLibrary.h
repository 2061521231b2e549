#pragma once
// The SMB client library, loaded when a share is first used rather than linked: it brings
// dozens of libraries of its own, which a program that never touches a share should not pay
// for at every start. Loaded once per process; any thread may call SmbClient().

#include <libsmbclient.h>

#include <string>

namespace pelmora {

// The library's functions this program calls, under their own names without "smbc_".
// Every pointer is set when the table is handed out.
struct SmbLibrary
{
    decltype(&smbc_new_context) new_context;
    decltype(&smbc_init_context) init_context;
    decltype(&smbc_free_context) free_context;
    decltype(&smbc_setDebug) setDebug;
    decltype(&smbc_setOptionDebugToStderr) setOptionDebugToStderr;
    decltype(&smbc_setOptionUserData) setOptionUserData;
    decltype(&smbc_getOptionUserData) getOptionUserData;
    decltype(&smbc_setFunctionAuthDataWithContext) setFunctionAuthDataWithContext;
    decltype(&smbc_setTimeout) setTimeout;
    decltype(&smbc_setPort) setPort;
    decltype(&smbc_setOptionUseKerberos) setOptionUseKerberos;
    decltype(&smbc_setOptionFallbackAfterKerberos) setOptionFallbackAfterKerberos;
    decltype(&smbc_setOptionUseCCache) setOptionUseCCache;
    decltype(&smbc_setOptionNoAutoAnonymousLogin) setOptionNoAutoAnonymousLogin;
    decltype(&smbc_getFunctionOpen) getFunctionOpen;
    decltype(&smbc_getFunctionRead) getFunctionRead;
    decltype(&smbc_getFunctionWrite) getFunctionWrite;
    decltype(&smbc_getFunctionClose) getFunctionClose;
    decltype(&smbc_getFunctionStat) getFunctionStat;
    decltype(&smbc_getFunctionRename) getFunctionRename;
    decltype(&smbc_getFunctionUnlink) getFunctionUnlink;
    decltype(&smbc_getFunctionChmod) getFunctionChmod;
    decltype(&smbc_getFunctionUtimes) getFunctionUtimes;
    decltype(&smbc_getFunctionMkdir) getFunctionMkdir;
    decltype(&smbc_getFunctionRmdir) getFunctionRmdir;
    decltype(&smbc_getFunctionOpendir) getFunctionOpendir;
    decltype(&smbc_getFunctionClosedir) getFunctionClosedir;
    decltype(&smbc_getFunctionReaddirPlus2) getFunctionReaddirPlus2;
};

// The file name the library is loaded by: its Debian package's soname.
inline constexpr const char* kSmbLibraryName = "libsmbclient.so.0";

// The table, loading the library on the first call. Returns nullptr when the library cannot
// be loaded or lacks one of the functions; SmbClientError() then says why, and every later
// call returns nullptr again without trying anew.
//
// The environment variable PELMORA_SMBCLIENT_LIBRARY, when set and not empty, names the file
// to load instead, so that a test can make the loading fail in a real program.
const SmbLibrary* SmbClient();

// Why the library could not be loaded, for the user: "The SMB client library NAME could not
// be loaded: " and the system's reason. Loads it first, as SmbClient() does; empty when loaded.
const std::string& SmbClientError();

} // namespace pelmora
