# Shared build settings and the small helpers every library folder uses.
#
# Floating point must be reproducible: no contraction of a*b+c into fused
# multiply-adds (a pragma is ignored by g++), never -ffast-math.
set(QUILLMOOR_COMPILE_OPTIONS -ffp-contract=off -fno-fast-math -Wall -Wextra -Wshadow)
if(QUILLMOOR_WERROR)
  list(APPEND QUILLMOOR_COMPILE_OPTIONS -Werror)
  # g++ 12 reports overflows inside std::vector's own insert and fill at -O3
  # that cannot happen (its flow analysis loses the size); they stay
  # visible as warnings but do not stop the build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND QUILLMOOR_COMPILE_OPTIONS
      -Wno-error=stringop-overflow -Wno-error=array-bounds -Wno-error=stringop-overread -Wno-error=restrict)
  endif()
endif()
if(QUILLMOOR_SANITIZE)
  list(APPEND QUILLMOOR_COMPILE_OPTIONS -fsanitize=${QUILLMOOR_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${QUILLMOOR_SANITIZE} -fno-sanitize-recover=all)
endif()
if(QUILLMOOR_FUZZ)
  # The libraries need the coverage instrumentation too, or the fuzzers
  # only see their own few lines; they also run under ASan and UBSan.
  list(APPEND QUILLMOOR_COMPILE_OPTIONS -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
# Where the seed corpora of the fuzzers are made (fuzz/make_corpus.cc),
# one folder per fuzzer.
set(QUILLMOOR_FUZZ_CORPUS_DIR "${PROJECT_BINARY_DIR}/fuzz-corpus" CACHE PATH
    "Where the fuzzers' seed corpora are generated")

# quillmoor_library(NAME <name> [DEPS ...])
# Builds every .cc of the current folder except tests, fuzzers and
# benchmarks into quillmoor_<name>, aliased quillmoor::<name>.
function(quillmoor_library)
  cmake_parse_arguments(L "" "NAME" "DEPS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  list(FILTER _srcs EXCLUDE REGEX "(_(test|fuzzer|benchmark)|/main)\\.cc$")
  if(NOT _srcs)
    message(FATAL_ERROR "library ${L_NAME} has no sources")
  endif()
  add_library(quillmoor_${L_NAME} STATIC ${_srcs})
  add_library(quillmoor::${L_NAME} ALIAS quillmoor_${L_NAME})
  target_include_directories(quillmoor_${L_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(quillmoor_${L_NAME} PRIVATE ${QUILLMOOR_COMPILE_OPTIONS})
  target_link_libraries(quillmoor_${L_NAME} PUBLIC ${L_DEPS})
  quillmoor_folder_extras(quillmoor_${L_NAME} quillmoor::${L_NAME} ${L_DEPS})
endfunction()

# Tests, benchmarks and fuzzers of a folder: every foo_test.cc joins the
# folder's test binary, every foo_benchmark.cc its benchmark binary, every
# foo_fuzzer.cc becomes a fuzzer of its own. Without libFuzzer, each fuzzer
# is built with a replay main instead and replays its seed corpus as a test.
function(quillmoor_folder_extras name)
  set(_deps ${ARGN})
  if(QUILLMOOR_BUILD_TESTS)
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
    if(_tests)
      add_executable(${name}_test ${_tests})
      target_compile_options(${name}_test PRIVATE ${QUILLMOOR_COMPILE_OPTIONS})
      target_link_libraries(${name}_test PRIVATE ${_deps} quillmoor::authoring GTest::gtest GTest::gtest_main)
      target_compile_definitions(${name}_test PRIVATE QUILLMOOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
      gtest_discover_tests(${name}_test DISCOVERY_TIMEOUT 120 PROPERTIES LABELS ${name})
    endif()
    if(NOT QUILLMOOR_FUZZ)
      file(GLOB _replays CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_fuzzer.cc)
      foreach(_f ${_replays})
        get_filename_component(_fname ${_f} NAME_WE)
        add_executable(${_fname}_replay ${_f} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cc)
        target_compile_options(${_fname}_replay PRIVATE ${QUILLMOOR_COMPILE_OPTIONS})
        target_link_libraries(${_fname}_replay PRIVATE ${_deps} quillmoor::authoring)
        add_test(NAME ${_fname}_replay COMMAND ${_fname}_replay ${QUILLMOOR_FUZZ_CORPUS_DIR}/${_fname})
        set_tests_properties(${_fname}_replay PROPERTIES LABELS fuzz_replay FIXTURES_REQUIRED fuzz_corpus)
      endforeach()
    endif()
  endif()
  if(QUILLMOOR_BUILD_BENCHMARKS)
    file(GLOB _benches CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_benchmark.cc)
    if(_benches)
      add_executable(${name}_benchmark ${_benches})
      target_compile_options(${name}_benchmark PRIVATE ${QUILLMOOR_COMPILE_OPTIONS})
      target_link_libraries(${name}_benchmark PRIVATE ${_deps} quillmoor::authoring benchmark::benchmark benchmark::benchmark_main)
      target_compile_definitions(${name}_benchmark PRIVATE QUILLMOOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
      set_property(GLOBAL APPEND PROPERTY QUILLMOOR_BENCHMARKS ${name}_benchmark)
    endif()
  endif()
  if(QUILLMOOR_FUZZ)
    file(GLOB _fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_fuzzer.cc)
    foreach(_f ${_fuzzers})
      get_filename_component(_fname ${_f} NAME_WE)
      add_executable(${_fname} ${_f})
      target_compile_options(${_fname} PRIVATE ${QUILLMOOR_COMPILE_OPTIONS} -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
      target_link_options(${_fname} PRIVATE -fsanitize=fuzzer,address,undefined)
      target_link_libraries(${_fname} PRIVATE ${_deps} quillmoor::authoring)
    endforeach()
  endif()
endfunction()

# quillmoor_app(NAME <exe> SOURCES ... DEPS ...)
function(quillmoor_app)
  cmake_parse_arguments(A "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_executable(${A_NAME} ${A_SOURCES})
  target_compile_options(${A_NAME} PRIVATE ${QUILLMOOR_COMPILE_OPTIONS})
  target_link_libraries(${A_NAME} PRIVATE ${A_DEPS})
endfunction()
