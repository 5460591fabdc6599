// The ADSI WinNT provider over the machine's account directory.
//
// Paths: "WinNT://AUTHORITY" binds the local computer (class "Computer") or a known
// domain (class "Domain") as a container; "WinNT://AUTHORITY/NAME" binds a user ("User")
// or a group ("Group") of that authority. The provider prefix is case-sensitive, as
// Windows' is; names are not. A domain binds only while its controller can be reached.
// Every bind reads the directory afresh; an enumerator holds the list it was made with.
//
// Called by the suite's account functions (users group members, the authority's groups)
// and the computer's system information. A path is caller text and is only looked up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winerror.h"

namespace win {

// Every directory object answers with its name, class and path.
class IADs {
  public:
    virtual ~IADs() = default;
    virtual std::string Name() const = 0;
    virtual std::string Class() const = 0;
    virtual std::string ADsPath() const = 0;
};

class IADsUser : public virtual IADs {};

// An item of an enumeration: a directory object, to be queried for the interface wanted
// (std::dynamic_pointer_cast).
using ADsItem = std::shared_ptr<IADs>;

class IEnumVARIANT {
  public:
    virtual ~IEnumVARIANT() = default;
    // Appends up to count items; S_OK when count items came, S_FALSE when fewer (none at
    // the end).
    virtual HRESULT Next(std::uint32_t count, std::vector<ADsItem>& items) = 0;
};

class IADsMembers {
  public:
    virtual ~IADsMembers() = default;
    virtual HRESULT get__NewEnum(std::unique_ptr<IEnumVARIANT>& enumerator) = 0;
};

class IADsGroup : public virtual IADs {
  public:
    // The direct members (users and groups, of any authority), in the order they were added.
    virtual HRESULT Members(std::unique_ptr<IADsMembers>& members) = 0;
};

class IADsContainer : public virtual IADs {
  public:
    // Class names ("User", "Group"), compared without case; an empty filter passes all.
    virtual HRESULT put_Filter(const std::vector<std::string>& classes) = 0;
    // Users, then groups, each in the order they were made, as the filter passes them.
    virtual HRESULT get__NewEnum(std::unique_ptr<IEnumVARIANT>& enumerator) = 0;
};

// Binds a WinNT path. Fails with E_ADS_BAD_PATHNAME for a path that is not a WinNT path
// of one or two non-empty names, HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN) for an unknown
// authority or a domain without a reachable controller, and
// HRESULT_FROM_WIN32(NERR_GroupNotFound) for a name the authority does not hold.
HRESULT ADsGetWinNTObject(std::string_view path, std::shared_ptr<IADs>& object);

// Binds a path for one interface: E_NOINTERFACE when the object does not offer it.
template <class Interface>
HRESULT ADsGetWinNTObject(std::string_view path, std::shared_ptr<Interface>& object) {
    std::shared_ptr<IADs> bound;
    const HRESULT result = ADsGetWinNTObject(path, bound);
    if (FAILED(result)) return result;
    object = std::dynamic_pointer_cast<Interface>(bound);
    return object ? S_OK : E_NOINTERFACE;
}

// The filter array for IADsContainer::put_Filter.
HRESULT ADsBuildVarArrayStr(const std::vector<std::string>& strings,
                            std::vector<std::string>& array);

// The WinNT system information: the computer's name and its domain or workgroup.
class IADsWinNTSystemInfo {
  public:
    virtual ~IADsWinNTSystemInfo() = default;
    virtual HRESULT get_ComputerName(std::string& name) = 0;
    virtual HRESULT get_DomainName(std::string& name) = 0;
};

inline constexpr std::string_view CLSID_WinNTSystemInfo = "{66182EC4-AFD1-11D2-9CB9-0000F87A369E}";
inline constexpr std::string_view IID_IADsWinNTSystemInfo =
    "{6C6D65DC-AFD1-11D2-9CB9-0000F87A369E}";

// Creates the in-process WinNTSystemInfo object, as CoCreateInstance does:
// REGDB_E_CLASSNOTREG when the class is not registered in HKCR.
HRESULT CreateWinNTSystemInfo(std::unique_ptr<IADsWinNTSystemInfo>& object);

}  // namespace win
