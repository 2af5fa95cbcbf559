# The part of every encoder that does not depend on the format: path parts,
# the save loop and its Progress events.
tonquil_module(encoders
  SOURCES KPathParts.cpp CProxy_IAudioEncoderEvents.cpp KSaveFile.cpp KAudioEncoder.cpp
  PUBLIC_DEPS foundation audio_cache qxservicelib platform_core platform_com platform_fs)

tonquil_test(encoders_tests
  SOURCES tests/PathPartsTest.cpp tests/AudioEncoderTest.cpp tests/SaveFileTest.cpp tests/EncoderTestSupport.cpp
  DEPS encoders encoders_test_support)
