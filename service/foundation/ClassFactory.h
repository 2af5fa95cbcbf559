#pragma once
// The record class factory: turns a class name read from a file back into a
// new record. Classes register before the service's entry point (a static
// KClassRegistrar in the record's source file); the list is only read after.
#include <memory>
#include <string>
#include <string_view>

namespace ser {

class KSerializable;

// Makes a new default record.
using SerializableCreator = std::unique_ptr<KSerializable> (*)();

struct SClassEntry {
    std::u16string strClassName;  // what the class's GetClassName returns
    SerializableCreator pCreator;
};

// Appends an entry unless one of that name exists (the first creator stays).
void RegisterSerializableClass(std::u16string_view className, SerializableCreator creator);
// The creator registered under exactly this name (case-sensitive), or null.
SerializableCreator FindSerializableCreator(std::u16string_view className);
// A new record of the named class; null when the name is unknown or the
// creator fails (memory).
std::unique_ptr<KSerializable> CreateSerializableByName(std::u16string_view className);

// The usual creator of a record class.
template <class T>
std::unique_ptr<KSerializable> CreateSerializable() {
    return std::make_unique<T>();
}

// Registers a class while static objects are built:
//   static const ser::KClassRegistrar kRegister(u"SSongInfo", &ser::CreateSerializable<SSongInfo>);
class KClassRegistrar {
public:
    KClassRegistrar(std::u16string_view className, SerializableCreator creator) {
        RegisterSerializableClass(className, creator);
    }
};

}  // namespace ser
