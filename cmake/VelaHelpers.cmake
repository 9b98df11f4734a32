# Shared build helpers.

function(vela_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Adds every .cpp/.h of the calling folder to the application library.
function(vela_add_sources)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER _src EXCLUDE REGEX "/main\\.cpp$")
  target_sources(velacore PRIVATE ${_src})
endfunction()

# The environment every test runs in: offscreen, software Quick, the sanitizers' options.
function(vela_test_environment out)
  set(_env "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software")
  if(VELA_SANITIZE MATCHES "thread")
    list(APPEND _env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp")
  endif()
  if(VELA_SANITIZE MATCHES "address")
    list(APPEND _env "ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0" "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp" "UBSAN_OPTIONS=print_stacktrace=1")
  endif()
  set(${out} "${_env}" PARENT_SCOPE)
endfunction()

# vela_add_test(NAME name LABEL label SOURCES ... [GUI] [NO_CTEST] [LIBS ...])
# A Qt Test executable linked with the application library and the virtual device.
# GUI tests run on the offscreen platform so they need no display. NO_CTEST: the caller adds
# the CTest entries itself (one executable run several ways).
function(vela_add_test)
  cmake_parse_arguments(T "GUI;NO_CTEST" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE velacore velasim Qt5::Test ${T_LIBS})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  vela_warnings(${T_NAME})
  if(T_NO_CTEST)
    return()
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  vela_test_environment(_env)
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${_env}")
endfunction()
