# The WMA codec layer (profile manager and writer over libavformat's ASF
# muxer, libavcodec's wmav2 and libswresample) and the ASF writer wrapper.
pkg_check_modules(TONQUIL_WM REQUIRED IMPORTED_TARGET libavformat libavcodec libswresample libavutil libxml-2.0)

tonquil_module(encoders_wm
  SOURCES wma/WmProfile.cpp wma/WmWriter.cpp
  PUBLIC_DEPS platform_com qxservicelib
  DEPS PkgConfig::TONQUIL_WM)

tonquil_module(encoders_asf
  SOURCES KAsfEncoder.cpp
  PUBLIC_DEPS encoders_wm platform_fs foundation_trace)

tonquil_test(encoders_wma_tests
  SOURCES wma/tests/WmLayerTest.cpp tests/KAsfEncoderTest.cpp
  DEPS encoders_asf encoders_test_support)
if(TARGET encoders_wma_tests)
  tonquil_wma_profiles(encoders_wma_tests)
endif()
