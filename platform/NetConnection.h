#pragma once
// TNetConnection: connects to and disconnects from a network share with given credentials.
// On Linux the connection is an authenticated SMB session (libsmbclient) that the SMB
// file system uses for every path below the share; nothing is mounted. UI thread only.

#include <stdexcept>
#include <string>
#include <utility>

namespace pelmora {

enum TResourceTypes {
    rtDisk = 0,
    rtPrint = 1,
    rtAny = 2,
};

// Raised when a property is given a value its rules forbid.
class EParameterError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised by Connect; the text is "ERROR: " + ErrorText(code), or "ERROR: " + NetClientError()
// when the SMB client library cannot be loaded.
class EConnectError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised by Disconnect; the text is "ERROR: " + ErrorText(code).
class EDisconnectError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The text for a network error code: the fixed table of the known codes, otherwise the code
// in decimal followed by ": Unhandled Error". Never fails.
std::string ErrorText(int code);

// The network error code for an errno value reported by the SMB client: 1326 for refused
// credentials, 67 for a share or path that does not exist, 53 for a server that cannot be
// found or reached, 1208 for a generic network failure, else the errno value itself.
int NetErrorCode(int err);

// Why no share can be reached in this process: the SMB client library could not be loaded
// (this call loads it when no share was used yet). Empty when it is loaded.
std::string NetClientError();

class TNetConnection
{
public:
    // Also makes network paths reachable through the SMB file system from here on, with
    // anonymous sessions until a connection is made.
    TNetConnection();
    // Closes the session this object opened, if it is still open.
    ~TNetConnection();
    TNetConnection(const TNetConnection&) = delete;
    TNetConnection& operator=(const TNetConnection&) = delete;

    const std::string& UserName() const { return m_userName; }
    void SetUserName(std::string value) { m_userName = std::move(value); }
    // Kept in memory only; never written to a log, to standard error or into an error text.
    const std::string& Password() const { return m_password; }
    void SetPassword(std::string value) { m_password = std::move(value); }

    TResourceTypes ResourceType() const { return m_resourceType; }
    // Throws EParameterError "Cannot be rtAny when LocalName is set" (value unchanged).
    void SetResourceType(TResourceTypes value);

    // Linux redirects no device to a share: a local name (such as "Z:") only names the
    // connection, so that Disconnect can find it by that name.
    const std::string& LocalName() const { return m_localName; }
    // Blank (after trimming) turns ReconnectAtLogon off. Throws EParameterError
    // "Cannot be set when ResourseType is rtAny" when the type is rtAny (value not stored).
    void SetLocalName(std::string value);

    // The share, "//server/share", "//server:port/share" or "smb://server/share".
    const std::string& RemoteName() const { return m_remoteName; }
    void SetRemoteName(std::string value) { m_remoteName = std::move(value); }

    bool ReconnectAtLogon() const { return m_reconnectAtLogon; }
    // Throws EParameterError "No local resource assigned" when LocalName is blank.
    // Linux has no logon profile to remember a share in, so the flag changes nothing else.
    void SetReconnectAtLogon(bool value);

    const std::string& Provider() const { return m_provider; }
    void SetProvider(std::string value) { m_provider = std::move(value); }

    // Opens an authenticated session to RemoteName with UserName and Password (never an
    // anonymous one in their place), waiting at most 10 s, and checks the share by opening
    // it. From then on the SMB file system reaches paths below the share through it. A local
    // name that is not blank is given to the connection (code 85 when another open
    // connection has it). Throws EConnectError "ERROR: " + ErrorText(code) on failure.
    void Connect();

    // Closes the connection named LocalName when that is not blank, else the session of
    // RemoteName, and frees it. Without force, open files on the share make it fail with code
    // 2401; with force, those files fail their next call. Throws EDisconnectError
    // "ERROR: " + ErrorText(code), with 2250 when no connection is open under that name.
    void Disconnect(bool force);

private:
    std::string m_userName;
    std::string m_password;
    TResourceTypes m_resourceType = rtDisk;
    std::string m_localName;
    std::string m_remoteName;
    bool m_reconnectAtLogon = false;
    std::string m_provider;
    std::string m_connectedKey; // the session key this object opened, empty when none
};

} // namespace pelmora
