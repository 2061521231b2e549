#pragma once
// TSyncTask: one synchronisation task, a packed 3458-byte record kept in memory exactly as
// it is stored in the configuration file. Plain data; used on the UI thread only.

#include "core/Utf8.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pelmora {

// Action codes: what to do with one kind of difference. The field holding one is a stored
// byte, so every value of the underlying type is a valid TAction; a byte above acMirrorToHost
// read from a file is kept as it is.
enum TAction : std::uint8_t { acIgnore = 0, acDelete = 1, acHostToMirror = 2, acMirrorToHost = 3 };

// Sync types; like TAction, any stored byte is a valid value.
enum TSyncType : std::uint8_t { tyFolder = 0, tyFile = 1 };

static_assert(sizeof(TAction) == 1 && alignof(TAction) == 1);
static_assert(sizeof(TSyncType) == 1 && alignof(TSyncType) == 1);

// Flags are one byte: 0xFF is written for true, any non-zero byte reads as true.
inline constexpr std::uint8_t kFlagTrue = 0xFF;
inline bool IsSet(std::uint8_t flag)
{
    return flag != 0;
}
inline std::uint8_t ToFlag(bool value)
{
    return value ? kFlagTrue : 0;
}

#pragma pack(push, 1)

// A length byte followed by N bytes of which the first `len` are the text.
template <std::size_t N> struct TCounted
{
    std::uint8_t len;
    char data[N];
};

struct TSyncTask
{
    std::uint8_t Reserved[38];
    TAction InMain;      // only in the host folder: acIgnore, acHostToMirror, acDelete
    TAction InMirror;    // only in the mirror folder: acIgnore, acMirrorToHost, acDelete
    TAction SizeDiffer;  // same time, other size
    TAction NewInMain;   // newer in the host folder
    TAction NewInMirror; // newer in the mirror folder
    std::uint8_t IntoSub;
    char MainDir[512];
    char MirrorDir[512];
    char ExcludeList[1024]; // lines ended by CR LF
    TAction EmptyDir;
    std::uint8_t AutoMode;
    char Desc[512];
    std::uint8_t IgnoreOn;
    std::uint8_t DelOn;
    TCounted<255> IgnoreList;
    TCounted<255> DelList;
    TCounted<31> NetName;
    TCounted<31> NetPass;
    std::int32_t Speed; // KB/s, 0 = no limit
    TSyncType SyncType;
    std::uint8_t OnlyTypeOn;
    TCounted<255> OnlyTypeList;
    std::uint16_t MaxErr; // 0 = no limit
    std::uint8_t OnlyDirs;
    std::uint8_t Ignore1Hour;
    double TimeShift; // days: seconds / 86400 + 0.00000001
};

#pragma pack(pop)

// Pelmora's own per-task settings, one byte each of Reserved. Records written by older
// programs hold zeros there, which must keep meaning the default; any byte but 1 reads so.
inline constexpr std::size_t kReservedDeletions = 0; // 0: move to the trash, 1: delete permanently
inline constexpr std::size_t kReservedGuard = 1;     // 0: mass-deletion guard on, 1: off
inline constexpr std::uint8_t kReservedOff = 1;
inline bool DeletesToTrash(const TSyncTask& task)
{
    return task.Reserved[kReservedDeletions] != kReservedOff;
}
inline bool GuardsMassDeletion(const TSyncTask& task)
{
    return task.Reserved[kReservedGuard] != kReservedOff;
}

inline constexpr std::size_t kTaskRecordSize = 3458;
inline constexpr std::size_t kOldTaskRecordSize = 2092;

static_assert(std::endian::native == std::endian::little, "the stored layout is little-endian");
static_assert(std::is_trivially_copyable_v<TSyncTask>);
static_assert(std::is_standard_layout_v<TSyncTask>);
static_assert(sizeof(TSyncTask) == kTaskRecordSize);
static_assert(offsetof(TSyncTask, Reserved) == 0);
static_assert(offsetof(TSyncTask, InMain) == 38);
static_assert(offsetof(TSyncTask, InMirror) == 39);
static_assert(offsetof(TSyncTask, SizeDiffer) == 40);
static_assert(offsetof(TSyncTask, NewInMain) == 41);
static_assert(offsetof(TSyncTask, NewInMirror) == 42);
static_assert(offsetof(TSyncTask, IntoSub) == 43);
static_assert(offsetof(TSyncTask, MainDir) == 44);
static_assert(offsetof(TSyncTask, MirrorDir) == 556);
static_assert(offsetof(TSyncTask, ExcludeList) == 1068);
static_assert(offsetof(TSyncTask, EmptyDir) == 2092);
static_assert(offsetof(TSyncTask, AutoMode) == 2093);
static_assert(offsetof(TSyncTask, Desc) == 2094);
static_assert(offsetof(TSyncTask, IgnoreOn) == 2606);
static_assert(offsetof(TSyncTask, DelOn) == 2607);
static_assert(offsetof(TSyncTask, IgnoreList) == 2608);
static_assert(offsetof(TSyncTask, DelList) == 2864);
static_assert(offsetof(TSyncTask, NetName) == 3120);
static_assert(offsetof(TSyncTask, NetPass) == 3152);
static_assert(offsetof(TSyncTask, Speed) == 3184);
static_assert(offsetof(TSyncTask, SyncType) == 3188);
static_assert(offsetof(TSyncTask, OnlyTypeOn) == 3189);
static_assert(offsetof(TSyncTask, OnlyTypeList) == 3190);
static_assert(offsetof(TSyncTask, MaxErr) == 3446);
static_assert(offsetof(TSyncTask, OnlyDirs) == 3448);
static_assert(offsetof(TSyncTask, Ignore1Hour) == 3449);
static_assert(offsetof(TSyncTask, TimeShift) == 3450);

// TimeShift of a new record: two seconds, 2 / 86400 + 0.00000001 days.
inline constexpr std::uint64_t kDefaultTimeShiftBits = 0x3EF84877D2AA973BULL;
inline double DefaultTimeShift()
{
    return std::bit_cast<double>(kDefaultTimeShiftBits);
}

// Sets the new-record defaults on `task`: zeros except Speed 3000, MaxErr 10,
// Ignore1Hour true and TimeShift two seconds.
void InitSyncTask(TSyncTask& task);
// A new record with those defaults (Desc is left empty; the New button fills it).
std::unique_ptr<TSyncTask> NewSyncTask();

// Task records in list order, parallel to the task names.
using TaskRecords = std::vector<std::unique_ptr<TSyncTask>>;

// Makes a record read from an untrusted file safe to use: a non-finite TimeShift becomes the
// default. Length bytes are left as stored; ReadCountedField bounds them.
void SanitizeSyncTask(TSyncTask& task);

// A text N field: the bytes up to the first NUL or the end of the array.
template <std::size_t N> std::string ReadTextField(const char (&field)[N])
{
    const void* nul = std::memchr(field, 0, N);
    const std::size_t len = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N;
    return std::string(field, len);
}

// Stores `text` cut to N-1 bytes (on a UTF-8 character boundary), then a NUL; the rest of
// the array is zeroed so that no earlier text lingers in the file.
template <std::size_t N> void WriteTextField(char (&field)[N], std::string_view text)
{
    const std::string_view kept = CutUtf8(text, N - 1);
    std::memcpy(field, kept.data(), kept.size());
    std::memset(field + kept.size(), 0, N - kept.size());
}

// A counted N field: the first L bytes, L bounded by N.
template <std::size_t N> std::string ReadCountedField(const TCounted<N>& field)
{
    return std::string(field.data, std::min<std::size_t>(field.len, N));
}

// Stores `text` cut to N bytes (on a UTF-8 character boundary); the rest is zeroed.
template <std::size_t N> void WriteCountedField(TCounted<N>& field, std::string_view text)
{
    static_assert(N <= 255, "the length is one byte");
    const std::string_view kept = CutUtf8(text, N);
    field.len = static_cast<std::uint8_t>(kept.size());
    std::memcpy(field.data, kept.data(), kept.size());
    std::memset(field.data + kept.size(), 0, N - kept.size());
}

} // namespace pelmora
