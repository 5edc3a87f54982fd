# cmake --install: the library with its header, CMake package and pkg-config
# file, the simulated vendor libraries beside it (where it looks for them) and
# the tools. Linux: lib/, include/, bin/. Windows: the DLLs and programs
# together in bin/ (the loader looks beside the program), the import library
# and the .def in lib/.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(vesk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/veskSensor)

# Every shared library of sim/ and every program of tools/, as they are added.
function(vesk_targets_of dir type out)
  set(found)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${dir} ${subdirs})
    get_property(targets DIRECTORY ${sub} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(target_type ${target} TYPE)
      if(target_type STREQUAL type)
        list(APPEND found ${target})
      endif()
    endforeach()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
vesk_targets_of(${PROJECT_SOURCE_DIR}/sim SHARED_LIBRARY vesk_sims)
vesk_targets_of(${PROJECT_SOURCE_DIR}/tools EXECUTABLE vesk_tools)

if(WIN32)
  set(vesk_module_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(vesk_module_dir ${CMAKE_INSTALL_LIBDIR})
  set_target_properties(${vesk_tools} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()

install(TARGETS veskSensor EXPORT veskSensorTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# In the export set too: the library's import of two of them goes with it.
install(TARGETS ${vesk_sims} EXPORT veskSensorTargets
  RUNTIME DESTINATION ${vesk_module_dir}
  LIBRARY DESTINATION ${vesk_module_dir}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS ${vesk_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/veskSensor.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/src/api/veskSensor.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(EXPORT veskSensorTargets NAMESPACE veskSensor:: DESTINATION ${vesk_cmake_dir})
file(WRITE ${PROJECT_BINARY_DIR}/veskSensorConfig.cmake.in
  "@PACKAGE_INIT@\ninclude(\"\${CMAKE_CURRENT_LIST_DIR}/veskSensorTargets.cmake\")\n")
configure_package_config_file(${PROJECT_BINARY_DIR}/veskSensorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/veskSensorConfig.cmake INSTALL_DESTINATION ${vesk_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/veskSensorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/veskSensorConfig.cmake
  ${PROJECT_BINARY_DIR}/veskSensorConfigVersion.cmake DESTINATION ${vesk_cmake_dir})

# pkg-config: relative to its own place, so the tree may move after install.
file(RELATIVE_PATH vesk_pc_up /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" vesk_pc_up "${vesk_pc_up}")
file(WRITE ${PROJECT_BINARY_DIR}/veskSensor.pc
  "prefix=\${pcfiledir}/${vesk_pc_up}\n"
  "libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\n"
  "includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}\n\n"
  "Name: veskSensor\n"
  "Description: one interface to whichever fingerprint scanner is attached\n"
  "Version: ${PROJECT_VERSION}\n"
  "Libs: -L\${libdir} -lveskSensor\n"
  "Cflags: -I\${includedir}\n")
install(FILES ${PROJECT_BINARY_DIR}/veskSensor.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
