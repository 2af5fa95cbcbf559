#include "service/foundation/SSongInfo.h"

#include "service/foundation/ClassFactory.h"

namespace {

const ser::KClassRegistrar kRegister(u"SSongInfo", &CreateSSongInfo);

}  // namespace

std::unique_ptr<ser::KSerializable> CreateSSongInfo() { return std::make_unique<SSongInfo>(); }

void SSongInfo::DefineProperties() {
    AddProperty(u"bDefined", &bDefined);
    AddProperty(u"dwLeftBorder", &dwLeftBorder);
    AddProperty(u"dwRightBorder", &dwRightBorder);
    AddProperty(u"nTrack", &nTrack);
    AddProperty(u"strArtist", &strArtist);
    AddProperty(u"strTitle", &strTitle);
    AddProperty(u"strAlbum", &strAlbum);
    AddProperty(u"nYear", &nYear);
    AddProperty(u"strGenre", &strGenre);
}
