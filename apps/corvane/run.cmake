# Build settings of `corvane run` (run.cpp): it calls the render context through its header, so it
# links that library (for its type information); its end-to-end test drives the built tool on the
# default scene and on a broken scene.
if(TARGET corvane_render_context)
  target_link_libraries(corvane PRIVATE corvane_render_context)
endif()
# The built-in scene is scenes/default.json, read when the build is configured (and again whenever
# that file changes), so the file and what `corvane run` renders without a scene cannot drift apart.
set(_default_scene ${PROJECT_SOURCE_DIR}/scenes/default.json)
file(READ ${_default_scene} CORVANE_DEFAULT_SCENE_JSON)
configure_file(${CMAKE_CURRENT_LIST_DIR}/default_scene.h.in
  ${CMAKE_CURRENT_BINARY_DIR}/generated/default_scene.h @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_default_scene})
target_include_directories(corvane PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
if(CORVANE_TESTS AND TARGET corvane_render_context AND TARGET corvane_object_data)
  find_package(PNG REQUIRED)
  # The built-in scene may use any plug-in: build them all first.
  get_property(_run_test_plugins GLOBAL PROPERTY CORVANE_PLUGIN_TARGETS)
  corvane_add_test(corvane_run_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/run_test.cpp
    LINKS PNG::PNG
    PLUGINS corvane ${_run_test_plugins})
  target_compile_definitions(corvane_run_tests PRIVATE CORVANE_CLI_PATH="$<TARGET_FILE:corvane>")
endif()
