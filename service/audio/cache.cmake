# The time-shift cache: rings, buffer file chains with their index files, the
# three-buffer cache object with its writer threads, and the silence trimming
# and volume ramps used when a song is saved.
tonquil_module(audio_cache
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/KBufferCircle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SGroupFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KCacheImpl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KCacheImplIndex.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KCache.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KCacheMix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KSoundHelper.cpp
  PUBLIC_DEPS foundation qxservicelib platform_core platform_com platform_fs)

tonquil_test(audio_cache_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/BufferCircleTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/CacheImplTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/CacheIndexTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/CacheTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/CacheMixTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/CacheWriterTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/SoundHelperTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/CacheRestartTest.cpp
  DEPS audio_cache)

if(TONQUIL_TESTS)
  # The crash test kills this writer at a random moment and checks what it left.
  add_executable(cache_crash_writer ${CMAKE_CURRENT_LIST_DIR}/tests/CacheCrashWriter.cpp)
  target_link_libraries(cache_crash_writer PRIVATE audio_cache)
  tonquil_warnings(cache_crash_writer)
  add_dependencies(audio_cache_tests cache_crash_writer)
  target_compile_definitions(audio_cache_tests PRIVATE CACHE_CRASH_WRITER="$<TARGET_FILE:cache_crash_writer>")
endif()

# Throughput figures of the cache (Google Benchmark; not part of the tests).
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(cache_bench ${CMAKE_CURRENT_LIST_DIR}/tests/CacheBench.cpp)
  target_link_libraries(cache_bench PRIVATE audio_cache benchmark::benchmark)
  tonquil_warnings(cache_bench)
endif()
