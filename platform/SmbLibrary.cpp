#include "platform/SmbLibrary.h"

#include <cstdlib>
#include <dlfcn.h>

namespace pelmora {

namespace {

struct Loaded
{
    SmbLibrary table{};
    bool ok = false;
    std::string error;
};

// Looks up `name` in `handle` into `slot`. Returns false (and sets `error`) when it is missing.
template <typename Fn> bool Bind(void* handle, const char* name, Fn& slot, const std::string& file, std::string& error)
{
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        const char* why = dlerror();
        error = "The SMB client library " + file +
                " could not be loaded: " + (why != nullptr ? why : std::string(name) + " is missing");
        return false;
    }
    slot = reinterpret_cast<Fn>(symbol);
    return true;
}

Loaded Load()
{
    Loaded out;
    const char* chosen = std::getenv("PELMORA_SMBCLIENT_LIBRARY");
    const std::string file = chosen != nullptr && *chosen != '\0' ? chosen : kSmbLibraryName;
    // Local: its symbols must not stand in for anything else the process looks up. Now: a
    // function missing from an odd build shows here, not as a crash in the middle of a run.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        out.error = "The SMB client library " + file + " could not be loaded: " + (why != nullptr ? why : "");
        return out;
    }
    SmbLibrary& t = out.table;
    std::string& e = out.error;
    // The handle is kept for the life of the process: contexts and their callbacks may
    // outlive any owner that could close it.
    out.ok = Bind(handle, "smbc_new_context", t.new_context, file, e) &&
             Bind(handle, "smbc_init_context", t.init_context, file, e) &&
             Bind(handle, "smbc_free_context", t.free_context, file, e) &&
             Bind(handle, "smbc_setDebug", t.setDebug, file, e) &&
             Bind(handle, "smbc_setOptionDebugToStderr", t.setOptionDebugToStderr, file, e) &&
             Bind(handle, "smbc_setOptionUserData", t.setOptionUserData, file, e) &&
             Bind(handle, "smbc_getOptionUserData", t.getOptionUserData, file, e) &&
             Bind(handle, "smbc_setFunctionAuthDataWithContext", t.setFunctionAuthDataWithContext, file, e) &&
             Bind(handle, "smbc_setTimeout", t.setTimeout, file, e) &&
             Bind(handle, "smbc_setPort", t.setPort, file, e) &&
             Bind(handle, "smbc_setOptionUseKerberos", t.setOptionUseKerberos, file, e) &&
             Bind(handle, "smbc_setOptionFallbackAfterKerberos", t.setOptionFallbackAfterKerberos, file, e) &&
             Bind(handle, "smbc_setOptionUseCCache", t.setOptionUseCCache, file, e) &&
             Bind(handle, "smbc_setOptionNoAutoAnonymousLogin", t.setOptionNoAutoAnonymousLogin, file, e) &&
             Bind(handle, "smbc_getFunctionOpen", t.getFunctionOpen, file, e) &&
             Bind(handle, "smbc_getFunctionRead", t.getFunctionRead, file, e) &&
             Bind(handle, "smbc_getFunctionWrite", t.getFunctionWrite, file, e) &&
             Bind(handle, "smbc_getFunctionClose", t.getFunctionClose, file, e) &&
             Bind(handle, "smbc_getFunctionStat", t.getFunctionStat, file, e) &&
             Bind(handle, "smbc_getFunctionRename", t.getFunctionRename, file, e) &&
             Bind(handle, "smbc_getFunctionUnlink", t.getFunctionUnlink, file, e) &&
             Bind(handle, "smbc_getFunctionChmod", t.getFunctionChmod, file, e) &&
             Bind(handle, "smbc_getFunctionUtimes", t.getFunctionUtimes, file, e) &&
             Bind(handle, "smbc_getFunctionMkdir", t.getFunctionMkdir, file, e) &&
             Bind(handle, "smbc_getFunctionRmdir", t.getFunctionRmdir, file, e) &&
             Bind(handle, "smbc_getFunctionOpendir", t.getFunctionOpendir, file, e) &&
             Bind(handle, "smbc_getFunctionClosedir", t.getFunctionClosedir, file, e) &&
             Bind(handle, "smbc_getFunctionReaddirPlus2", t.getFunctionReaddirPlus2, file, e);
    return out;
}

// Loaded on the first call, by whichever thread makes it; the others wait for that load.
const Loaded& Library()
{
    static const Loaded loaded = Load();
    return loaded;
}

} // namespace

const SmbLibrary* SmbClient()
{
    const Loaded& loaded = Library();
    return loaded.ok ? &loaded.table : nullptr;
}

const std::string& SmbClientError()
{
    static const std::string none;
    return SmbClient() != nullptr ? none : Library().error;
}

} // namespace pelmora
