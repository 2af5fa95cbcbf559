# The OGG Vorbis format over libvorbis, libvorbisenc and libogg, resampled
# with libswresample.
pkg_check_modules(TONQUIL_VORBIS REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg libswresample libavutil)

tonquil_module(encoders_ogg
  SOURCES ogg/KOggEncoder.cpp
  PUBLIC_DEPS encoders PkgConfig::TONQUIL_VORBIS
  DEPS encoders_avlog)

tonquil_test(encoders_ogg_tests
  SOURCES ogg/tests/OggEncoderTest.cpp tests/EncoderTestSupport.cpp
  DEPS encoders_ogg encoders_test_support)

# Every format saved from a real cache, read back with the system's tools
# (the AAC and WMA formats join it where they are built).
tonquil_test(encoders_e2e_tests
  SOURCES tests/EndToEndTest.cpp tests/EncoderTestSupport.cpp
  DEPS encoders_mp3 encoders_ogg encoders_test_support)
