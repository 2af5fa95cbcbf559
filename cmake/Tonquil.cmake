# Shared settings for every project target.

# Source file texts in trace entries are relative to the tree's root.
add_compile_options("-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=")

if(TONQUIL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# tonquil_module(NAME SOURCES... [DEPS ...] [PUBLIC_DEPS ...])
#   One static library per module; the tree's root is the include root.
function(tonquil_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${M_PUBLIC_DEPS} PRIVATE ${M_DEPS})
  tonquil_warnings(${name})
endfunction()

function(tonquil_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unused-parameter)
endfunction()

# tonquil_test(NAME SOURCES... DEPS ... [LABELS ...])
#   A GoogleTest executable whose cases are registered with ctest one by one.
function(tonquil_test name)
  if(NOT TONQUIL_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  tonquil_warnings(${name})
  set(props TIMEOUT 120)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  # Tests on the sound server play into and record from the same few devices:
  # they take turns, or one test's tone ends up in another's recording.
  if("pulse" IN_LIST T_LABELS)
    list(APPEND props RESOURCE_LOCK tonquil_sound_server)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# tonquil_wma_profiles(TARGET)
#   Copies the WMA profile files beside a program that saves WMA files; the
#   encoder looks for them in its program's folder.
function(tonquil_wma_profiles target)
  file(GLOB profiles ${CMAKE_SOURCE_DIR}/service/encoders/wma/profiles/*.prx)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${profiles} $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

# tonquil_lame_enc(TARGET)
#   Puts the MP3 library liblame_enc.so beside a program that saves MP3
#   files; the encoder loads it from its program's folder.
function(tonquil_lame_enc target)
  add_dependencies(${target} lame_enc)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:lame_enc> $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
