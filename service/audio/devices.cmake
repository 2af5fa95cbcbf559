# The sound devices: players, the capturer and their device lists.
tonquil_module(audio_devices
  SOURCES SDevInfo.cpp KDeviceList.cpp SoundChunk.cpp KAudioPlayer.cpp KAudioCapturer.cpp
  PUBLIC_DEPS foundation qxservicelib platform_sound)

tonquil_test(audio_devices_tests
  SOURCES tests/DeviceListTest.cpp tests/AudioPlayerTest.cpp tests/AudioCapturerTest.cpp
  DEPS audio_devices)

tonquil_pulse_test(audio_devices_pulse_tests
  SOURCES tests/AudioPlayerPulseTest.cpp
  DEPS audio_devices platform_sound_test_support)

add_executable(audio_player_bench bench/AudioPlayerBench.cpp)
target_link_libraries(audio_player_bench PRIVATE audio_devices)
tonquil_warnings(audio_player_bench)
