#include "service/audio/SGroupFile.h"

#include "service/foundation/ClassFactory.h"

namespace {

const ser::KClassRegistrar kRegisterGroupFile(u"SGroupFile", &ser::CreateSerializable<SGroupFile>);

}  // namespace

void SGroupFile::DefineProperties() {
    AddProperty(u"bVirtual", &bVirtual);
    AddProperty(u"nSize", &nSize);
}

std::u16string SGroupFile::GetClassName() const { return u"SGroupFile"; }
