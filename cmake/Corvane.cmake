# Helpers shared by every module's CMakeLists.txt.

# corvane_add_plugin(<target> GUID <guid> SOURCES ... [LINKS ...])
# Builds a channel plug-in named <GUID>.so in build/plugins. It links the host library; LINKS may
# name other plug-in targets whose classes it derives from (found at run time through $ORIGIN).
function(corvane_add_plugin target)
  cmake_parse_arguments(P "" "GUID" "SOURCES;LINKS" ${ARGN})
  if(NOT P_GUID)
    message(FATAL_ERROR "corvane_add_plugin(${target}): GUID is required")
  endif()
  add_library(${target} SHARED ${P_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${P_GUID}
    LIBRARY_OUTPUT_DIRECTORY ${CORVANE_PLUGIN_DIR}
    BUILD_RPATH "$ORIGIN;$ORIGIN/../lib"
    INSTALL_RPATH "$ORIGIN;$ORIGIN/../lib")
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  target_link_libraries(${target} PUBLIC Corvane corvane_frame ${P_LINKS})
  set_property(GLOBAL APPEND PROPERTY CORVANE_PLUGIN_TARGETS ${target})
endfunction()

# corvane_add_test(<target> SOURCES ... [LINKS ...] [PLUGINS ...])
# A GoogleTest executable registered with CTest. PLUGINS names the plug-in targets the test loads
# at run time: they are built first. The test finds them in CORVANE_TEST_PLUGIN_DIR.
function(corvane_add_test target)
  if(NOT CORVANE_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LINKS;PLUGINS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main ${T_LINKS})
  target_compile_definitions(${target} PRIVATE
    CORVANE_TEST_PLUGIN_DIR="${CORVANE_PLUGIN_DIR}"
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(T_PLUGINS)
    add_dependencies(${target} ${T_PLUGINS})
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "CORVANE_PLUGIN_PATH=${CORVANE_PLUGIN_DIR}")
endfunction()

# corvane_add_bench(<target> SOURCES ... [LINKS ...] [PLUGINS ...])
function(corvane_add_bench target)
  if(NOT CORVANE_BENCH)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LINKS;PLUGINS" ${ARGN})
  add_executable(${target} ${B_SOURCES})
  target_link_libraries(${target} PRIVATE benchmark::benchmark ${B_LINKS})
  target_compile_definitions(${target} PRIVATE
    CORVANE_TEST_PLUGIN_DIR="${CORVANE_PLUGIN_DIR}"
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(B_PLUGINS)
    add_dependencies(${target} ${B_PLUGINS})
  endif()
endfunction()
