# In an existing build folder, moc's step only reruns when a file it has seen before changes, so
# a header added to a folder later never gets its moc code. When the globbed file list differs
# from the last configure, dropping the step's stamp makes Ninja run it again.
function(murmelo_rerun_moc_on_new_files target sources)
  string(SHA1 digest "${sources}")
  set(seen "${CMAKE_CURRENT_BINARY_DIR}/${target}.sources.sha1")
  if(EXISTS "${seen}")
    file(READ "${seen}" previous)
  else()
    set(previous "")
  endif()
  if(NOT previous STREQUAL digest)
    file(REMOVE "${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp")
    file(WRITE "${seen}" "${digest}")
  endif()
endfunction()

# murmelo_module(NAME [DEPS targets...])
# One static library per src/ folder, built from every source file in that folder and its
# subfolders (the larger subsystems keep their areas in subfolders: mail/smtp, telemetry/crash,
# screens/playback).
# Sources are globbed so that adding a file to a folder needs no edit here.
function(murmelo_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  # A folder's main.cpp belongs to its executable, not to its library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  # A subfolder with a CMakeLists.txt of its own is a library of its own (toolkit/codec holds the
  # data codecs that cores use without the widget toolkit around them).
  file(GLOB_RECURSE nested RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(file ${nested})
    get_filename_component(folder ${file} DIRECTORY)
    list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${folder}/")
  endforeach()
  add_library(murmelo_${name} STATIC ${sources})
  target_include_directories(murmelo_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(murmelo_${name} PUBLIC ${ARG_DEPS})
  murmelo_rerun_moc_on_new_files(murmelo_${name} "${sources}")
  target_compile_definitions(murmelo_${name} PUBLIC
    MURMELO_VERSION="${PROJECT_VERSION}")
endfunction()

# murmelo_test(FOLDER [LIBS targets...] [LABELS labels...])
# One GoogleTest executable per tests/ folder; every test runs offscreen with scratch folders.
# Subfolders hold helper programs with their own main(), so they are not globbed.
function(murmelo_test folder)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(target ${folder}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE murmelo_testsupport ${ARG_LIBS})
  murmelo_rerun_moc_on_new_files(${target} "${sources}")
  # TestMain sets the environment (offscreen platform, scratch folders, data and binary paths).
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
  # Labels are a list, which discovery would flatten into its property pairs; a CTest include
  # that runs after discovery sets them on the discovered tests instead.
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
  file(WRITE ${labels_file}
       "if(${target}_TESTS)\n"
       "  set_tests_properties(\${${target}_TESTS} PROPERTIES LABELS \"${folder};${ARG_LABELS}\")\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()
