# Warnings that hold for our own code only; third-party headers come in as SYSTEM. They stop
# the build only where ZEK_WARNINGS_AS_ERRORS is on (the test command's builds): a user's build
# with another compiler release must not fail on a warning that release adds.
add_library(zek_warnings INTERFACE)
target_compile_options(zek_warnings INTERFACE -Wall -Wextra)
if(ZEK_WARNINGS_AS_ERRORS)
  target_compile_options(zek_warnings INTERFACE -Werror)
endif()

# GCC 12 with optimisation (any build type but Debug) reports overlapping copies of impossible
# sizes (2^63 bytes) wherever it inlines a text literal + a temporary std::string: a known
# -Wrestrict false positive of that release, which the pattern hits in sources and tests alike.
# Off there alone; every other compiler and build keeps the warning.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(zek_warnings INTERFACE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
endif()

add_library(zek_sanitize INTERFACE)
if(ZEK_SANITIZE)
  target_compile_options(zek_sanitize INTERFACE -fsanitize=address,undefined
                                                -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zek_sanitize INTERFACE -fsanitize=address,undefined)
endif()

# zek_library(name DEPS ... [EXCLUDE file.cc ...]): a static library of every .cc in the current
# folder but the excluded ones.
# Folders glob their sources so that adding a file needs no edit here.
function(zek_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  if(NOT sources)
    # A folder that has no code yet still links, so dependents can name it.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src
                                                 ${PROJECT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} zek_sanitize)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} zek_sanitize PRIVATE zek_warnings)
endfunction()

# zek_test_folder(name DEPS ...): one GoogleTest binary of every *_test.cc in the folder.
# Tests run with the source root as working directory, so ../shared/testdata resolves.
function(zek_test_folder name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}
                                             ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main
                                        zek_warnings zek_sanitize)
  gtest_discover_tests(${name} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                       DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# zek_bench_folder(DEPS ...): one Google Benchmark binary per *_bench.cc. Each also runs once
# as a short smoke test, so a benchmark that breaks fails the test run.
function(zek_bench_folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_bench.cc)
  foreach(source ${sources})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}
                                               ${PROJECT_SOURCE_DIR}/include)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark zek_warnings)
    add_test(NAME ${name}_smoke COMMAND ${name} --benchmark_min_time=0.001
             WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
    set_tests_properties(${name}_smoke PROPERTIES LABELS bench TIMEOUT 600)
  endforeach()
endfunction()
