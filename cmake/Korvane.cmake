# Helpers that give every library, plug-in, program and test of the project
# the same shape: include roots, export macro, output folder and RPATH.

set(KORVANE_PLUGIN_ARGUMENTS_JSON
  "[ { \"Name\": \"-color\", \"Parameter\": \"color\", \"Description\": \"Override selected UI color\" },
     { \"Name\": \"-theme\", \"Parameter\": \"default|dark\", \"Description\": \"Choose a built-in theme or pass a .creatortheme file\" },
     { \"Name\": \"-presentationMode\", \"Description\": \"Enable presentation mode with pop-ups for key combos\" } ]")

function(_korvane_common target)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/libs>
    $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/plugins>)
endfunction()

# korvane_add_library(Name EXPORT_MACRO_DEFINE SOURCES ... LINKS ...)
# A shared library in lib/; EXPORT_DEFINE is set while it is built so that
# its <name>_global.h export macro exports rather than imports.
function(korvane_add_library name)
  cmake_parse_arguments(A "" "EXPORT_DEFINE" "SOURCES;LINKS" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  _korvane_common(${name})
  if(A_EXPORT_DEFINE)
    target_compile_definitions(${name} PRIVATE ${A_EXPORT_DEFINE})
  endif()
  target_link_libraries(${name} PUBLIC ${A_LINKS})
  set_target_properties(${name} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${KORVANE_LIB_DIR}
    INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${name} LIBRARY DESTINATION ${KORVANE_INSTALL_ROOT}/${KORVANE_LIB_DIR})
endfunction()

# korvane_add_plugin(Name
#   EXPORT_DEFINE MACRO SOURCES ... LINKS ... (non-plug-in libraries)
#   DEPENDS Plug-in ... (plug-ins this one needs: linked AND declared)
#   CATEGORY text DESCRIPTION text REQUIRED true|false
#   EXTRA_ARGUMENTS json-objects (more option descriptions, comma separated)
#   OUTPUT_DIR folder (test fixtures only: built there, never installed))
# Builds lib/appcore/plugins/lib<Name>.so and generates <Name>.json, the
# metadata the plug-in embeds. The dependency list of the metadata is the
# DEPENDS list, so metadata and linking cannot drift apart.
function(korvane_add_plugin name)
  cmake_parse_arguments(A "" "EXPORT_DEFINE;CATEGORY;DESCRIPTION;REQUIRED;LICENSE;OUTPUT_DIR" "SOURCES;LINKS;DEPENDS;EXTRA_ARGUMENTS" ${ARGN})
  if(NOT DEFINED A_REQUIRED)
    set(A_REQUIRED false)
  endif()
  if(NOT DEFINED A_CATEGORY)
    set(A_CATEGORY "Korvane_Config")
  endif()
  set(deps "")
  foreach(d ${A_DEPENDS})
    if(deps)
      string(APPEND deps ",\n    ")
    endif()
    string(APPEND deps "{ \"Name\": \"${d}\", \"Version\": \"${KORVANE_VERSION}\" }")
  endforeach()
  set(args "${KORVANE_PLUGIN_ARGUMENTS_JSON}")
  if(A_EXTRA_ARGUMENTS)
    string(REGEX REPLACE "\\][ \n]*$" "" args "${args}")
    string(APPEND args ",\n     ${A_EXTRA_ARGUMENTS} ]")
  endif()
  set(json_dir ${CMAKE_CURRENT_BINARY_DIR}/metadata)
  file(MAKE_DIRECTORY ${json_dir})
  file(WRITE ${json_dir}/${name}.json.in
"{
  \"Name\": \"${name}\",
  \"Version\": \"${KORVANE_VERSION}\",
  \"CompatVersion\": \"${KORVANE_VERSION}\",
  \"Vendor\": \"OOO NPP TAVREL\",
  \"Copyright\": \"(C) OOO NPP TAVREL\",
  \"Url\": \"https://www.tavrel.example\",
  \"Category\": \"${A_CATEGORY}\",
  \"Description\": \"${A_DESCRIPTION}\",
  \"License\": \"${A_LICENSE}\",
  \"Required\": ${A_REQUIRED},
  \"Dependencies\": [
    ${deps}
  ],
  \"Arguments\": ${args}
}
")
  configure_file(${json_dir}/${name}.json.in ${json_dir}/${name}.json COPYONLY)

  add_library(${name} SHARED ${A_SOURCES})
  _korvane_common(${name})
  target_include_directories(${name} PRIVATE ${json_dir})
  if(A_EXPORT_DEFINE)
    target_compile_definitions(${name} PRIVATE ${A_EXPORT_DEFINE})
  endif()
  target_link_libraries(${name} PUBLIC ExtensionSystem ${A_DEPENDS} ${A_LINKS})
  if(A_OUTPUT_DIR)
    # Fixtures stay out of the plug-in folder the program loads everything from.
    set_target_properties(${name} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${A_OUTPUT_DIR}
      INSTALL_RPATH "$ORIGIN;${CMAKE_BINARY_DIR}/${KORVANE_LIB_DIR};${CMAKE_BINARY_DIR}/${KORVANE_PLUGIN_DIR}")
    return()
  endif()
  set_target_properties(${name} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${KORVANE_PLUGIN_DIR}
    INSTALL_RPATH "$ORIGIN;$ORIGIN/../..")
  set_property(GLOBAL APPEND PROPERTY KORVANE_PLUGINS ${name})
  install(TARGETS ${name} LIBRARY DESTINATION ${KORVANE_INSTALL_ROOT}/${KORVANE_PLUGIN_DIR})
endfunction()

# korvane_add_executable(name SOURCES ... LINKS ...) in bin/.
function(korvane_add_executable name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  _korvane_common(${name})
  target_link_libraries(${name} PRIVATE ${A_LINKS})
  install(TARGETS ${name} RUNTIME DESTINATION ${KORVANE_INSTALL_ROOT}/${KORVANE_BIN_DIR})
endfunction()

# korvane_add_test(name SOURCES ... LINKS ... [TIMEOUT s] [LABELS ...])
# One QtTest executable under build/tests/, run offscreen by CTest.
function(korvane_add_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  _korvane_common(${name})
  target_link_libraries(${name} PRIVATE Qt5::Test ${A_LINKS})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    KORVANE_BUILD_DIR="${CMAKE_BINARY_DIR}"
    KORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KORVANE_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()
