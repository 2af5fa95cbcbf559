#pragma once
// The kinds of engine objects that cross the bus: one per interface of the
// contract that a client can hold.
#include <string>

#include "ipc/QXServiceLib.h"

namespace ipc {

enum class ObjectKind { Controller, Settings, PlayList, Song, Tag, AudioManager, CaptureManager, Encoder };

inline constexpr ObjectKind kAllObjectKinds[] = {ObjectKind::Controller,   ObjectKind::Settings,
                                                 ObjectKind::PlayList,     ObjectKind::Song,
                                                 ObjectKind::Tag,          ObjectKind::AudioManager,
                                                 ObjectKind::CaptureManager, ObjectKind::Encoder};

// The kind whose interface is riid; false for interfaces that never cross the
// bus (IUnknown, the cache, the player, internal ones).
bool KindFromIid(REFIID riid, ObjectKind* kind);
const IID& IidOfKind(ObjectKind kind);
// "QXServiceLib.IAudioController" and so on.
const char* InterfaceNameOf(ObjectKind kind);
// The kind of object the service places at path (by the way it names its
// paths); false for paths it never uses.
bool KindOfPath(const std::string& path, ObjectKind* kind);

}  // namespace ipc
