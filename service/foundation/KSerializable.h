#pragma once
// The base of every stored record. A record names its members once, each
// under a property name (DefineProperties, with AddProperty); the base then
// saves the record as one group of the record stream and loads it back by
// matching names, in any order. Nested records, record pointers and vectors
// of records are stored as nested groups (see TProperty.h for every form).
//
// The property collection is built on the first save or load and points at
// this object's own members, so copies and assignments never share it: a
// copy starts with an empty collection and builds its own when needed.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/foundation/IArchive.h"
#include "service/foundation/IProperty.h"

namespace ser {

template <class T>
class TProperty;

class KSerializable {
public:
    KSerializable() = default;
    KSerializable(const KSerializable&) {}
    KSerializable& operator=(const KSerializable&) { return *this; }
    virtual ~KSerializable() = default;

    // Registers the record's members (AddProperty for each).
    virtual void DefineProperties() {}
    virtual void OnBeforeLoad() {}
    virtual void OnAfterLoad(ELoadResult result) {}
    virtual void OnBeforeSave() {}
    virtual void OnAfterSave(bool success) {}
    virtual std::u16string GetClassName() const = 0;

    // A property over a member of this record; a name registered already is
    // kept (the first registration wins).
    template <class T>
    void AddProperty(std::u16string_view name, T* member);
    // A property of the record's own making, for a stored form of its own.
    void AddProperty(std::unique_ptr<IProperty> property);
    IProperty* FindProperty(std::u16string_view name) const;

    // Writes the record as one group {name, class name}, its properties, end.
    bool save(IArchive* archive, std::u16string_view name);
    // Finds the root group (name rootName, when one is given, and value the
    // class name), skipping anything else, and loads the record from it.
    ELoadResult load(IArchive* archive, std::u16string_view rootName);
    // Loads the record from the records that follow its group begin, up to
    // and including its group end. A property that fails does not stop the
    // others from loading, but the group then loads as lr_error; the stream
    // stays in step unless it breaks.
    ELoadResult LoadGroup(IArchive* archive);
    // Drops the property collection.
    void Clear() { m_properties.clear(); }

private:
    std::vector<std::unique_ptr<IProperty>> m_properties;
};

}  // namespace ser

#include "service/foundation/TProperty.h"
