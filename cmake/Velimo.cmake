# Shared build rules: warnings, and one helper per kind of target so that
# every library folder and test folder is declared the same way.

function(velimo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12 at -O3 takes some std::string assignments, once inlined, for
  # copies between overlapping places of absurd size (-Wrestrict); the
  # warning is the compiler's own mistake, not the code's.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  # MinGW's GCC 12 at -O3 takes aggregates of strings built in a table
  # (forms/controls/accessible_names.cpp) for ones used uninitialized.
  if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
  if(VELIMO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# velimo_platform_sources(LIST): keeps the files of a source list that
# belong to the target system. A facility that differs between systems
# lives in foo_posix.cpp and foo_win.cpp beside the shared foo.cpp.
function(velimo_platform_sources list_var)
  set(sources ${${list_var}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix(_test)?\\.cpp$")
    foreach(pending ${VELIMO_WINDOWS_PENDING})
      list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${pending})
    endforeach()
  else()
    list(FILTER sources EXCLUDE REGEX "_win(_test)?\\.cpp$")
  endif()
  set(${list_var} ${sources} PARENT_SCOPE)
endfunction()

# velimo_library(NAME folder-relative-name DEPS ...): every .cpp of the
# folder (not of its sub-folders) goes into one static library.
function(velimo_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  velimo_platform_sources(sources)
  if(NOT sources)
    # A layer whose files are still to come links as an empty library.
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  velimo_warnings(${name})
endfunction()

# velimo_test_folder(NAME DEPS ...): every *_test.cpp of the folder goes
# into one GoogleTest executable, each test registered with CTest.
function(velimo_test_folder name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  velimo_platform_sources(sources)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock)
  velimo_warnings(${name})
  if(CMAKE_CROSSCOMPILING)
    # Under wine each process start costs far more than a test case: one
    # CTest test per executable.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120)
  endif()
endfunction()
