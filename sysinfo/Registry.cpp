#include "Registry.h"

#include <algorithm>
#include <vector>

TRegistry::TRegistry(const TSystemApi& api, std::uint32_t access) : FApi(api), FAccess(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(win::HKEY root)
{
    CloseKey();
    FRootKey = root;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key)
{
    const bool relative = key.empty() || key[0] != '\\';
    const std::string subKey = relative ? key : key.substr(1);
    const win::HKEY parent = relative && FCurrentKey != 0 ? FCurrentKey : FRootKey;
    win::HKEY opened = 0;
    if (FApi.RegOpenKeyEx(parent, subKey, FAccess, &opened) != win::ERROR_SUCCESS)
        return false;
    CloseKey();
    FCurrentKey = opened;
    return true;
}

void TRegistry::CloseKey()
{
    if (FCurrentKey != 0)
        FApi.RegCloseKey(FCurrentKey);
    FCurrentKey = 0;
}

std::string TRegistry::ReadString(const std::string& name) const
{
    std::uint32_t type = win::REG_NONE;
    std::uint32_t size = 0;
    if (FApi.RegQueryValueEx(FCurrentKey, name, &type, nullptr, &size) != win::ERROR_SUCCESS || size == 0)
        return "";
    std::vector<unsigned char> data(size);
    std::uint32_t fetched = size;
    if (FApi.RegQueryValueEx(FCurrentKey, name, &type, data.data(), &fetched) != win::ERROR_SUCCESS)
        throw ERegistryException(rtl::FormatMessage("Fehler beim Holen der Daten f\u00fcr '%s'", {name}));
    if (type != win::REG_SZ && type != win::REG_EXPAND_SZ)
        throw ERegistryException(rtl::FormatMessage("Ung\u00fcltiger Datentyp f\u00fcr '%s'", {name}));
    const auto end = data.begin() + std::min(fetched, size);
    return std::string(data.begin(), std::find(data.begin(), end, '\0'));
}
