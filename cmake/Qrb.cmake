# Build helpers shared by every component fragment.

add_library(qrb_options INTERFACE)
target_compile_options(qrb_options INTERFACE -Wall -Wextra -Werror)
target_include_directories(qrb_options INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(qrb_options INTERFACE
  QRB_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  QRB_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  QRB_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  QRB_VERSION_TWEAK=${PROJECT_VERSION_TWEAK}
  $<$<CONFIG:Debug>:QRB_DEBUG_BUILD=1>)

if(QRB_SANITIZE)
  target_compile_options(qrb_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(qrb_options INTERFACE -fsanitize=address,undefined)
endif()
if(QRB_FUZZ)
  # Optimised a little: the targets run many times more inputs in their time than unoptimised.
  target_compile_options(qrb_options INTERFACE -O1
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(qrb_options INTERFACE -fsanitize=address,undefined)
endif()

set_property(GLOBAL PROPERTY QRB_SUBSYSTEM_device "")
set_property(GLOBAL PROPERTY QRB_SUBSYSTEM_model "")
set_property(GLOBAL PROPERTY QRB_SUBSYSTEM_ui "")

# qrb_component(<subsystem> <name> SOURCES ... [LIBS ...])
# A static library qrb_<name> that belongs to subsystem device, model or ui.
function(qrb_component subsystem name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(subsystem STREQUAL "ui" AND NOT QRB_BUILD_UI)
    return()
  endif()
  add_library(qrb_${name} STATIC ${A_SOURCES})
  target_link_libraries(qrb_${name} PUBLIC qrb_options ${A_LIBS})
  set_property(GLOBAL APPEND PROPERTY QRB_SUBSYSTEM_${subsystem} qrb_${name})
endfunction()

# qrb_test(<name> SOURCES ... [LIBS ...] [UI] [RESOURCE_LOCK lock])
# A GoogleTest executable registered with CTest.
function(qrb_test name)
  cmake_parse_arguments(A "UI" "RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  if(QRB_FUZZ OR (A_UI AND NOT QRB_BUILD_UI))
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE qrb_options ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  # A 1400 x 900 screen, large enough for the main window's minimum size.
  set(env "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_SOURCE_DIR}/tests/support/offscreen-screen.json")
  list(APPEND env "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/testhome/${name}/run")
  list(APPEND env "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/testhome/${name}/config")
  list(APPEND env "QRB_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  list(APPEND env "QRB_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}")
  list(APPEND env "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/.ci/lsan.supp")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/testhome/${name}/run ${CMAKE_BINARY_DIR}/testhome/${name}/config)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
  if(A_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${A_RESOURCE_LOCK})
  endif()
endfunction()

# qrb_bench(<name> SOURCES ... [LIBS ...])
function(qrb_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT QRB_BENCH)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE qrb_options ${A_LIBS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# qrb_fuzz(<name> SOURCES ... [LIBS ...])
# Seed corpus: fuzz/corpus/<name>/.
function(qrb_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT QRB_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE qrb_options ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY QRB_FUZZ_TARGETS ${name})
endfunction()

# qrb_program(<name> SOURCES ... [LIBS ...] [UI])
function(qrb_program name)
  cmake_parse_arguments(A "UI" "" "SOURCES;LIBS" ${ARGN})
  if(QRB_FUZZ OR (A_UI AND NOT QRB_BUILD_UI))
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE qrb_options ${A_LIBS})
endfunction()

# One library per subsystem: qrb_device, qrb_model, qrb_ui.
function(qrb_finish_subsystems)
  foreach(s device model ui)
    get_property(libs GLOBAL PROPERTY QRB_SUBSYSTEM_${s})
    add_library(qrb_${s} INTERFACE)
    target_link_libraries(qrb_${s} INTERFACE ${libs})
  endforeach()
  get_property(fuzzers GLOBAL PROPERTY QRB_FUZZ_TARGETS)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets.txt "${fuzzers}")
endfunction()
