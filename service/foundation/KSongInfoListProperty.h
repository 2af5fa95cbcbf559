#pragma once
// The playlist's list of song records. It is written in the vector form of
// the record stream, but loads as much of a damaged list as it can: a song
// record that fails is left out, records beyond a wrong count are still read,
// and the records read before the stream breaks are kept. Any such damage
// makes the load partial. Only the refused word after the count ("pv") fails
// the list as a whole.
#include <vector>

#include "service/foundation/IProperty.h"
#include "service/foundation/SSongInfo.h"

class KSongInfoListProperty : public ser::IProperty {
public:
    KSongInfoListProperty(std::u16string name, std::vector<SSongInfo>* list)
        : IProperty(std::move(name)), m_pList(list) {}

    ser::ELoadResult Load(ser::IArchive* archive, const std::u16string& value) override;
    bool Write(ser::IArchive* archive) override;
    bool IsGroup() const override { return true; }

private:
    std::vector<SSongInfo>* m_pList;  // not owned
};
