#include "platform/NetConnection.h"

#include "platform/NetPath.h"
#include "platform/SmbFileSystem.h"
#include "platform/SmbLibrary.h"

#include <cerrno>
#include <map>

namespace pelmora {

namespace {

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

// A local name as the system compares it: without surrounding blanks, ASCII letters upper case.
std::string LocalKey(const std::string& name)
{
    const std::size_t first = name.find_first_not_of(" \t");
    const std::size_t last = name.find_last_not_of(" \t");
    std::string key = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

// The open connections that were given a local name: local key -> share key.
std::map<std::string, std::string>& LocalNames()
{
    static std::map<std::string, std::string> names;
    return names;
}

void ForgetLocalNamesOf(const std::string& shareKey)
{
    std::erase_if(LocalNames(), [&](const auto& entry) { return entry.second == shareKey; });
}

} // namespace

std::string ErrorText(int code)
{
    switch (code) {
    case 5:
        return "Access to network resource denied";
    case 53:
        return "Network path not found";
    case 66:
        return "Local device type does not match network resource type";
    case 67:
        return "Network resource name is invalid or unlocatable";
    case 85:
        return "Local device already assigned";
    case 86:
        return "Invalid password";
    case 170:
        return "Provider is busy";
    case 1200:
        return "Local device is invalid";
    case 1202:
        return "Connection already remembered";
    case 1203:
        return "Network not started or name could not be handled";
    case 1204:
        return "Provider property does not match any provider";
    case 1205:
        return "Cannot save reconnect at logon information";
    case 1206:
        return "User profile is in an incorrect format";
    case 1208:
        return "A network specific error occurred";
    case 1222:
        return "No network present";
    case 1223:
        return "Connection attempt cancelled";
    case 1326:
        return "User name or password incorrect";
    case 2250:
        return "Not connected to specified resource or on specified device";
    case 2401:
        return "Files are open on resource and force disconnect not specified";
    case 2404:
        return "Device in use by active process, cannot disconnect";
    default:
        return std::to_string(code) + ": Unhandled Error";
    }
}

int NetErrorCode(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return 1326;
    case ENOENT:
    case ENODEV:
    case ENOTDIR:
    case ENXIO:
        return 67;
    // The client library reports a server name that no name service knows as EINVAL; the
    // URLs it is given here are well formed, so nothing else reaches it as EINVAL.
    case EINVAL:
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ETIMEDOUT:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
        return 53;
    // The generic failure, and the few errno values that equal a code of the table and
    // would be shown with that code's unrelated text.
    case EIO:
    case EBADR:
    case EREMOTE:
    case ENOLINK:
    case ERESTART:
    case ESTRPIPE:
        return 1208;
    default:
        return err;
    }
}

std::string NetClientError()
{
    return SmbClientError();
}

TNetConnection::TNetConnection()
{
    InstallSmbFileSystem();
}

TNetConnection::~TNetConnection()
{
    if (!m_connectedKey.empty()) {
        if (auto session = TakeSmbSession(m_connectedKey)) {
            session->Close();
        }
        ForgetLocalNamesOf(m_connectedKey);
    }
}

void TNetConnection::SetResourceType(TResourceTypes value)
{
    if (value == rtAny && !IsBlank(m_localName)) {
        throw EParameterError("Cannot be rtAny when LocalName is set");
    }
    m_resourceType = value;
}

void TNetConnection::SetLocalName(std::string value)
{
    if (IsBlank(value)) {
        m_reconnectAtLogon = false;
    } else if (m_resourceType == rtAny) {
        throw EParameterError("Cannot be set when ResourseType is rtAny");
    }
    m_localName = std::move(value);
}

void TNetConnection::SetReconnectAtLogon(bool value)
{
    if (value && IsBlank(m_localName)) {
        throw EParameterError("No local resource assigned");
    }
    m_reconnectAtLogon = value;
}

void TNetConnection::Connect()
{
    auto fail = [](int code) { throw EConnectError("ERROR: " + ErrorText(code)); };

    NetPath share;
    if (!ParseNetPath(m_remoteName, share)) {
        fail(67);
    }
    // A printer cannot be reached through the file system, and a share is the only kind of
    // resource this platform connects to.
    if (m_resourceType == rtPrint) {
        fail(66);
    }
    const std::string localKey = LocalKey(m_localName);
    if (!localKey.empty()) {
        auto it = LocalNames().find(localKey);
        if (it != LocalNames().end() && FindSmbSession(it->second) != nullptr) {
            fail(85);
        }
    }
    int err = 0;
    std::shared_ptr<SmbSession> session =
        SmbSession::Create(share, m_userName, m_password, SmbSession::kTimeoutMs, err);
    if (session == nullptr) {
        // No code of the table says that the client itself is missing; the loader's text does.
        if (err == ELIBACC) {
            throw EConnectError("ERROR: " + SmbClientError());
        }
        fail(NetErrorCode(err));
    }
    err = session->CheckShare();
    if (err != 0) {
        session->Close();
        fail(NetErrorCode(err));
    }
    const std::string key = NetShareKey(share);
    AddSmbSession(key, std::move(session));
    m_connectedKey = key;
    if (!localKey.empty()) {
        LocalNames()[localKey] = key;
    }
}

void TNetConnection::Disconnect(bool force)
{
    auto fail = [](int code) { throw EDisconnectError("ERROR: " + ErrorText(code)); };

    std::string key;
    const std::string localKey = LocalKey(m_localName);
    if (!localKey.empty()) {
        auto it = LocalNames().find(localKey);
        if (it == LocalNames().end()) {
            fail(2250);
        }
        key = it->second;
    } else {
        NetPath share;
        if (!ParseNetPath(m_remoteName, share)) {
            fail(2250);
        }
        key = NetShareKey(share);
    }
    std::shared_ptr<SmbSession> session = FindSmbSession(key);
    if (session == nullptr) {
        fail(2250);
    }
    if (!force && session->OpenFiles() > 0) {
        fail(2401);
    }
    TakeSmbSession(key);
    session->Close();
    ForgetLocalNamesOf(key);
    if (m_connectedKey == key) {
        m_connectedKey.clear();
    }
}

} // namespace pelmora
