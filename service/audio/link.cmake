# The link to the virtual audio driver, wave conversion and song detection.
tonquil_module(audio_link
  SOURCES PipeServer.cpp KWave.cpp KSongDetector.cpp
  PUBLIC_DEPS platform_driver foundation qxservicelib)

tonquil_test(audio_link_tests
  SOURCES tests/FakeDriver.cpp tests/PipeServerTest.cpp tests/WaveTest.cpp tests/SongDetectorTest.cpp
  DEPS audio_link)

# The link against the driver stand-in program.
tonquil_test(audio_link_driver_tests
  SOURCES tests/PipeServerDriverTest.cpp
  DEPS audio_link)
tonquil_test(audio_link_pulse_tests
  SOURCES tests/PipeServerPulseTest.cpp
  DEPS audio_link platform_sound_test_support
  LABELS pulse)
if(TONQUIL_TESTS)
  foreach(t audio_link_driver_tests audio_link_pulse_tests)
    target_compile_definitions(${t} PRIVATE TONQUIL_AUDIO_DRIVER="$<TARGET_FILE:tonquil-audio-driver>")
    add_dependencies(${t} tonquil-audio-driver)
  endforeach()
endif()

# Throughput figures, run by hand (not a test).
if(TONQUIL_TESTS)
  add_executable(audio_link_bench tests/PipeServerBench.cpp tests/FakeDriver.cpp)
  target_link_libraries(audio_link_bench PRIVATE audio_link)
  tonquil_warnings(audio_link_bench)
endif()
