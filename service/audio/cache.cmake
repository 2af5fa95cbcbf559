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
  DEPS audio_cache)
