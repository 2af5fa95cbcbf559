#include "service/foundation/KSerializable.h"

namespace ser {

void KSerializable::AddProperty(std::unique_ptr<IProperty> property) {
    if (!property || FindProperty(property->GetName())) return;
    m_properties.push_back(std::move(property));
}

IProperty* KSerializable::FindProperty(std::u16string_view name) const {
    for (const auto& p : m_properties)
        if (p->GetName() == name) return p.get();
    return nullptr;
}

bool KSerializable::save(IArchive* archive, std::u16string_view name) {
    if (!archive) return false;
    if (m_properties.empty()) DefineProperties();
    OnBeforeSave();
    if (!archive->WriteRecord(rt_begin, name, GetClassName())) {
        OnAfterSave(false);
        return false;
    }
    for (const auto& p : m_properties) {
        if (!p->Write(archive)) {
            OnAfterSave(false);
            return false;
        }
    }
    bool ok = archive->WriteRecord(rt_end, u"", u"");
    OnAfterSave(ok);
    return ok;
}

ELoadResult KSerializable::load(IArchive* archive, std::u16string_view rootName) {
    if (!archive) return lr_error;
    const std::u16string className = GetClassName();
    std::u16string name, value;
    for (;;) {
        int type = archive->ReadRecord(name, value);
        if (type == rt_error) return lr_error;
        if (type != rt_begin) continue;  // values and ends ahead of the root are passed over
        if ((rootName.empty() || name == rootName) && value == className) return LoadGroup(archive);
        if (archive->SkipGroup() != rt_end) return lr_error;
    }
}

ELoadResult KSerializable::LoadGroup(IArchive* archive) {
    if (!archive) return lr_error;
    if (m_properties.empty()) DefineProperties();
    OnBeforeLoad();
    bool loaded = false;
    bool partial = false;
    bool failed = false;
    std::u16string name, value;
    for (;;) {
        int type = archive->ReadRecord(name, value);
        if (type == rt_begin || type == rt_value) {
            IProperty* property = FindProperty(name);
            // A record whose kind does not fit the property (a group where a
            // value belongs, or the other way round) counts as unknown.
            if (property && property->IsGroup() == (type == rt_begin)) {
                // A property that fails has consumed its own records, so the
                // members after it are still loaded; the group fails as a whole.
                ELoadResult result = property->Load(archive, value);
                if (result == lr_error) failed = true;
                else loaded = true;
                if (result == lr_partial) partial = true;
            } else {
                if (type == rt_begin && archive->SkipGroup() != rt_end) {
                    OnAfterLoad(lr_error);
                    return lr_error;
                }
                partial = true;
            }
        } else if (type == rt_end) {
            ELoadResult result = (failed || !loaded) ? lr_error : partial ? lr_partial : lr_ok;
            OnAfterLoad(result);
            return result;
        } else {
            OnAfterLoad(lr_error);
            return lr_error;
        }
    }
}

}  // namespace ser
