# Project-wide build helpers: warnings, sanitizers, library/test/bench targets.
include_guard(GLOBAL)

# VORNASK_SANITIZE: OFF, ON (address + undefined), address, undefined, thread
set(VORNASK_SANITIZE OFF CACHE STRING "Sanitizers: OFF, ON (address+undefined), thread")

function(vornask_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VORNASK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(VORNASK_SANITIZE STREQUAL "ON" OR VORNASK_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
  add_compile_definitions(VORNASK_SANITIZED=1)
elseif(VORNASK_SANITIZE STREQUAL "thread")
  # Asio uses atomic fences, which TSan does not model; g++ warns about each.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(VORNASK_SANITIZED=1 VORNASK_TSAN=1)
endif()

# The fuzz build instruments all code for coverage and checks it with ASan + UBSan; only the
# fuzz targets link libFuzzer's main.
if(VORNASK_FUZZ)
  if(NOT VORNASK_SANITIZE STREQUAL "OFF")
    message(FATAL_ERROR "VORNASK_FUZZ brings its own sanitizers; leave VORNASK_SANITIZE off")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(VORNASK_SANITIZED=1)
endif()

# vornask_library(<name> SOURCES ... [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
function(vornask_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(vornask_${name} STATIC ${ARG_SOURCES})
  add_library(vornask::${name} ALIAS vornask_${name})
  target_include_directories(vornask_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(vornask_${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  set_target_properties(vornask_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  vornask_warnings(vornask_${name})
  set_property(GLOBAL APPEND PROPERTY VORNASK_LIBRARIES vornask::${name})
endfunction()

# vornask_test(<name> SOURCES ... [DEPS ...] [LABELS ...] [TIMEOUT s])
function(vornask_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(test_${name} ${ARG_SOURCES})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  vornask_warnings(test_${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  include(GoogleTest)
  gtest_discover_tests(test_${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${name};${ARG_LABELS}"
               ENVIRONMENT "VORNASK_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# vornask_bench(<name> SOURCES ... [DEPS ...])
function(vornask_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark Threads::Threads)
  target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  vornask_warnings(bench_${name})
endfunction()

# Adds every listed subfolder of the current folder that has a CMakeLists.txt.
macro(vornask_add_existing)
  foreach(sub ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
    endif()
  endforeach()
endmacro()
