#include "service/foundation/ClassFactory.h"

#include <mutex>
#include <new>
#include <vector>

#include "service/foundation/KSerializable.h"

namespace ser {

namespace {

struct ClassList {
    std::mutex mutex;
    std::vector<SClassEntry> entries;  // in registration order
};

// Built on first use, so that registrations from any static initialiser find it.
ClassList& Classes() {
    static ClassList list;
    return list;
}

}  // namespace

void RegisterSerializableClass(std::u16string_view className, SerializableCreator creator) {
    ClassList& list = Classes();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (const SClassEntry& e : list.entries)
        if (e.strClassName == className) return;
    list.entries.push_back(SClassEntry{std::u16string(className), creator});
}

SerializableCreator FindSerializableCreator(std::u16string_view className) {
    ClassList& list = Classes();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (const SClassEntry& e : list.entries)
        if (e.strClassName == className) return e.pCreator;
    return nullptr;
}

std::unique_ptr<KSerializable> CreateSerializableByName(std::u16string_view className) {
    SerializableCreator creator = FindSerializableCreator(className);
    if (!creator) return nullptr;
    try {
        return creator();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace ser
