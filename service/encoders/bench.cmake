# encoder_bench: each format's save of a long cache stretch beside its
# reference encoder, judged against it. A short run of it is a test, so that
# it keeps working; it does not judge (3 s of audio are mostly start-up).
if(TONQUIL_TESTS)
  add_executable(encoder_bench bench/EncoderBench.cpp)
  target_link_libraries(encoder_bench PRIVATE encoders_mp3 encoders_ogg encoders_aac encoders_wma audio_cache foundation)
  tonquil_warnings(encoder_bench)
  tonquil_wma_profiles(encoder_bench)
  add_test(NAME EncoderBench.ShortRun COMMAND encoder_bench --limit 0 3)
  set_tests_properties(EncoderBench.ShortRun PROPERTIES TIMEOUT 120)
endif()
