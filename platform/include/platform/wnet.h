// Network resource enumeration: one provider, "Microsoft Windows Network", whose
// containers are the computer's workgroup or domain and the NT domains the machine knows
// (display type domain); below a domain, its controller and, when the computer belongs to
// it, the computer itself (display type server). With the machine's NetworkPresent value
// 0 the network is absent and every enumeration fails with ERROR_NO_NETWORK (1222).
//
// Called by the settings program's domain picker. Each enumeration reads the directory
// once, when it is opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/winerror.h"

namespace win {

inline constexpr DWORD RESOURCE_GLOBALNET = 2;
inline constexpr DWORD RESOURCETYPE_ANY = 0;
inline constexpr DWORD RESOURCEUSAGE_CONTAINER = 2;
inline constexpr DWORD RESOURCEDISPLAYTYPE_DOMAIN = 1;
inline constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 2;
inline constexpr DWORD RESOURCEDISPLAYTYPE_NETWORK = 6;
inline constexpr std::string_view kWindowsNetwork = "Microsoft Windows Network";

struct NETRESOURCE {
    DWORD dwScope = RESOURCE_GLOBALNET;
    DWORD dwType = RESOURCETYPE_ANY;
    DWORD dwDisplayType = 0;
    DWORD dwUsage = 0;
    std::string lpLocalName;
    std::string lpRemoteName;
    std::string lpComment;
    std::string lpProvider;
};

// An open enumeration; closed by WNetCloseEnum or when it goes.
class NetEnumeration {
  public:
    explicit NetEnumeration(std::vector<NETRESOURCE> entries) : entries_(std::move(entries)) {}
    std::vector<NETRESOURCE> Take(DWORD count);

  private:
    std::vector<NETRESOURCE> entries_;
    std::size_t next_ = 0;
};

// Opens an enumeration below the container, or of the providers when there is none.
// ERROR_INVALID_PARAMETER for a scope other than the global network, ERROR_NOT_CONTAINER
// for an entry that is no container, ERROR_NO_NETWORK when the network is absent.
DWORD WNetOpenEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCE* container,
                   std::unique_ptr<NetEnumeration>& handle);
// Fetches up to count entries (0xFFFFFFFF: all); count becomes the number fetched.
// ERROR_NO_MORE_ITEMS once every entry has been fetched.
DWORD WNetEnumResource(NetEnumeration& handle, DWORD& count, std::vector<NETRESOURCE>& entries);
DWORD WNetCloseEnum(std::unique_ptr<NetEnumeration>& handle);

}  // namespace win
