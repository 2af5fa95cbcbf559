# The AAC codec layer (the faac calls over libavcodec's AAC encoder) and the
# AAC format on it.
pkg_check_modules(TONQUIL_AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil)

tonquil_module(encoders_faac
  SOURCES aac/FaacEnc.cpp
  PUBLIC_DEPS platform_core
  DEPS encoders_avlog PkgConfig::TONQUIL_AVCODEC)

tonquil_module(encoders_aac
  SOURCES KAacEncoder.cpp
  PUBLIC_DEPS encoders encoders_faac)

tonquil_test(encoders_faac_tests
  SOURCES aac/tests/FaacEncTest.cpp
  DEPS encoders_faac encoders_test_support)
