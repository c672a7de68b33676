# Compiler settings shared by every target of our own.
add_library(rtsa_options INTERFACE)
target_compile_options(rtsa_options INTERFACE -Wall -Wextra)
if(RTSA_WERROR)
  target_compile_options(rtsa_options INTERFACE -Werror)
endif()

if(RTSA_SANITIZE AND RTSA_TSAN)
  message(FATAL_ERROR "RTSA_SANITIZE and RTSA_TSAN cannot be combined")
endif()
if(RTSA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(RTSA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Only targets that use Qt directly need moc; the plain C++ ones skip a build step each.
function(rtsa_moc_only_for_qt name)
  if(NOT "${ARGN}" MATCHES "Qt6::")
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  endif()
endfunction()

# rtsa_library(name SOURCES ... LIBS ...): one subsystem library with our warnings.
function(rtsa_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC rtsa_options Threads::Threads ${ARG_LIBS})
  rtsa_moc_only_for_qt(${name} ${ARG_LIBS})
endfunction()

# rtsa_gtest(name SOURCES ... LIBS ... [LABELS ...]): a GoogleTest executable registered with ctest.
find_package(GTest QUIET)
function(rtsa_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE rtsa_options GTest::gtest GTest::gtest_main ${ARG_LIBS})
  rtsa_moc_only_for_qt(${name} ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# rtsa_gui_test(name COMMAND ...): a test that needs a display runs under its own Xvfb server.
# They share one lock so that two Xvfb servers never race for the same display number.
function(rtsa_gui_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "COMMAND;LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/xvfb-test.sh ${ARG_COMMAND})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # The OpenGL driver is unloaded before the leak check runs, so its caches show up as leaks
  # of an unknown module that no suppression can name: leak checking stays with the plain tests.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} RESOURCE_LOCK xvfb
                       LABELS "gui;${ARG_LABELS}" ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endfunction()
