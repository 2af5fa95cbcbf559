# The MP3 format over our lame_enc library (libmp3lame underneath), which the
# service loads at run time from its own folder.
add_library(lame_enc SHARED mp3/LameEnc.cpp)
target_include_directories(lame_enc PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(lame_enc PRIVATE mp3lame)
set_target_properties(lame_enc PROPERTIES CXX_VISIBILITY_PRESET hidden)
tonquil_warnings(lame_enc)

tonquil_module(encoders_mp3
  SOURCES mp3/KMp3Encoder.cpp mp3/KLameLibrary.cpp mp3/Id3v2Tag.cpp
  PUBLIC_DEPS encoders
  DEPS ${CMAKE_DL_LIBS})
add_dependencies(encoders_mp3 lame_enc)

if(TONQUIL_TESTS)
  # Damaged builds of the library for the tests: one without the Info-frame
  # entry point, one without a required entry point.
  foreach(variant noinfotag partial)
    add_library(lame_enc_${variant} SHARED mp3/LameEnc.cpp)
    target_include_directories(lame_enc_${variant} PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(lame_enc_${variant} PRIVATE mp3lame)
    set_target_properties(lame_enc_${variant} PROPERTIES CXX_VISIBILITY_PRESET hidden OUTPUT_NAME lame_enc
                          LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${variant})
    tonquil_warnings(lame_enc_${variant})
  endforeach()
  target_compile_definitions(lame_enc_noinfotag PRIVATE LAME_ENC_WITHOUT_INFO_TAG)
  target_compile_definitions(lame_enc_partial PRIVATE LAME_ENC_PARTIAL)
endif()

tonquil_test(encoders_mp3_tests
  SOURCES mp3/tests/Mp3EncoderTest.cpp tests/EncoderTestSupport.cpp
  DEPS encoders_mp3 encoders_test_support)
if(TARGET encoders_mp3_tests)
  add_dependencies(encoders_mp3_tests lame_enc lame_enc_noinfotag lame_enc_partial)
  target_compile_definitions(encoders_mp3_tests PRIVATE
    LAME_ENC_NOINFOTAG="$<TARGET_FILE:lame_enc_noinfotag>" LAME_ENC_PARTIAL="$<TARGET_FILE:lame_enc_partial>")
endif()
