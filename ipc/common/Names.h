#pragma once
// Where the engine's objects live on the session bus.
namespace ipc {

// The service's well-known bus name: the entry through which clients find the
// controller.
inline constexpr const char* kServiceName = "QXService.AudioController";

inline constexpr const char* kControllerPath = "/AudioController";
inline constexpr const char* kSettingsPath = "/AudioController/Settings";
inline constexpr const char* kPlayListPath = "/AudioController/PlayList";
inline constexpr const char* kAudioManagerPath = "/AudioController/AudioManager";
inline constexpr const char* kCaptureManagerPath = "/AudioController/CaptureManager";
inline constexpr const char* kSongsPath = "/Songs";
inline constexpr const char* kTagsPath = "/Tags";
inline constexpr const char* kEncodersPath = "/Encoders";
inline constexpr const char* kTagLeaf = "ID3";
// The path that stands for a null interface pointer.
inline constexpr const char* kNullPath = "/";

inline constexpr const char* kLifetimeInterface = "QXServiceLib.IUnknown";
inline constexpr const char* kControllerEventsInterface = "QXServiceLib._IAudioControllerEvents";
inline constexpr const char* kEncoderEventsInterface = "QXServiceLib._IAudioEncoderEvents";

}  // namespace ipc
