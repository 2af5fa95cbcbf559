#include "ipc/common/ObjectKind.h"

#include "ipc/common/Names.h"

namespace ipc {

namespace {

struct KindRow {
    ObjectKind kind;
    const IID* iid;
    const char* name;
};

constexpr KindRow kRows[] = {
    {ObjectKind::Controller, &IID_IAudioController, "QXServiceLib.IAudioController"},
    {ObjectKind::Settings, &IID_ISettings, "QXServiceLib.ISettings"},
    {ObjectKind::PlayList, &IID_IPlayList, "QXServiceLib.IPlayList"},
    {ObjectKind::Song, &IID_ISong, "QXServiceLib.ISong"},
    {ObjectKind::Tag, &IID_ID3, "QXServiceLib.ID3"},
    {ObjectKind::AudioManager, &IID_IAudioManager, "QXServiceLib.IAudioManager"},
    {ObjectKind::CaptureManager, &IID_ICaptureManager, "QXServiceLib.ICaptureManager"},
    {ObjectKind::Encoder, &IID_IAudioEncoder, "QXServiceLib.IAudioEncoder"},
};

const KindRow& RowOf(ObjectKind kind) {
    for (const KindRow& row : kRows)
        if (row.kind == kind) return row;
    return kRows[0];  // unreachable: every kind has a row
}

}  // namespace

bool KindFromIid(REFIID riid, ObjectKind* kind) {
    for (const KindRow& row : kRows) {
        if (*row.iid == riid) {
            *kind = row.kind;
            return true;
        }
    }
    return false;
}

const IID& IidOfKind(ObjectKind kind) { return *RowOf(kind).iid; }

const char* InterfaceNameOf(ObjectKind kind) { return RowOf(kind).name; }

bool KindOfPath(const std::string& path, ObjectKind* kind) {
    struct Fixed {
        const char* path;
        ObjectKind kind;
    };
    static constexpr Fixed kFixed[] = {
        {kControllerPath, ObjectKind::Controller},     {kSettingsPath, ObjectKind::Settings},
        {kPlayListPath, ObjectKind::PlayList},         {kAudioManagerPath, ObjectKind::AudioManager},
        {kCaptureManagerPath, ObjectKind::CaptureManager},
    };
    for (const Fixed& f : kFixed) {
        if (path == f.path) {
            *kind = f.kind;
            return true;
        }
    }
    auto under = [&](const char* root) {
        std::string prefix = std::string(root) + "/";
        return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
    };
    if (under(kSongsPath)) {
        bool isTag = path.find('/', std::string(kSongsPath).size() + 1) != std::string::npos;
        *kind = isTag ? ObjectKind::Tag : ObjectKind::Song;
        return true;
    }
    if (under(kTagsPath)) {
        *kind = ObjectKind::Tag;
        return true;
    }
    if (under(kEncodersPath)) {
        *kind = ObjectKind::Encoder;
        return true;
    }
    return false;
}

}  // namespace ipc
