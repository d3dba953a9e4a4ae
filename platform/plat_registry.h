// Registry store: keys with typed values, kept under the machine's state
// directory (HKEY_LOCAL_MACHINE is a tree of files there). Key names compare
// without regard to case; value names too. Changes are on disk when a call returns.
#pragma once
#include <cstdint>

typedef struct PlatRegKeyRec* PlatRegKey;

enum PlatRegRoot : uint32_t { PLAT_HKLM = 1 };

// Value types.
enum : uint32_t { PLAT_REG_SZ = 1, PLAT_REG_BINARY = 3, PLAT_REG_DWORD = 4, PLAT_REG_MULTI_SZ = 7 };

// Status codes (the familiar numbering, so callers' messages stay the same).
enum : int32_t {
    PLAT_REG_OK = 0,
    PLAT_REG_NOT_FOUND = 2,
    PLAT_REG_ACCESS_DENIED = 5,
    PLAT_REG_INVALID = 87,
    PLAT_REG_MORE_DATA = 234, // value larger than the caller's buffer; *size = needed
    PLAT_REG_NO_MORE_ITEMS = 259,
    PLAT_REG_ERROR = 1,          // store unreadable or I/O failure
    PLAT_REG_WRITE_PROTECT = 19, // the store's file system is read-only
    PLAT_REG_DISK_FULL = 112,    // the store's file system is full
};
// A change the store could not make for lack of the user's rights comes back
// as PLAT_REG_ACCESS_DENIED; one its file system refused as
// PLAT_REG_DISK_FULL or PLAT_REG_WRITE_PROTECT.

int32_t plat_reg_create_key(PlatRegRoot root, const char* subkey, PlatRegKey* out);
int32_t plat_reg_open_key(PlatRegRoot root, const char* subkey, PlatRegKey* out);
// Opens a subkey relative to an open key.
int32_t plat_reg_open_subkey(PlatRegKey parent, const char* subkey, PlatRegKey* out);
int32_t plat_reg_create_subkey(PlatRegKey parent, const char* subkey, PlatRegKey* out);
void plat_reg_close_key(PlatRegKey key);

// data may be null to ask for the size. *size is in: buffer size, out: value size
// (PLAT_REG_MORE_DATA when the buffer is too small, buffer untouched). A null or
// empty name is the key's default value. String values (SZ, MULTI_SZ) are stored
// with a terminating NUL, added when the caller's data lacks one.
int32_t plat_reg_query_value(PlatRegKey key, const char* name, uint32_t* type, void* data,
                             uint32_t* size);
int32_t plat_reg_set_value(PlatRegKey key, const char* name, uint32_t type, const void* data,
                           uint32_t size);
int32_t plat_reg_delete_value(PlatRegKey key, const char* name);
// Deletes a key that has no subkeys; plat_reg_delete_tree deletes it with all below.
int32_t plat_reg_delete_key(PlatRegRoot root, const char* subkey);
int32_t plat_reg_delete_tree(PlatRegRoot root, const char* subkey);
// Enumeration by index; PLAT_REG_NO_MORE_ITEMS past the end. Subkeys come in a
// stable order (by lower-cased name), values in the order they were first set.
// Name sizes: in, the buffer size; out, the name's length without its terminator,
// or with PLAT_REG_MORE_DATA the size needed including the terminator. Data sizes
// as for plat_reg_query_value.
int32_t plat_reg_enum_key(PlatRegKey key, uint32_t index, char* name, uint32_t* size);
int32_t plat_reg_enum_value(PlatRegKey key, uint32_t index, char* name, uint32_t* nameSize,
                            uint32_t* type, void* data, uint32_t* dataSize);

// Test switches.
// Refuse key creation under HKLM (as for a user without administrator rights):
// creating or opening keys through the create calls, setting and deleting values
// and deleting keys all give PLAT_REG_ACCESS_DENIED; reads still work.
// Also switched on for a whole process by the environment variable HBASIM_REG_DENY=1.
void plat_reg_set_deny_create(bool deny);
// Fail the next matching call(s): op is "create", "open", "query", "set", "delete",
// "enum" or "" for any; path_substr matches the key path, case ignored ("" for
// any); count calls fail with status (count < 0: every call). count 0 clears every
// injection. Injections are kept per process.
void plat_reg_inject_failure(const char* op, const char* path_substr, int32_t status, int count);
