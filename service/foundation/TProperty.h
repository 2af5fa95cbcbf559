#pragma once
// The property over one member of a record, with the stored form the
// member's type calls for:
//
//   4-, 8- or 16-byte values (int32_t, uint32_t, int64_t, uint64_t, a time as
//   int64_t seconds since 1970, GUID, RECT): one value record {name, Base64
//   of the member's little-endian bytes}; loading needs exactly that many
//   decoded bytes.
//   std::u16string: one value record {name, the text itself}.
//   a record (derived from KSerializable): a nested group written by the
//   member's own save under the property name.
//   std::unique_ptr<record>: the pointer form, {name, "null"} and end, or
//   {name, "value"}, the record's group under the same name, and end; loading
//   makes the record from the class name in its group (ClassFactory.h).
//   std::vector<record> or std::vector<std::unique_ptr<record>>: the vector
//   form, {name, element count in decimal}, each element under its index
//   ("0", "1", ...) in the record or pointer form, and end. A failed element
//   empties the vector.
#include <memory>
#include <type_traits>
#include <vector>

#include "service/foundation/IProperty.h"
#include "service/foundation/KSerializable.h"
#include "service/foundation/PropertyForms.h"

namespace ser {

namespace forms {

template <class T>
struct IsUniquePtr : std::false_type {};
template <class R>
struct IsUniquePtr<std::unique_ptr<R>> : std::true_type {};
template <class T>
struct IsVector : std::false_type {};
template <class E, class A>
struct IsVector<std::vector<E, A>> : std::true_type {};

template <class T>
concept Record = std::is_base_of_v<KSerializable, T>;
template <class T>
concept RecordPointer = IsUniquePtr<T>::value && Record<typename T::element_type>;
template <class T>
concept RecordElement = Record<T> || RecordPointer<T>;
template <class T>
concept RecordVector = IsVector<T>::value && RecordElement<typename T::value_type>;
template <class T>
concept Text = std::is_same_v<T, std::u16string>;
template <class T>
concept RawValue = std::is_trivially_copyable_v<T> && !std::is_pointer_v<T> && !Record<T> &&
                   (sizeof(T) == 4 || sizeof(T) == 8 || sizeof(T) == 16);

template <class R>
bool Accepts(const KSerializable* made) {
    return dynamic_cast<const R*>(made) != nullptr;
}

template <RecordPointer P>
ELoadResult LoadPointerMember(IArchive* archive, const std::u16string& valueText, P& member) {
    using R = typename P::element_type;
    member.reset();
    std::unique_ptr<KSerializable> object;
    ELoadResult result = LoadPointer(archive, valueText, object, &Accepts<R>);
    if (object) member.reset(static_cast<R*>(object.release()));
    return result;
}

// One element of a vector, loaded from the record just read in its place.
template <RecordElement E>
ELoadResult LoadElement(IArchive* archive, int type, const std::u16string& value, E& element) {
    if (type != rt_begin) return lr_error;  // a value record where a group belongs
    if constexpr (Record<E>) return element.LoadGroup(archive);
    else return LoadPointerMember(archive, value, element);
}

template <RecordElement E>
bool WriteElement(IArchive* archive, std::u16string_view name, E& element) {
    if constexpr (Record<E>) return element.save(archive, name);
    else return WritePointer(archive, name, element.get());
}

template <RecordVector V>
bool WriteVector(IArchive* archive, std::u16string_view name, V& vector) {
    if (!archive->WriteRecord(rt_begin, name, IndexName(vector.size()))) return false;
    for (size_t i = 0; i < vector.size(); ++i)
        if (!WriteElement(archive, IndexName(i), vector[i])) return false;
    return archive->WriteRecord(rt_end, u"", u"");
}

template <RecordVector V>
ELoadResult LoadVector(IArchive* archive, const std::u16string& valueText, V& vector) {
    using E = typename V::value_type;
    vector.clear();
    int32_t count = 0;
    std::u16string word;
    if (!ParseElementCount(valueText, &count, &word) || word == kRefusedCountWord) {
        SkipToGroupEnd(archive, 1);
        return lr_error;
    }
    // Elements are added as they arrive, so a damaged count costs no more
    // memory than the stream really holds.
    bool partial = false;
    std::u16string name, value;
    for (int32_t i = 0; i < count; ++i) {
        int type = archive->ReadRecord(name, value);
        if (type == rt_end || type == rt_error) {
            vector.clear();
            return lr_error;
        }
        E element{};
        ELoadResult result = LoadElement(archive, type, value, element);
        if (result == lr_error) {
            vector.clear();
            SkipToGroupEnd(archive, 1);
            return lr_error;
        }
        if (result == lr_partial) partial = true;
        vector.push_back(std::move(element));
    }
    int type = archive->ReadRecord(name, value);
    if (type != rt_end) {
        vector.clear();
        SkipAfterUnexpected(archive, type);
        return lr_error;
    }
    return partial ? lr_partial : lr_ok;
}

}  // namespace forms

template <class T>
class TProperty : public IProperty {
    static_assert(forms::RawValue<T> || forms::Text<T> || forms::Record<T> || forms::RecordPointer<T> ||
                      forms::RecordVector<T>,
                  "no stored form for this member type");

public:
    TProperty(std::u16string name, T* member) : IProperty(std::move(name)), m_pMember(member) {}

    ELoadResult Load(IArchive* archive, const std::u16string& value) override {
        if constexpr (forms::RawValue<T>) return forms::LoadBytes(value, m_pMember, sizeof(T));
        else if constexpr (forms::Text<T>) {
            *m_pMember = value;
            return lr_ok;
        } else if constexpr (forms::Record<T>) return m_pMember->LoadGroup(archive);
        else if constexpr (forms::RecordPointer<T>) return forms::LoadPointerMember(archive, value, *m_pMember);
        else return forms::LoadVector(archive, value, *m_pMember);
    }

    bool Write(IArchive* archive) override {
        if constexpr (forms::RawValue<T>) return forms::WriteBytes(archive, GetName(), m_pMember, sizeof(T));
        else if constexpr (forms::Text<T>) return archive->WriteRecord(rt_value, GetName(), *m_pMember);
        else if constexpr (forms::Record<T>) return m_pMember->save(archive, GetName());
        else if constexpr (forms::RecordPointer<T>) return forms::WritePointer(archive, GetName(), m_pMember->get());
        else return forms::WriteVector(archive, GetName(), *m_pMember);
    }

    bool IsGroup() const override { return !(forms::RawValue<T> || forms::Text<T>); }

private:
    T* m_pMember;  // not owned
};

template <class T>
void KSerializable::AddProperty(std::u16string_view name, T* member) {
    if (FindProperty(name)) return;
    AddProperty(std::make_unique<TProperty<T>>(std::u16string(name), member));
}

}  // namespace ser
