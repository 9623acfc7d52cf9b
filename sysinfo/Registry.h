// A read-only registry reader over TSystemApi, keeping one key open at a
// time below a root key.
#pragma once

#include "Rtl.h"
#include "SystemApi.h"

#include <string>

class ERegistryException : public rtl::Exception {
    using Exception::Exception;
};

class TRegistry {
public:
    // `api` must outlive the reader. The root starts as HKEY_CURRENT_USER.
    TRegistry(const TSystemApi& api, std::uint32_t access);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Closes the open key, so the next open starts at the new root.
    void SetRootKey(win::HKEY root);
    // A path starting with "\" is absolute from the root, any other is
    // relative to the open key. Only a successful open closes the key
    // that was open before.
    bool OpenKeyReadOnly(const std::string& key);
    void CloseKey();
    // A missing or empty value is empty text; REG_SZ and REG_EXPAND_SZ give
    // their text up to the first NUL, unexpanded; other types raise
    // ERegistryException.
    std::string ReadString(const std::string& name) const;

private:
    const TSystemApi& FApi;
    std::uint32_t FAccess;
    win::HKEY FRootKey = win::HKEY_CURRENT_USER;
    win::HKEY FCurrentKey = 0;
};
