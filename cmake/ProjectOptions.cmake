# Warnings for the project's own targets, fatal when asked (CI and scripts/test.sh ask); sanitizers
# for the whole tree.
include(CheckCXXCompilerFlag)
add_library(ostrel_warnings INTERFACE)
target_compile_options(ostrel_warnings INTERFACE -Wall -Wextra -Wpedantic)
# The stricter ones only where the compiler knows them, so any compiler builds a plain build.
foreach(_flag -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2)
  string(MAKE_C_IDENTIFIER "OSTREL_HAS${_flag}" _var)
  check_cxx_compiler_flag(${_flag} ${_var})
  if(${_var})
    target_compile_options(ostrel_warnings INTERFACE ${_flag})
  endif()
endforeach()
if(OSTREL_WARNINGS_AS_ERRORS)
  target_compile_options(ostrel_warnings INTERFACE -Werror -Werror=format-security)
endif()

if(OSTREL_SANITIZE)
  string(REPLACE "," ";" _ostrel_sans "${OSTREL_SANITIZE}")
  foreach(_s IN LISTS _ostrel_sans)
    add_compile_options(-fsanitize=${_s})
    add_link_options(-fsanitize=${_s})
  endforeach()
  add_compile_options(-fno-omit-frame-pointer -g)
  # The standard library's own bounds and precondition checks, beside the sanitizers.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
  if("undefined" IN_LIST _ostrel_sans)
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# ostrel_add_gtest(<name> SOURCES ... LIBS ... LABELS ...)
function(ostrel_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main ostrel_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  # gtest_discover_tests flattens a list of labels and keeps only the first, so the whole list
  # is set once the discovered tests are known.
  set(_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${_script}
    "foreach(_test IN LISTS ${name}_TESTS)\n"
    "  set_tests_properties(\"\${_test}\" PROPERTIES LABELS \"${T_LABELS}\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_script})
endfunction()

# One test program per *Test.cpp file of the calling folder; files named *ConcurrencyTest.cpp
# also carry the label "concurrency" (they run again under ThreadSanitizer).
function(ostrel_add_test_folder label)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  foreach(_file IN LISTS _tests)
    get_filename_component(_name ${_file} NAME_WE)
    set(_labels ${label})
    if(_name MATCHES "ConcurrencyTest$")
      list(APPEND _labels concurrency)
    endif()
    ostrel_add_gtest(${_name} SOURCES ${_file} ${_support} LIBS ${T_LIBS} LABELS "${_labels}")
  endforeach()
endfunction()

# A Qt Test program: the offscreen platform; a runtime folder of the build tree's (Qt makes one in
# /tmp when none is given, and leaves it there); and no debugger started on a crash, which takes
# minutes while the test's own bus, outliving it, keeps ctest waiting.
function(ostrel_widget_test name label)
  set(_runtime ${PROJECT_BINARY_DIR}/tests/runtime)
  file(MAKE_DIRECTORY ${_runtime})
  file(CHMOD ${_runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${name} PROPERTIES LABELS ${label}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${_runtime};QTEST_DISABLE_STACK_DUMP=1")
endfunction()
