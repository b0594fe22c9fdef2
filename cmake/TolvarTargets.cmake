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

# tolvar_test(name SOURCES ... [LIBS ...] [OWN_MAIN] [NETNS] [TIMEOUT s]): one GoogleTest executable,
# each test case run as its own CTest test (so singletons start fresh).
# GUI tests run on the offscreen platform; NETNS tests run in a private network
# namespace where port 5000 is free. OWN_MAIN: the sources bring main().
function(tolvar_test name)
  cmake_parse_arguments(ARG "OWN_MAIN;NETNS" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TOLVAR_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  if(ARG_NETNS)
    # Read by gtest_discover_tests when it is called: set it first.
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}"
    TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST)
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
