# Installs the build into a scratch prefix and checks that every file a desktop needs is there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/murmelo
             share/applications/org.murmelo.Murmelo.desktop
             share/metainfo/org.murmelo.Murmelo.metainfo.xml
             share/icons/hicolor/scalable/apps/org.murmelo.Murmelo.svg)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "missing after install: ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
