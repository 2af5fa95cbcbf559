#pragma once
// A named member of a stored record, written as one value record or as a
// group, and loaded back from what the record stream holds under its name.
#include <cstdint>
#include <string>
#include <utility>

#include "service/foundation/IArchive.h"

namespace ser {

// Load results.
enum ELoadResult : int32_t {
    lr_ok = 0,       // every record read was known and loaded
    lr_partial = 1,  // loaded, but unknown names were skipped or a part loaded partially
    lr_error = 2,    // read error, malformed data, or a property failed
};

class IProperty {
public:
    explicit IProperty(std::u16string name) : m_strName(std::move(name)) {}
    virtual ~IProperty() = default;
    IProperty(const IProperty&) = delete;
    IProperty& operator=(const IProperty&) = delete;

    // Loads the member from the record just read under the property's name
    // (value: the record's value text). A group form reads its nested records
    // up to and including its group end, also when it fails, unless the
    // stream itself breaks.
    virtual ELoadResult Load(IArchive* archive, const std::u16string& value) = 0;
    virtual bool Write(IArchive* archive) = 0;
    // True when the member is stored as a group, false for one value record.
    virtual bool IsGroup() const = 0;

    const std::u16string& GetName() const { return m_strName; }

private:
    std::u16string m_strName;  // case-sensitive, unique within a record
};

}  // namespace ser
