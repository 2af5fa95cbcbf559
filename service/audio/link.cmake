# The link to the virtual audio driver, wave conversion and song detection.
tonquil_module(audio_link
  SOURCES PipeServer.cpp KWave.cpp KSongDetector.cpp
  PUBLIC_DEPS platform_driver foundation controller_api qxservicelib)

tonquil_test(audio_link_tests
  SOURCES tests/FakeDriver.cpp tests/PipeServerTest.cpp tests/WaveTest.cpp tests/SongDetectorTest.cpp
  DEPS audio_link)
