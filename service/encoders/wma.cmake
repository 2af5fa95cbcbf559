# The WMA codec layer (profile manager and writer over libavformat's ASF
# muxer, libavcodec's wmav2 and libswresample), the ASF writer wrapper and the
# WMA format on it.
pkg_check_modules(TONQUIL_WM REQUIRED IMPORTED_TARGET libavformat libavcodec libswresample libavutil libxml-2.0)

tonquil_module(encoders_wm
  SOURCES wma/WmProfile.cpp wma/WmWriter.cpp wma/AsfDescriptions.cpp
  PUBLIC_DEPS platform_com qxservicelib
  DEPS encoders_avlog PkgConfig::TONQUIL_WM)

tonquil_module(encoders_wma
  SOURCES KAsfEncoder.cpp KWmaEncoder.cpp
  PUBLIC_DEPS encoders encoders_wm platform_fs tonquil_log)

tonquil_test(encoders_wma_tests
  SOURCES wma/tests/WmLayerTest.cpp tests/KAsfEncoderTest.cpp
  DEPS encoders_wma encoders_test_support)

# Both formats saved through the encoder base.
tonquil_test(encoders_aacwma_tests
  SOURCES tests/AacWmaEncoderTest.cpp tests/EncoderTestSupport.cpp
  DEPS encoders_aac encoders_wma encoders_registry audio_cache encoders_test_support)

foreach(program encoders_wma_tests encoders_aacwma_tests)
  if(TARGET ${program})
    tonquil_wma_profiles(${program})
  endif()
endforeach()

# The same formats made by type and driven over the session bus.
tonquil_test(encoders_bus_tests
  SOURCES tests/EncoderBusTest.cpp tests/EncoderTestSupport.cpp ${CMAKE_SOURCE_DIR}/ipc/tests/BusFixture.cpp
  DEPS encoders_registry encoders_aac encoders_wma audio_cache ipc_test_support encoders_test_support
  LABELS dbus)
if(TARGET encoders_bus_tests)
  tonquil_wma_profiles(encoders_bus_tests)
endif()

# The end-to-end saves from a real cache cover both formats too.
if(TARGET encoders_e2e_tests)
  target_link_libraries(encoders_e2e_tests PRIVATE encoders_aac encoders_wma)
  tonquil_wma_profiles(encoders_e2e_tests)
endif()
