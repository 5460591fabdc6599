// The IIS metabase and its ADSI provider: ADsGetObject("IIS://localhost/...").
//
// The metabase is a tree of nodes kept in the machine's store. Each node has a name (unique
// among its siblings, compared without case, case kept), a class ("IIsSmtpServer", ...) and
// typed properties: text, DWORD or binary; a property may be unset. Children enumerate in
// the order they were created. The root is "IIS://localhost" (class "IIsComputer"); a new
// machine holds nothing else.
//
// IIsObject is one bound node, offering the calls of IADs and IADsContainer that the suite
// makes. A node exists from its Create on; Put only fills the object's property cache and
// SetInfo stores it. Get reads the store (or the cache after a Put), so nothing is held
// across objects; only a child handed out by an enumeration answers Get from the properties
// the enumeration read with it, as IIS fills an object's cache on its first Get. Unlike IIS,
// properties are not inherited from parent nodes: Get answers only for a property set on the node
// itself. The provider never throws for an ordinary failure: every call answers with the HRESULT
// Windows would give.
//
// An object and everything reached from it (children, enumerators) share one store
// connection and are meant for one thread, as an apartment-bound COM object would be.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/oleauto.h"

namespace win {

class Db;

inline constexpr HRESULT E_ADS_UNKNOWN_OBJECT = MakeHResult(0x80005004u);
inline constexpr HRESULT E_ADS_CANT_CONVERT_DATATYPE = MakeHResult(0x8000500Cu);
inline constexpr HRESULT E_ADS_PROPERTY_NOT_FOUND = MakeHResult(0x8000500Du);
// A path or child that does not exist (ERROR_PATH_NOT_FOUND).
inline constexpr HRESULT E_PATH_NOT_FOUND = HRESULT_FROM_WIN32(3);
// Create of a child that exists (ERROR_ALREADY_EXISTS).
inline constexpr HRESULT E_ALREADY_EXISTS = HRESULT_FROM_WIN32(183);
// A host other than this machine (ERROR_BAD_NETPATH).
inline constexpr HRESULT E_BAD_NETPATH = HRESULT_FROM_WIN32(53);

class IIsEnum;

class IIsObject : public std::enable_shared_from_this<IIsObject> {
  public:
    struct Node {
        std::int64_t id;
        std::string name;
        std::string className;
    };
    IIsObject(std::shared_ptr<Db> db, Node node, std::string path);
    ~IIsObject();

    // IADs
    const std::string& Name() const { return node_.name; }
    const std::string& Class() const { return node_.className; }
    const std::string& ADsPath() const { return path_; }
    HRESULT Get(std::string_view property, VARIANT& value);
    // Text, VT_I4 and byte arrays are accepted; empty and null values are refused.
    HRESULT Put(std::string_view property, const VARIANT& value);
    HRESULT SetInfo();
    // Names of the properties stored on the node, in the order they were first set.
    std::vector<std::string> PropertyNames();

    // IADsContainer
    HRESULT get__NewEnum(std::unique_ptr<IIsEnum>& enumerator);
    HRESULT Create(std::string_view className, std::string_view name,
                   std::shared_ptr<IIsObject>& child);
    // Deletes the child of that class and name with everything below it.
    HRESULT Delete(std::string_view className, std::string_view name);

  private:
    friend class IIsEnum;
    std::shared_ptr<IIsObject> Child(Node node);

    using Properties = std::vector<std::pair<std::string, VARIANT>>;

    std::shared_ptr<Db> db_;
    Node node_;
    std::string path_;
    Properties pending_;
    // The node's stored properties as its enumeration read them; unset for a bound node and
    // after SetInfo, when Get reads the store.
    std::optional<Properties> read_;
};

// IEnumVARIANT over a container's children, in creation order. The first Next reads every
// child with its properties in one query, so a large container costs one read; children
// created or deleted after that are not seen by this enumeration.
class IIsEnum {
  public:
    explicit IIsEnum(std::shared_ptr<IIsObject> container);
    // Fetches one child: S_OK with element set, or S_FALSE when none is left.
    HRESULT Next(std::shared_ptr<IIsObject>& element);

  private:
    static std::vector<std::shared_ptr<IIsObject>> ReadChildren(IIsObject& container);

    std::shared_ptr<IIsObject> container_;
    std::optional<std::vector<std::shared_ptr<IIsObject>>> children_;
    std::size_t next_ = 0;
};

// Binds "IIS://localhost[/name...]". MK_E_SYNTAX for another provider, E_ADS_BAD_PATHNAME
// for a malformed path, E_BAD_NETPATH for another host, E_PATH_NOT_FOUND for a missing node.
HRESULT ADsGetObject(std::string_view path, std::shared_ptr<IIsObject>& object);

}  // namespace win
