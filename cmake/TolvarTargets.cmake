# Shared compile settings for every target of ours.

set(TOLVAR_WARNINGS -Wall -Wextra -Wsuggest-override -Wnon-virtual-dtor -Wimplicit-fallthrough)

if(TOLVAR_BUILD_FUZZERS)
  # Every library a fuzzer links is instrumented for coverage and errors.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TOLVAR_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TOLVAR_SANITIZE STREQUAL "thread")
  # asio uses fences that the thread sanitizer cannot model; it says so on every use.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
  add_link_options(-fsanitize=thread)
elseif(NOT TOLVAR_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TOLVAR_SANITIZE must be empty, 'address' or 'thread'")
endif()

# tolvar_library(name SOURCES ... [LIBS ...]): a static library of one folder.
function(tolvar_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${TOLVAR_WARNINGS})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# tolvar_test(name SOURCES ... [LIBS ...] [OWN_MAIN] [TIMEOUT s] [SHARDS n]): one GoogleTest
# program, which CTest runs as one process (every test program passes run
# alone), or with SHARDS as n processes that share its tests out between
# them (name-0 ... name-<n-1>). TIMEOUT bounds each process (120 s unless
# set). GUI tests run on the offscreen platform. OWN_MAIN: the sources
# bring main().
function(tolvar_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "TIMEOUT;SHARDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TOLVAR_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  if(NOT ARG_SHARDS OR ARG_SHARDS EQUAL 1)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
    return()
  endif()
  math(EXPR last "${ARG_SHARDS} - 1")
  foreach(index RANGE ${last})
    add_test(NAME ${name}-${index} COMMAND ${name})
    set_tests_properties(${name}-${index} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "${env};GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${index}")
  endforeach()
endfunction()

# tolvar_benchmark(name SOURCES ... [LIBS ...]): a benchmark program.
function(tolvar_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TOLVAR_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads)
endfunction()

# tolvar_fuzzer(name SOURCES ... [LIBS ...]): a libFuzzer target built with
# AddressSanitizer and UndefinedBehaviorSanitizer (clang only).
function(tolvar_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TOLVAR_WARNINGS} -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
